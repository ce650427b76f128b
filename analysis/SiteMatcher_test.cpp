#include "analysis/SiteMatcher.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "platform/common/AsciiCase.h"
#include "platform/wininet/testing/MemoryUrlCache.h"

namespace {

// Every (key, position) a plain search of the lowered text finds, as counts
// per key.
std::vector<int> PlainCounts(const std::vector<std::string>& keys, std::string_view original) {
  const std::string text = AsciiLower(original);
  std::vector<int> counts(keys.size());
  for (std::size_t k = 0; k < keys.size(); ++k) {
    if (keys[k].empty()) continue;
    for (std::size_t at = text.find(keys[k]); at != std::string_view::npos;
         at = text.find(keys[k], at + 1))
      ++counts[k];
  }
  return counts;
}

TEST(SiteMatcher, FindsEveryOccurrenceOfOverlappingKeys) {
  const std::vector<std::string> keys = {"a.b", "xa.b.c", "b", "a.b:8080", "", "b.c", "a\r\nb"};
  // With the table of every step, and with the failure links alone.
  for (std::size_t maxDenseCells : {SiteMatcher::kMaxDenseCells, std::size_t{0}}) {
    const SiteMatcher matcher(keys, maxDenseCells);
    std::mt19937 random(9);
    const std::string alphabet = "abAB.cCxX:80\r\n/\xff";
    for (int round = 0; round < 2000; ++round) {
      std::string text;
      for (int i = static_cast<int>(random() % 40); i > 0; --i)
        text.push_back(alphabet[random() % alphabet.size()]);
      std::vector<int> counts(keys.size());
      matcher.ForEachOccurrence(text, [&](std::uint32_t key) { ++counts[key]; });
      ASSERT_EQ(counts, PlainCounts(keys, text)) << text << " cells " << maxDenseCells;
    }
  }
}

// The one-pass index gives, for every site, what the per-site query gives.
TEST(SiteTraceIndex, EqualsThePerSiteQueries) {
  fixture::MemoryUrlCache cache;
  fixture::ScopedProvider scoped(cache);
  using C = fixture::MemoryUrlCache;
  cache.Add(C::kContent, "http://www.a.b/logo.gif", "/d/logo[1].gif");
  cache.Add(C::kContent, "http://A.B/a.b/twice.gif", "/d/twice[1].gif");
  cache.Add(C::kContent, "http://xa.b.c/page.htm", "/d/page[1].htm");
  cache.Add(C::kContent, "http://a.b:8080/nofile", "");
  cache.Add(C::kContent, "http://other.org/?q=a.b", "/d/q[1]");
  cache.Add(C::kContent, "http://crlf\r\nfake.test/x.wav", "/d/x[1].wav");
  cache.Add(C::kCookies, "Cookie:me@a.b/", "/c/me@a.b[1].txt");
  cache.Add(C::kHistory, "Visited: me@http://xa.b.c/", "");
  TCacheAnalyzer analyzer;
  TSiteList sites;
  analyzer.GetSites(sites);
  analyzer.ScanCache();
  sites.push_back("");        // every entry
  sites.push_back("OTHER");   // lowered as the queries lower it
  sites.push_back("absent");  // nothing
  const SiteTraceIndex index(analyzer, sites);
  TItemList fromIndex, fromQuery;
  for (std::size_t site = 0; site < sites.size(); ++site) {
    for (TTraceKind kind : kAllTraceKinds) {
      index.Items(site, kind, fromIndex);
      analyzer.GetTraces(kind, sites[site], fromQuery);
      EXPECT_EQ(fromIndex, fromQuery) << sites[site] << " kind " << int(kind);
    }
  }
}

}  // namespace
