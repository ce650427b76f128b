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

// The matcher's table in two-byte cells, in four-byte cells, and none.
const std::pair<std::size_t, std::size_t> kTableChoices[] = {
    {SiteMatcher::kMaxDenseCells, SiteMatcher::kMaxNarrowNodes},
    {SiteMatcher::kMaxDenseCells, 0},
    {0, 0},
};

TEST(SiteMatcher, FindsEveryOccurrenceOfOverlappingKeys) {
  const std::vector<std::string> keys = {"a.b", "xa.b.c", "b",      "a.b:8080",
                                         "",    "b.c",    "a\r\nb", "Capital"};
  // With the table of every step, in narrow and in wide cells, and with the
  // failure links alone.
  for (const auto& [maxDenseCells, maxNarrowNodes] : kTableChoices) {
    const SiteMatcher matcher(keys, maxDenseCells, maxNarrowNodes);
    std::mt19937 random(9);
    const std::string alphabet = "abAB.cCxX:80\r\n/\xff";
    for (int round = 0; round < 2000; ++round) {
      std::string text;
      for (int i = static_cast<int>(random() % 40); i > 0; --i)
        text.push_back(alphabet[random() % alphabet.size()]);
      std::vector<int> counts(keys.size());
      matcher.ForEachOccurrence(text, [&](std::uint32_t key) { ++counts[key]; });
      // A key with a capital is never found: the text is matched lowered.
      std::vector<int> expected = PlainCounts(keys, text);
      expected.back() = 0;
      ASSERT_EQ(counts, expected) << text << " cells " << maxDenseCells << " narrow "
                                  << maxNarrowNodes;
    }
  }
}

// Texts of different lengths walked side by side: each finds what it finds
// alone, whatever the batch.
TEST(SiteMatcher, FindsInABatchWhatEachTextFindsAlone) {
  const std::vector<std::string> keys = {"a.b", "xa.b.c", "b", "a.b:8080", "b.c", "a\r\nb"};
  for (const auto& [maxDenseCells, maxNarrowNodes] : kTableChoices) {
    const SiteMatcher matcher(keys, maxDenseCells, maxNarrowNodes);
    std::mt19937 random(5);
    const std::string alphabet = "abAB.cCxX:80\r\n/";
    for (int round = 0; round < 300; ++round) {
      const std::size_t count = 1 + random() % SiteMatcher::kBatch;
      std::string texts[SiteMatcher::kBatch];
      std::string_view views[SiteMatcher::kBatch];
      for (std::size_t i = 0; i < count; ++i) {
        for (int n = static_cast<int>(random() % 60); n > 0; --n)
          texts[i].push_back(alphabet[random() % alphabet.size()]);
        views[i] = texts[i];
      }
      std::vector<std::vector<int>> counts(count, std::vector<int>(keys.size()));
      matcher.ForEachOccurrenceIn(views, count,
                                  [&](std::size_t i, std::uint32_t key) { ++counts[i][key]; });
      for (std::size_t i = 0; i < count; ++i)
        ASSERT_EQ(counts[i], PlainCounts(keys, texts[i]))
            << texts[i] << " cells " << maxDenseCells << " narrow " << maxNarrowNodes;
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
  // Enough entries of each kind that batches fill, and some left over.
  std::mt19937 random(3);
  const char* const hosts[] = {"a.b", "xa.b.c", "other.org", "www.a.b", "b.c.a.b"};
  for (int i = 0; i < 45; ++i) {
    const std::string host = hosts[random() % 5];
    const std::string n = std::to_string(i);
    cache.Add(C::kContent, "http://" + host + "/" + n + ".gif", "/d/" + n + "[1].gif");
    cache.Add(C::kContent, "http://" + host + "/" + n + ".htm?a.b", "/d/" + n + "[1].htm");
    cache.Add(C::kCookies, "Cookie:me@" + host + "/" + n, "/c/me@" + n + "[1].txt");
    cache.Add(C::kHistory, "Visited: me@http://" + host + "/" + n, "");
  }
  TCacheAnalyzer analyzer;
  TSiteList sites;
  analyzer.GetSites(sites);
  analyzer.ScanCache();
  sites.push_back("");        // every entry
  sites.push_back("OTHER");   // lowered as the queries lower it
  sites.push_back("absent");  // nothing
  // On one thread or several, with the site list's matcher built apart.
  const SiteListMatcher matcher(sites);
  for (unsigned threads : {1u, 2u, 4u}) {
    const SiteTraceIndex index(analyzer, sites, threads);
    const SiteTraceIndex prebuilt(analyzer, matcher, threads);
    TItemList fromIndex, fromPrebuilt, fromQuery;
    for (std::size_t site = 0; site < sites.size(); ++site) {
      for (TTraceKind kind : kAllTraceKinds) {
        index.Items(site, kind, fromIndex);
        prebuilt.Items(site, kind, fromPrebuilt);
        analyzer.GetTraces(kind, sites[site], fromQuery);
        EXPECT_EQ(fromIndex, fromQuery) << sites[site] << " kind " << int(kind);
        EXPECT_EQ(fromPrebuilt, fromQuery) << sites[site] << " kind " << int(kind);
      }
    }
  }
}

}  // namespace
