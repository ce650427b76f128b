#include "analysis/CountLines.h"

#include <gtest/gtest.h>

#include "analysis/CacheAnalyzer.h"
#include "platform/wininet/testing/MemoryUrlCache.h"

namespace {

using fixture::MemoryUrlCache;

class CountLinesTest : public ::testing::Test {
 protected:
  void SetUp() override { urlcache::SetProvider(&cache_); }
  void TearDown() override { urlcache::SetProvider(nullptr); }

  void AddContent(const std::string& url, const std::string& file) {
    cache_.Add(MemoryUrlCache::kContent, url, file);
  }

  MemoryUrlCache cache_;
};

TEST_F(CountLinesTest, BeforeAnyScanBothLinesShowZeros) {
  TCacheAnalyzer analyzer;
  EXPECT_EQ(FormatTotalLine(analyzer),
            "Total: 0 images, 0 pages, 0 media files, 0 unknown files,0 cookies, 0 history "
            "entires");
  EXPECT_EQ(FormatSiteLine(analyzer),
            "Selected site:: 0 images, 0 pages, 0 media files, 0 unknown files, 0 cookies, 0 "
            "history entires");
}

// Every count in its own slot: each kind gets a distinct number.
TEST_F(CountLinesTest, EachCountStandsInItsOwnSlot) {
  for (int i = 0; i < 3; ++i) AddContent("http://a.b/i" + std::to_string(i), "/c/i.gif");
  AddContent("http://a.b/p", "/c/p.htm");
  for (int i = 0; i < 2; ++i) AddContent("http://a.b/o" + std::to_string(i), "/c/o.js");
  for (int i = 0; i < 4; ++i) AddContent("http://x.y/m" + std::to_string(i), "/c/m.swf");
  for (int i = 0; i < 5; ++i)
    cache_.Add(MemoryUrlCache::kHistory, "Visited: u@http://a.b/" + std::to_string(i), "");
  for (int i = 0; i < 6; ++i)
    cache_.Add(MemoryUrlCache::kCookies, "Cookie:u@x.y/" + std::to_string(i), "/k/c.txt");

  TCacheAnalyzer analyzer;
  analyzer.ScanCache();
  EXPECT_EQ(FormatTotalLine(analyzer),
            "Total: 3 images, 1 pages, 4 media files, 2 unknown files,6 cookies, 5 history "
            "entires");

  using Query = void (TCacheAnalyzer::*)(std::string_view, TItemList&);
  TItemList items;
  for (Query query : std::initializer_list<Query>{
           &TCacheAnalyzer::GetPages, &TCacheAnalyzer::GetImages, &TCacheAnalyzer::GetOther,
           &TCacheAnalyzer::GetMedia, &TCacheAnalyzer::GetCookies, &TCacheAnalyzer::GetHistory})
    (analyzer.*query)("a.b", items);
  EXPECT_EQ(FormatSiteLine(analyzer),
            "Selected site:: 3 images, 1 pages, 0 media files, 2 unknown files, 0 cookies, 5 "
            "history entires");
}

}  // namespace
