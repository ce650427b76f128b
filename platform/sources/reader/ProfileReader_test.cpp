#include "platform/sources/reader/ProfileReader.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/TempDir.h"

namespace sources {
namespace {

namespace fs = std::filesystem;
using namespace sources::testing;

const char* const kSecret = "Zq9-never-shown-value";

class ProfileReaderTest : public ::testing::Test {
 protected:
  fixture::TempDir home;
  MimeGlobs globs =
      MimeGlobs::FromText("<mime-type type=\"image/png\"><glob pattern=\"*.png\"/></mime-type>");
  ReadContext context{"/v", &globs, {}};

  std::vector<ProfileRead> ReadHome() {
    std::vector<ProfileRead> reads;
    for (const auto& profile : DiscoverProfiles({home.path(), "", ""}))
      reads.push_back(ReadProfile(profile, context));
    return reads;
  }

  static std::vector<std::string> Urls(const std::vector<SourceEntry>& entries) {
    std::vector<std::string> urls;
    for (const auto& e : entries) urls.push_back(e.url);
    return urls;
  }

  static void ExpectNoValue(const ProfileRead& read) {
    for (const auto* list : {&read.entries.cookies, &read.entries.history, &read.entries.content})
      for (const auto& e : *list) {
        EXPECT_EQ(e.url.find(kSecret), std::string::npos);
        EXPECT_EQ(e.localFileName.find(kSecret), std::string::npos);
      }
    for (const auto& c : read.cookies)
      EXPECT_EQ((c.host + c.path + c.name).find(kSecret), std::string::npos);
  }
};

TEST_F(ProfileReaderTest, AFirefoxProfileWithRowsOnlyInTheLogAndEveryCacheFolder) {
  FirefoxProfileSpec spec;
  spec.name = "default";
  spec.folder = "p.default";
  spec.visits = {{"https://a.test/", 3, 1700000000000000},
                 {"https://bookmark.test/", 0, 0},
                 {"http://b.test:8080/x", 1, 1700000001000000}};
  spec.cookies = {{"a.test", "/", "sid", kSecret, -1, 1800000000000000},
                  {".a.test", "/", "pref", kSecret, -1, 1800000000000000},
                  {"a.test", "/deep", "k", kSecret, -1, 0}};
  WriteFirefoxProfiles(home / ".mozilla/firefox", {spec});
  const std::string cache2 = home / ".cache/mozilla/firefox/p.default/cache2";
  auto entry = [](const std::string& key, const std::string& body) {
    Cache2EntrySpec e;
    e.key = key;
    e.body = body;
    e.responseHead = ResponseHead(200, "image/png");
    return e;
  };
  WriteCache2Entry(cache2, "entries/BBBB", entry(":https://a.test/logo", "png"));
  WriteCache2Entry(cache2, "entries/AAAA",
                   entry("O^partitionKey=x,:https://a.test/big.png", std::string(300000, 'b')));
  WriteCache2Entry(cache2, "entries/CCCC", entry(":about:home", "x"));
  WriteCache2Entry(cache2, "doomed/17", entry("a,:http://c.test/gone.gif", "gif"));
  WriteCache2Entry(cache2, "trash4242/DDDD", entry(":http://c.test/trash.gif", "gif"));
  WriteFile(cache2 + "/entries/EEEE", "not an entry at all");

  auto reads = ReadHome();
  ASSERT_EQ(reads.size(), 1u);
  const ProfileRead& read = reads[0];
  EXPECT_EQ(Urls(read.entries.history),
            (std::vector<std::string>{"Visited: firefox@https://a.test/",
                                      "Visited: firefox@http://b.test:8080/x"}));
  EXPECT_EQ(read.entries.history[0].hitCount, 3u);
  EXPECT_EQ(read.entries.history[0].lastAccess, FileTimeFromUnixMicros(1700000000000000));
  EXPECT_EQ(Urls(read.entries.cookies),
            (std::vector<std::string>{"Cookie:firefox@a.test/", "Cookie:firefox@a.test/deep"}));
  EXPECT_EQ(read.entries.cookies[1].localFileName, "/v/firefox@a.test[2].txt");
  EXPECT_EQ(read.cookies.size(), 3u);
  EXPECT_EQ(Urls(read.entries.content),
            (std::vector<std::string>{"http://c.test/gone.gif", "https://a.test/big.png",
                                      "https://a.test/logo", "http://c.test/trash.gif"}));
  EXPECT_EQ(read.entries.content[0].localFileName, "/v/firefox/doomed-17/gone[1].gif");
  EXPECT_EQ(read.entries.content[1].size, 300000u);
  EXPECT_EQ(read.entries.content[2].localFileName, "/v/firefox/BBBB/logo[1].png");
  EXPECT_EQ(read.entries.content[3].localFileName, "/v/firefox/trash4242-DDDD/trash[1].gif");
  ASSERT_EQ(read.problems.size(), 1u);
  EXPECT_NE(read.problems[0].find("1 damaged"), std::string::npos);
  ExpectNoValue(read);
}

TEST_F(ProfileReaderTest, AChromiumProfileWithPortsOldCookiesAndAnOldKey) {
  ChromiumProfileSpec spec;
  spec.cookiesInNetworkFolder = false;
  spec.visits = {{"https://a.test/", 2, 1700000000000000}, {"https://typed.test/", 0, 0}};
  spec.cookies = {{"a.test", "/", "x", kSecret, 8443, 0},
                  {".a.test", "/", "y", kSecret, 443, 0},
                  {"a.test", "/", "z", kSecret, 8443, 0}};
  WriteChromiumUserData(home / ".config/chromium", {spec});
  const std::string cache = home / ".cache/chromium/Default/Cache/Cache_Data";
  SimpleEntrySpec old;
  old.key = "http://old.test/a.png";
  old.body = "png";
  old.responseHead = ResponseHead(404, "image/png");
  WriteSimpleCacheEntry(cache, old);
  WriteFile(cache + "/00000000000000aa_0", "damaged");
  WriteFile(cache + "/00000000000000ab_s", "sparse");

  auto reads = ReadHome();
  ASSERT_EQ(reads.size(), 1u);
  const ProfileRead& read = reads[0];
  EXPECT_EQ(Urls(read.entries.history),
            (std::vector<std::string>{"Visited: chromium@https://a.test/"}));
  EXPECT_EQ(Urls(read.entries.cookies),
            (std::vector<std::string>{"Cookie:chromium@a.test:8443/", "Cookie:chromium@a.test/"}));
  EXPECT_EQ(read.entries.cookies[0].localFileName, "/v/chromium@a.test[2].txt");
  EXPECT_EQ(read.entries.cookies[1].localFileName, "/v/chromium@a.test[1].txt");
  ASSERT_EQ(Urls(read.entries.content), (std::vector<std::string>{"http://old.test/a.png"}));
  EXPECT_NE(read.entries.content[0].headerInfo.find("404"), std::string::npos);
  ASSERT_EQ(read.problems.size(), 2u);
  EXPECT_NE(read.problems[0].find("sparse"), std::string::npos);
  EXPECT_NE(read.problems[1].find("1 damaged"), std::string::npos);
  ExpectNoValue(read);
}

TEST_F(ProfileReaderTest, CacheLayoutsWeDoNotReadAreNamedNotShownEmpty) {
  WriteChromiumUserData(home / ".config/chromium", {ChromiumProfileSpec{}});
  WriteChromiumUserData(home / ".config/vivaldi", {ChromiumProfileSpec{}});
  WriteBlockfileCache(home / ".cache/chromium/Default/Cache/Cache_Data");
  WriteSqlBackedCache(home / ".cache/vivaldi/Default/Cache/Cache_Data");
  auto reads = ReadHome();
  ASSERT_EQ(reads.size(), 2u);
  ASSERT_EQ(reads[0].problems.size(), 1u);
  EXPECT_NE(reads[0].problems[0].find("blockfile"), std::string::npos);
  ASSERT_EQ(reads[1].problems.size(), 1u);
  EXPECT_NE(reads[1].problems[0].find("SQL-backed"), std::string::npos);
  EXPECT_TRUE(reads[0].entries.content.empty());
}

TEST_F(ProfileReaderTest, UnreadableDatabasesAreNamedAndTheRestIsRead) {
  FirefoxProfileSpec spec;
  spec.name = "p";
  spec.folder = "p";
  spec.visits = {{"https://a.test/", 1, 1700000000000000}};
  WriteFirefoxProfiles(home / ".mozilla/firefox", {spec});
  const std::string cookies = home / ".mozilla/firefox/p/cookies.sqlite";
  fs::remove(cookies);
  fs::remove(cookies + "-wal");
  WriteFile(cookies, std::string(4096, 'g'));
  auto reads = ReadHome();
  ASSERT_EQ(reads.size(), 1u);
  EXPECT_EQ(reads[0].entries.history.size(), 1u);
  ASSERT_EQ(reads[0].problems.size(), 1u);
  EXPECT_EQ(reads[0].problems[0].rfind(cookies + ": ", 0), 0u);
}

}  // namespace
}  // namespace sources
