// The analyzer at sizes where its fast paths matter: the per-site queries
// against a plain substring search of every lowered URL, the site list
// against a plain sorted set, and lists longer than one storage chunk.
#include <gtest/gtest.h>

#include <random>
#include <set>
#include <string>
#include <vector>

#include "analysis/CacheAnalyzer.h"
#include "platform/common/AsciiCase.h"
#include "platform/wininet/testing/MemoryUrlCache.h"

namespace {

using fixture::MemoryUrlCache;

// URLs from a small alphabet, so that needles hit often and partly.
std::string RandomUrl(std::mt19937& random) {
  static const char kLetters[] = "aAbB.:/w";
  std::string url = (random() % 4 == 0) ? "" : "http://";
  const std::size_t length = random() % 60;
  for (std::size_t i = 0; i < length; ++i) url += kLetters[random() % 8];
  return url;
}

class LargeListsTest : public ::testing::Test {
 protected:
  void SetUp() override { urlcache::SetProvider(&cache_); }
  void TearDown() override { urlcache::SetProvider(nullptr); }

  MemoryUrlCache cache_;
};

TEST_F(LargeListsTest, QueriesFindWhatAPlainSearchFinds) {
  std::mt19937 random(42);
  std::vector<std::string> urls;
  for (int i = 0; i < 5000; ++i) {
    urls.push_back(RandomUrl(random));
    cache_.Add(MemoryUrlCache::kContent, urls.back(), "/c/" + std::to_string(i) + ".gif");
  }
  TCacheAnalyzer analyzer;
  analyzer.ScanCache();
  ASSERT_EQ(analyzer.TotalImages(), 5000);

  std::vector<std::string> needles = {
      "a",    "/", "ab", "ba", "bab", "www", "w.w", "http://a", std::string(40, 'a'),
      "a:/b", ".", "bB"};
  for (int i = 0; i < 60; ++i) needles.push_back(RandomUrl(random).substr(0, 1 + random() % 12));
  for (const std::string& needle : needles) {
    SCOPED_TRACE(needle);
    std::string lowered = AsciiLower(needle);
    std::vector<std::string> expected;
    for (std::size_t i = 0; i < urls.size(); ++i)
      if (AsciiLower(urls[i]).find(lowered) != std::string::npos)
        expected.push_back("/c/" + std::to_string(i) + ".gif");
    TItemList items;
    analyzer.GetImages(needle, items);
    ASSERT_EQ(items.size(), expected.size());
    for (std::size_t i = 0; i < items.size(); ++i) EXPECT_EQ(items[i], expected[i]);
    EXPECT_EQ(analyzer.SiteImages(), static_cast<std::int32_t>(expected.size()));
  }
}

TEST_F(LargeListsTest, SiteListIsThePlainSortedSetOfKeys) {
  std::mt19937 random(7);
  std::set<std::string> keys;
  for (int i = 0; i < 20000; ++i) {
    const std::string url = "http://" + std::string(random() % 2 ? "www." : "") + "s" +
                            std::to_string(random() % 3000) + ".T" + std::to_string(i % 7) + "/p";
    cache_.Add(MemoryUrlCache::kContent, url, "");
    keys.insert(SiteFromURL(url));
  }
  std::string expected;
  for (const std::string& key : keys) expected += key + "\r\n";
  TCacheAnalyzer analyzer;
  std::string sites;
  analyzer.GetSites(sites);
  EXPECT_EQ(sites, expected);
}

TEST_F(LargeListsTest, ListsLongerThanOneChunkKeepEveryEntryInOrder) {
  for (int i = 0; i < 60000; ++i)
    cache_.Add(MemoryUrlCache::kHistory, "Visited: u@http://h.test/" + std::to_string(i), "");
  TCacheAnalyzer analyzer;
  analyzer.ScanCache();
  const TEntryList& history = analyzer.HistoryList();
  ASSERT_EQ(history.Count(), 60000u);
  for (std::size_t i = 0; i < history.Count(); ++i)
    ASSERT_EQ(history[i].SourceUrlName, "Visited: u@http://h.test/" + std::to_string(i));
  TItemList items;
  analyzer.GetHistory("test/59999", items);
  ASSERT_EQ(items.size(), 1u);
  EXPECT_EQ(items[0], "Visited: u@http://h.test/59999");
  analyzer.GetHistory("", items);
  EXPECT_EQ(items.size(), 60000u);
}

}  // namespace
