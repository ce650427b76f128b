// The real profiles that Firefox ESR and Chromium wrote for the fixture
// "browsers-basic": what its README says they hold comes back, and
// classifies into the counts it implies.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <set>

#include "analysis/TraceKind.h"
#include "platform/sources/discovery/BrowserDiscovery.h"
#include "platform/sources/reader/ProfileReader.h"
#include "platform/testing/TempDir.h"

namespace sources {
namespace {

namespace fs = std::filesystem;

const std::string kFixtureHome = std::string(SITELORE_SHARED_DIR) + "/fixtures/browsers-basic/home";

class BrowsersFixtureTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    home_ = new fixture::TempDir;
    fs::copy(kFixtureHome, home_->path(), fs::copy_options::recursive);
  }
  static void TearDownTestSuite() {
    delete home_;
    home_ = nullptr;
  }

  std::vector<BrowserProfile> Profiles() {
    DiscoveryRoots roots;
    roots.home = home_->path();
    return DiscoverProfiles(roots);
  }

  std::vector<ProfileRead> ReadAll() {
    std::vector<ProfileRead> reads;
    context.viewFolder = "/view";
    context.globs = &globs;
    for (const auto& profile : Profiles()) reads.push_back(ReadProfile(profile, context));
    return reads;
  }

  static fixture::TempDir* home_;
  MimeGlobs globs;
  ReadContext context;
};

fixture::TempDir* BrowsersFixtureTest::home_ = nullptr;

TEST_F(BrowsersFixtureTest, FindsOneFirefoxAndOneChromiumProfileWithTheirCaches) {
  auto profiles = Profiles();
  ASSERT_EQ(profiles.size(), 2u);
  EXPECT_EQ(profiles[0].label, "firefox");
  EXPECT_EQ(profiles[0].profileDir, home_->path() + "/.mozilla/firefox/q7x4k2m9.default-esr");
  EXPECT_EQ(profiles[0].cacheDir,
            home_->path() + "/.cache/mozilla/firefox/q7x4k2m9.default-esr/cache2");
  EXPECT_EQ(profiles[1].label, "chromium");
  EXPECT_EQ(profiles[1].profileDir, home_->path() + "/.config/chromium/Default");
  EXPECT_EQ(profiles[1].cacheDir, home_->path() + "/.cache/chromium/Default/Cache/Cache_Data");
}

TEST_F(BrowsersFixtureTest, EntriesClassifyIntoTheCountsTheReadmeImplies) {
  auto reads = ReadAll();
  ASSERT_EQ(reads.size(), 2u);
  std::map<TTraceKind, int> kinds;
  std::set<std::string> sites;
  std::size_t cookies = 0, history = 0;
  for (const auto& read : reads) {
    for (const auto& problem : read.problems) ADD_FAILURE() << problem;
    for (const auto& entry : read.entries.content) {
      ++kinds[ClassifyFile(entry.localFileName)];
      sites.insert(SiteFromURL(entry.url));
    }
    cookies += read.entries.cookies.size();
    history += read.entries.history.size();
  }
  EXPECT_EQ(sites, (std::set<std::string>{"epsilon.test:8931", "gamma.test:8931",
                                          "media.delta.test:8931"}));
  EXPECT_EQ(kinds[tkImages], 8);
  EXPECT_EQ(kinds[tkPages], 12);
  EXPECT_EQ(kinds[tkMedia], 2);
  EXPECT_EQ(kinds[tkOther], 8);
  EXPECT_EQ(cookies, 5u);
  EXPECT_EQ(history, 8u);
}

TEST_F(BrowsersFixtureTest, HistoryAndCookieEntriesCarryLabelsHostsAndPorts) {
  auto reads = ReadAll();
  ASSERT_EQ(reads.size(), 2u);
  std::vector<std::string> urls;
  for (const auto& read : reads) {
    for (const auto& e : read.entries.history) urls.push_back(e.url);
    for (const auto& e : read.entries.cookies) urls.push_back(e.url + " " + e.localFileName);
  }
  EXPECT_EQ(urls, (std::vector<std::string>{
                      "Visited: firefox@http://www.gamma.test:8931/",
                      "Visited: firefox@http://media.delta.test:8931/watch.html",
                      "Visited: firefox@http://epsilon.test:8931/redirect",
                      "Visited: firefox@http://epsilon.test:8931/landing.html",
                      "Cookie:firefox@epsilon.test/ /view/firefox@epsilon.test[1].txt",
                      "Visited: chromium@http://www.gamma.test:8931/",
                      "Visited: chromium@http://media.delta.test:8931/watch.html",
                      "Visited: chromium@http://epsilon.test:8931/redirect",
                      "Visited: chromium@http://epsilon.test:8931/landing.html",
                      "Cookie:chromium@epsilon.test:8931/ /view/chromium@epsilon.test[1].txt",
                      "Cookie:chromium@www.gamma.test:8931/img "
                      "/view/chromium@www.gamma.test[2].txt",
                      "Cookie:chromium@www.gamma.test:8931/ /view/chromium@www.gamma.test[1].txt",
                      "Cookie:chromium@media.delta.test:8931/ "
                      "/view/chromium@media.delta.test[1].txt",
                  }));
  // Value-free rows are kept for the sheets; the names are there.
  ASSERT_EQ(reads[1].cookies.size(), 4u);
  EXPECT_EQ(reads[1].cookies[1].name, "pref");
  EXPECT_EQ(reads[1].cookies[1].path, "/img");
  EXPECT_EQ(reads[1].cookies[1].port, 8931);
  EXPECT_EQ(reads[0].cookies[0].expiry / 10000000 - 11644473600, 1796862760);  // ms in the store
}

TEST_F(BrowsersFixtureTest, CachedFilesGetNamesSizesAndHeaders) {
  auto reads = ReadAll();
  ASSERT_EQ(reads.size(), 2u);
  for (const auto& read : reads) {
    ASSERT_EQ(read.entries.content.size(), 15u);
    std::map<std::string, const SourceEntry*> byName;
    for (const auto& e : read.entries.content)
      byName[fs::path(e.localFileName).filename().string() + " " + e.url] = &e;
    const SourceEntry* pixel = byName["pixel[1].png http://www.gamma.test:8931/img/pixel"];
    ASSERT_NE(pixel, nullptr);
    EXPECT_EQ(pixel->size, 69u);
    const SourceEntry* big = byName["big[1].png http://www.gamma.test:8931/img/big.png"];
    ASSERT_NE(big, nullptr);
    EXPECT_EQ(big->size, 360473u);
    const SourceEntry* root = byName["index[1].html http://www.gamma.test:8931/"];
    ASSERT_NE(root, nullptr);
    EXPECT_EQ(root->headerInfo.rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
    EXPECT_NE(root->headerInfo.find("Content-Type: text/html; charset=utf-8\r\n"),
              std::string::npos);
    EXPECT_NE(byName.count("app[1].js http://www.gamma.test:8931/app.js?v=3"), 0u);
    EXPECT_NE(byName.count("redirect[1].html http://epsilon.test:8931/redirect"), 0u);
    EXPECT_NE(byName.count("page[1].html http://media.delta.test:8931/page"), 0u);
    EXPECT_NE(byName.count("icon[1].webp http://media.delta.test:8931/icon.webp"), 0u);
    for (const auto& e : read.entries.content) {
      EXPECT_EQ(e.entryType, kNormalEntry);
      EXPECT_GT(e.lastAccess, 0u);
      EXPECT_EQ(e.localFileName.rfind(
                    "/view/" + std::string(&read == &reads[0] ? "firefox" : "chromium") + "/", 0),
                0u);
    }
  }
  // Chromium's body follows the 24-byte header and the key.
  const SourceEntry& first = reads[1].entries.content[0];
  EXPECT_EQ(fs::path(first.sourceFile).filename(), "0112c1894b77dc7c_0");
  EXPECT_GT(first.bodyOffset, 24u);
}

}  // namespace
}  // namespace sources
