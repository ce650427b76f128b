// Writing traces into the view folder under hostile names, links, folders
// that cannot be written, and cache files that change under us.
#include "platform/sources/view/ViewFiles.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>
#include <zlib.h>

#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sources/naming/ContentNames.h"
#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/TempDir.h"

namespace sources::view {
namespace {

namespace fs = std::filesystem;

std::string Gzip(const std::string& data) {
  z_stream z{};
  deflateInit2(&z, 9, Z_DEFLATED, 31, 9, Z_DEFAULT_STRATEGY);
  std::string out(deflateBound(&z, static_cast<uLong>(data.size())), '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

std::string Contents(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

class ViewFilesTest : public ::testing::Test {
 protected:
  std::string View() const { return home_ / "view"; }

  // A Firefox cache entry for `url` with `body`, and its trace.
  SourceEntry CachedEntry(const std::string& url, const std::string& body,
                          const std::string& file = "AB",
                          const std::vector<std::string>& headers = {}) {
    testing::Cache2EntrySpec spec;
    spec.key = ":" + url;
    spec.body = body;
    spec.responseHead = testing::ResponseHead(200, "image/png", headers);
    SourceEntry entry;
    entry.url = url;
    entry.sourceFile = testing::WriteCache2Entry(home_ / "cache2", "entries/" + file, spec);
    entry.localFileName =
        View() + "/firefox/" + file + "/" + CachedFileName(url, spec.responseHead, globs_);
    return entry;
  }

  void SetUp() override { fs::create_directory(View()); }

  fixture::TempDir home_;
  MimeGlobs globs_;
};

TEST_F(ViewFilesTest, ACachedFileIsWrittenOnceAndOnlyWhenAsked) {
  ViewFiles files(View());
  SourceEntry entry = CachedEntry("https://a.test/img/logo.png", "PNGBYTES");
  ASSERT_TRUE(files.AddCachedFile(entry, BrowserKind::kFirefox));
  EXPECT_EQ(entry.localFileName, View() + "/firefox/AB/logo[1].png");
  EXPECT_TRUE(files.Owns(entry.localFileName));
  EXPECT_FALSE(files.Owns(View() + "/firefox/AB/other[1].png"));
  EXPECT_FALSE(fs::exists(entry.localFileName));
  ASSERT_TRUE(files.Materialise(entry.localFileName));
  EXPECT_EQ(Contents(entry.localFileName), "PNGBYTES");
  struct stat first {};
  stat(entry.localFileName.c_str(), &first);
  EXPECT_EQ(first.st_mode & 0777, 0600u);
  EXPECT_EQ(fs::status(View() + "/firefox/AB").permissions(), fs::perms::owner_all);
  ASSERT_TRUE(files.Materialise(entry.localFileName));
  struct stat second {};
  stat(entry.localFileName.c_str(), &second);
  EXPECT_EQ(first.st_ino, second.st_ino);
  // No temporary file is left beside it.
  EXPECT_EQ(std::distance(fs::directory_iterator(View() + "/firefox/AB"), {}), 1);
  EXPECT_FALSE(files.Materialise(View() + "/firefox/AB/other[1].png"));
}

TEST_F(ViewFilesTest, HostileLastSegmentsStayOneSafeNameInTheEntryFolder) {
  const std::string hostile[] = {
      "https://a.test/..",
      "https://a.test/a/%2F..%2F..%2Fetc%2Fpasswd",
      "https://a.test/a\\..\\b",
      std::string("https://a.test/nul\0name.png", 27),
      "https://a.test/" + std::string(300, 'n') + ".png",
      "https://a.test/.hidden",
      "https://a.test/x/",
  };
  int n = 0;
  for (const std::string& url : hostile) {
    ViewFiles files(View());
    const std::string folder = "E" + std::to_string(n++);
    SourceEntry entry = CachedEntry(url, "body of " + folder, folder);
    ASSERT_TRUE(files.AddCachedFile(entry, BrowserKind::kFirefox)) << entry.localFileName;
    ASSERT_TRUE(files.Materialise(entry.localFileName)) << entry.localFileName;
    const fs::path written(entry.localFileName);
    EXPECT_EQ(written.parent_path(), View() + "/firefox/" + folder);
    EXPECT_LE(written.filename().string().size(), 255u);
    EXPECT_NE(written.filename().string().front(), '.');
    EXPECT_EQ(Contents(entry.localFileName), "body of " + folder);
  }
  // Only the entry folders were made, nothing beside or above them.
  EXPECT_EQ(std::distance(fs::directory_iterator(View()), {}), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(home_.path()), {}), 2);
}

TEST_F(ViewFilesTest, NamesOutsideTheViewFolderOrWithUnsafeComponentsAreNotRegistered) {
  ViewFiles files(View());
  for (const std::string& name :
       {View() + "/../escape.png", View() + "/firefox/../../escape.png", View() + "/a//b.png",
        View() + "/.part-1", View() + "/", View() + "x/y.png", std::string("/etc/passwd"),
        View() + "/a/" + std::string(256, 'n'), View() + "/a\nb/c", View() + "/a/b\\c"}) {
    SourceEntry entry = CachedEntry("https://a.test/x.png", "x");
    entry.localFileName = name;
    EXPECT_FALSE(files.AddCachedFile(entry, BrowserKind::kFirefox)) << name;
    EXPECT_FALSE(files.Materialise(name));
  }
  EXPECT_FALSE(fs::exists(home_ / "escape.png"));
}

TEST_F(ViewFilesTest, CollidingNamesAreNumberedAndEachServesItsOwnBytes) {
  ViewFiles files(View());
  SourceEntry a = CachedEntry("https://a.test/x.png", "first", "AB");
  SourceEntry b = CachedEntry("https://a.test/y/x.png", "second", "CD");
  b.localFileName = a.localFileName;  // as two hosts sanitised alike would
  SourceEntry c = CachedEntry("https://a.test/z/x.png", "third", "EF");
  c.localFileName = a.localFileName;
  ASSERT_TRUE(files.AddCachedFile(a, BrowserKind::kFirefox));
  ASSERT_TRUE(files.AddCachedFile(b, BrowserKind::kFirefox));
  ASSERT_TRUE(files.AddCachedFile(c, BrowserKind::kFirefox));
  EXPECT_EQ(b.localFileName, View() + "/firefox/AB/x[2].png");
  EXPECT_EQ(c.localFileName, View() + "/firefox/AB/x[3].png");
  for (const SourceEntry* entry : {&c, &a, &b})
    ASSERT_TRUE(files.Materialise(entry->localFileName));
  EXPECT_EQ(Contents(a.localFileName), "first");
  EXPECT_EQ(Contents(b.localFileName), "second");
  EXPECT_EQ(Contents(c.localFileName), "third");

  std::vector<SourceEntry> sheets(2);
  sheets[0].url = "Cookie:firefox@a.test/";
  sheets[0].localFileName = View() + "/firefox@a.test[1].txt";
  sheets[1].url = "Cookie:firefox@a_test/";
  sheets[1].localFileName = sheets[0].localFileName;  // "a test" sanitised
  CookieRow first, second;
  first.host = "a.test";
  first.name = "first";
  second.host = "a_test";
  second.name = "second";
  first.path = second.path = "/";
  ASSERT_TRUE(files.AddCookieSheets(sheets, {first, second}, "firefox"));
  EXPECT_EQ(sheets[1].localFileName, View() + "/firefox@a.test[2].txt");
  ASSERT_TRUE(files.Materialise(sheets[1].localFileName));
  ASSERT_TRUE(files.Materialise(sheets[0].localFileName));
  EXPECT_NE(Contents(sheets[0].localFileName).find("\nfirst\n"), std::string::npos);
  EXPECT_EQ(Contents(sheets[0].localFileName).find("second"), std::string::npos);
  EXPECT_NE(Contents(sheets[1].localFileName).find("\nsecond\n"), std::string::npos);
}

TEST_F(ViewFilesTest, ALinkStandingAtTheNameOrOnTheWayIsRefusedNeverFollowed) {
  fixture::TempDir outside;
  testing::WriteFile(outside / "target.png", "untouched");
  ViewFiles files(View());
  SourceEntry entry = CachedEntry("https://a.test/x.png", "body", "AB");
  SourceEntry other = CachedEntry("https://a.test/y.png", "body", "CD");
  ASSERT_TRUE(files.AddCachedFile(entry, BrowserKind::kFirefox));
  ASSERT_TRUE(files.AddCachedFile(other, BrowserKind::kFirefox));
  fs::create_directories(View() + "/firefox/AB");
  fs::create_symlink(outside / "target.png", entry.localFileName);
  fs::create_directory_symlink(outside.path(), View() + "/firefox/CD");

  EXPECT_FALSE(files.Materialise(entry.localFileName));
  EXPECT_FALSE(files.Materialise(other.localFileName));
  EXPECT_TRUE(fs::is_symlink(entry.localFileName));
  EXPECT_EQ(Contents(outside / "target.png"), "untouched");
  EXPECT_EQ(std::distance(fs::directory_iterator(outside.path()), {}), 1);
  EXPECT_EQ(std::distance(fs::directory_iterator(View() + "/firefox/AB"), {}), 1);
}

TEST_F(ViewFilesTest, AViewFolderThatCannotBeWrittenMakesTracesMissingAndTheRestGoesOn) {
  ViewFiles files(View());
  SourceEntry entry = CachedEntry("https://a.test/x.png", "body");
  ASSERT_TRUE(files.AddCachedFile(entry, BrowserKind::kFirefox));
  fs::remove(View());
  testing::WriteFile(View(), "a file where the folder was");
  EXPECT_FALSE(files.Materialise(entry.localFileName));
  fs::remove(View());
  fs::create_directory(View());
  EXPECT_TRUE(files.Materialise(entry.localFileName));
  EXPECT_EQ(Contents(entry.localFileName), "body");
}

TEST_F(ViewFilesTest, AReadOnlyViewFolderMakesTracesMissing) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  ViewFiles files(View());
  SourceEntry entry = CachedEntry("https://a.test/x.png", "body");
  ASSERT_TRUE(files.AddCachedFile(entry, BrowserKind::kFirefox));
  fs::permissions(View(), fs::perms::owner_read | fs::perms::owner_exec);
  EXPECT_FALSE(files.Materialise(entry.localFileName));
  fs::permissions(View(), fs::perms::owner_all);
  EXPECT_TRUE(files.Materialise(entry.localFileName));
}

TEST_F(ViewFilesTest, AChangedCacheFileIsReadAgainAndAGoneOrForeignOneIsMissing) {
  ViewFiles files(View());
  SourceEntry entry = CachedEntry("https://a.test/x.png", "version one", "AB");
  ASSERT_TRUE(files.AddCachedFile(entry, BrowserKind::kFirefox));
  ASSERT_TRUE(files.Materialise(entry.localFileName));
  EXPECT_EQ(Contents(entry.localFileName), "version one");

  CachedEntry("https://a.test/x.png", "version two, longer", "AB");
  ASSERT_TRUE(files.Materialise(entry.localFileName));
  EXPECT_EQ(Contents(entry.localFileName), "version two, longer");

  CachedEntry("https://other.test/x.png", "another URL", "AB");
  EXPECT_FALSE(files.Materialise(entry.localFileName));
  EXPECT_FALSE(fs::exists(entry.localFileName));

  CachedEntry("https://a.test/x.png", "back", "AB");
  ASSERT_TRUE(files.Materialise(entry.localFileName));
  fs::remove(entry.sourceFile);
  EXPECT_FALSE(files.Materialise(entry.localFileName));
  EXPECT_FALSE(fs::exists(entry.localFileName));
}

TEST_F(ViewFilesTest, BombsDamagedBodiesAndUnknownCodingsAreMissing) {
  DecodeLimits limits;
  limits.maxOutput = 1 << 20;
  ViewFiles files(View(), limits);
  SourceEntry bomb = CachedEntry("https://a.test/bomb.png", Gzip(std::string(2 << 20, '\0')), "AB",
                                 {"Content-Encoding: gzip"});
  SourceEntry fits = CachedEntry("https://a.test/fits.png", Gzip(std::string(1 << 20, '\0')), "IJ",
                                 {"Content-Encoding: gzip"});
  ASSERT_TRUE(files.AddCachedFile(fits, BrowserKind::kFirefox));
  EXPECT_TRUE(files.Materialise(fits.localFileName));
  EXPECT_EQ(fs::file_size(fits.localFileName), 1u << 20);
  SourceEntry damaged =
      CachedEntry("https://a.test/bad.png", "not gzip", "CD", {"Content-Encoding: gzip"});
  SourceEntry unknown =
      CachedEntry("https://a.test/lzw.png", "lzw", "EF", {"Content-Encoding: compress"});
  SourceEntry truncated = CachedEntry("https://a.test/cut.png", "body", "GH");
  fs::resize_file(truncated.sourceFile, 10);
  for (SourceEntry* entry : {&bomb, &damaged, &unknown, &truncated}) {
    ASSERT_TRUE(files.AddCachedFile(*entry, BrowserKind::kFirefox));
    EXPECT_FALSE(files.Materialise(entry->localFileName)) << entry->url;
    EXPECT_FALSE(fs::exists(entry->localFileName));
  }
}

}  // namespace
}  // namespace sources::view
