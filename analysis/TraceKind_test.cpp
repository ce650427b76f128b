#include "analysis/TraceKind.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

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

// As the name's text after its last ".", "\\", ":" or "/", lowered and
// looked up in the tables, gives it.
TEST(ClassifyFile, EqualsALookupOfTheLoweredExtension) {
  const auto plainKind = [](std::string_view name) {
    const std::size_t last = name.find_last_of(".\\:/");
    if (last == std::string_view::npos || name[last] != '.') return tkOther;
    const std::string extension = AsciiLower(name.substr(last + 1));
    const auto in = [&](const auto& table) {
      return std::find(table.begin(), table.end(), extension) != table.end();
    };
    if (in(ImageExtensions)) return tkImages;
    if (in(PageExtensions)) return tkPages;
    if (in(MediaExtensions)) return tkMedia;
    return tkOther;
  };
  // Names ending in table members, in any case, and in other texts, after
  // dots, separators and zero bytes.
  std::vector<std::string> endings = {"", "jpegs", "htmlx", "p", "mp", "text1"};
  for (std::string_view e : ImageExtensions) endings.emplace_back(e);
  for (std::string_view e : PageExtensions) endings.emplace_back(e);
  for (std::string_view e : MediaExtensions) endings.emplace_back(e);
  std::string alphabet = "aB.:/\\";
  alphabet.push_back('\0');
  std::mt19937 random(13);
  for (int round = 0; round < 20000; ++round) {
    std::string name;
    for (int n = static_cast<int>(random() % 8); n > 0; --n)
      name.push_back(alphabet[random() % alphabet.size()]);
    for (char c : endings[random() % endings.size()])
      name.push_back(random() % 2 ? AsciiToUpper(c) : c);
    ASSERT_EQ(ClassifyFile(name), plainKind(name)) << name;
  }
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

// The key as the URL lowered whole, cut after "://" and at "/", and cut
// after the first "www.", gives it; with or without a copy.
TEST(SiteFromURL, EqualsTheKeyOfTheLoweredUrl) {
  const auto plainKey = [](std::string_view url) {
    std::string lowered = AsciiLower(url);
    const std::size_t scheme = lowered.find("://");
    const std::size_t start = scheme == std::string::npos ? 0 : scheme + 3;
    std::string site = lowered.substr(start, lowered.find('/', start) - start);
    if (const std::size_t www = site.find("www."); www != std::string::npos) site.erase(0, www + 4);
    return site;
  };
  std::mt19937 random(11);
  const std::string alphabet = "wWw.W:/aB";
  std::string scratch = "left over";
  for (int round = 0; round < 5000; ++round) {
    std::string url;
    for (int n = static_cast<int>(random() % 16); n > 0; --n)
      url.push_back(alphabet[random() % alphabet.size()]);
    ASSERT_EQ(SiteFromURL(url), plainKey(url)) << url;
    ASSERT_EQ(SiteKeyOf(url, scratch), plainKey(url)) << url;
  }
}

TEST(SiteFromURL, KeyIsAlwaysPartOfTheLoweredUrl) {
  for (const char* url :
       {"HTTP://WWW.Example.COM/x", "ftp://User@Host:21", "Visited: X@http://Y.z/"}) {
    const std::string key = SiteFromURL(url);
    EXPECT_NE(AsciiLower(url).find(key), std::string::npos) << url;
  }
}

}  // namespace
