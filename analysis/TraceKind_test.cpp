#include "analysis/TraceKind.h"

#include <gtest/gtest.h>

#include "platform/common/AsciiCase.h"

namespace {

TEST(ClassifyFile, ExtensionAfterTheLastDotDecides) {
  const std::pair<const char*, TTraceKind> cases[] = {
      {"NAME[1].GIF", tkImages},
      {"photo.jpeg", tkImages},
      {"x.ani", tkImages},
      {"x.fif", tkImages},
      {"page.php3", tkPages},
      {"a.TXT", tkPages},
      {"clip.swf", tkMedia},
      {"sound.riff", tkMedia},
      {"pic.jpe", tkOther},
      {"favicon.ico", tkOther},
      {"x.js", tkOther},
      {"style.css", tkOther},
      {"movie.mp4", tkOther},
      {"page.htmlx", tkOther},
      {"noextension", tkOther},
      {"endswithdot.", tkOther},
      {"", tkOther},
      {"C:\\dir.x\\file", tkOther},
      {"C:\\dir.x\\file.asp", tkPages},
      {"/cache/dir.gif/file", tkOther},
      {"/cache/AB12/logo[2].png", tkImages},
      {"C:logo", tkOther},
      {"archive.tar.gz", tkOther},
      {"a.gif.exe", tkOther},
  };
  for (const auto& [name, kind] : cases) EXPECT_EQ(ClassifyFile(name), kind) << name;
}

TEST(ClassifyFile, TablesAreDisjointAndEveryMemberClassifies) {
  for (std::string_view e : ImageExtensions)
    EXPECT_EQ(ClassifyFile("f." + std::string(e)), tkImages);
  for (std::string_view e : PageExtensions) EXPECT_EQ(ClassifyFile("f." + std::string(e)), tkPages);
  for (std::string_view e : MediaExtensions)
    EXPECT_EQ(ClassifyFile("f." + std::string(e)), tkMedia);
}

TEST(SiteFromURL, KeysOfTheUsualShapes) {
  const std::pair<const char*, const char*> cases[] = {
      {"http://www.a.b/c", "a.b"},
      {"http://a.b/c", "a.b"},
      {"http://a.b", "a.b"},
      {"http://a.b:8080/c", "a.b:8080"},
      {"http://user@a.b/c", "user@a.b"},
      {"http://user@www.a.b/c", "a.b"},
      {"http://a.b?c=1", "a.b?c=1"},
      {"http://a.b/?c=1", "a.b"},
      {"http://a.b#frag", "a.b#frag"},
      {"http://news.www.a.b/c", "a.b"},
      {"http://awww.b/c", "b"},
      {"http://www./c", ""},
      {"http://www.www.a.b/", "www.a.b"},
      {"about:blank", "about:blank"},
      {"about:blank/x", "about:blank"},
      {"http:///c", ""},
      {"", ""},
      {"SCHEME://WWW.A.B/", "a.b"},
      {"Visited: user@http://www.example.com/index.html", "example.com"},
      {"Cookie:root@www.example.com/", "example.com"},
      {"Cookie:root@other.org/", "cookie:root@other.org"},
      {"http://a.b\\c:1/d", "a.b\\c:1"},
      {"http://\xC4.b/", "\xC4.b"},
  };
  for (const auto& [url, key] : cases) EXPECT_EQ(SiteFromURL(url), key) << url;
}

TEST(SiteFromURL, KeyIsAlwaysPartOfTheLoweredUrl) {
  for (const char* url :
       {"HTTP://WWW.Example.COM/x", "ftp://User@Host:21", "Visited: X@http://Y.z/"}) {
    const std::string key = SiteFromURL(url);
    EXPECT_NE(AsciiLower(url).find(key), std::string::npos) << url;
  }
}

}  // namespace
