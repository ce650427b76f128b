#include "analysis/CacheAnalyzer.h"

#include <gtest/gtest.h>

#include <random>
#include <stdexcept>
#include <unordered_map>

#include "platform/common/AsciiCase.h"
#include "platform/common/LargeBuffer.h"
#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/testing/MemoryUrlCache.h"

namespace {

using fixture::MemoryEntry;
using fixture::MemoryUrlCache;
using fixture::ScopedProvider;

MemoryEntry Entry(std::string url, std::string local = "") {
  MemoryEntry e;
  e.url = std::move(url);
  e.localFile = std::move(local);
  return e;
}

// A service with two sites, ports, www twins, cookies and history.
class AnalyzerTest : public ::testing::Test {
 protected:
  void SetUp() override {
    service.Set(
        fixture::MemoryUrlCache::kCookies,
        {Entry("Cookie:me@a.b/", "/c/me@a.b[1].txt"),
         Entry("Cookie:me@other.org/", "/c/me@other[1].txt"), Entry("Cookie:me@A.B/x", "")});
    service.Set(fixture::MemoryUrlCache::kHistory,
                {Entry("Visited: me@http://www.a.b/index.html"),
                 Entry("Visited: me@http://other.org/"), Entry("")});
    service.Set(fixture::MemoryUrlCache::kContent,
                {
                    Entry("http://www.a.b/logo.gif", "/d/1/logo[1].gif"),
                    Entry("http://a.b/index.html", "/d/2/index[1].html"),
                    Entry("http://a.b:8080/clip.swf", "/d/1/clip[1].swf"),
                    Entry("http://a.b/script.js", "/d/3/script[1].js"),
                    Entry("http://a.b/noname", ""),
                    Entry("http://xa.b.c/logo.gif", "/d/2/logo[1].gif"),
                    Entry("http://other.org/?q=a.b", "/d/3/q[1]"),
                    Entry("HTTP://OTHER.ORG/PIC.PNG", "/d/1/PIC[1].PNG"),
                    Entry("http://www.a.b/logo.gif", "/d/1/logo[2].gif"),
                });
  }

  MemoryUrlCache service;
  ScopedProvider scoped{service};
  TCacheAnalyzer analyzer;
};

TEST_F(AnalyzerTest, ScanStoresEachEntryUnderItsKindAndCounts) {
  analyzer.ScanCache();
  EXPECT_EQ(analyzer.TotalImages(), 4);
  EXPECT_EQ(analyzer.TotalPages(), 1);
  EXPECT_EQ(analyzer.TotalMedia(), 1);
  EXPECT_EQ(analyzer.TotalOther(), 3);  // .js, no file, no extension
  EXPECT_EQ(analyzer.TotalCookies(), 3);
  EXPECT_EQ(analyzer.TotalHistory(), 3);
  EXPECT_EQ(analyzer.SiteImages(), 0);  // the scan leaves the per-site counts alone
  ASSERT_EQ(analyzer.ImageList().Count(), 4u);
  EXPECT_EQ(analyzer.ImageList()[0].SourceUrlName, "http://www.a.b/logo.gif");
  EXPECT_EQ(analyzer.ImageList()[3].LocalFileName, "/d/1/logo[2].gif");

  // A second scan replaces everything.
  service.Set(fixture::MemoryUrlCache::kContent,
              {Entry("http://www.a.b/logo.gif", "/d/1/logo[1].gif")});
  analyzer.ScanCache();
  EXPECT_EQ(analyzer.TotalImages(), 1);
  EXPECT_EQ(analyzer.TotalOther(), 0);
  EXPECT_EQ(analyzer.ImageList().Count(), 1u);
}

TEST_F(AnalyzerTest, SitesAreSortedUniqueAndComeFromContentOnly) {
  std::string sites;
  analyzer.GetSites(sites);
  EXPECT_EQ(sites, "a.b\r\na.b:8080\r\nother.org\r\nxa.b.c\r\n");
  // A query belongs to the key when no slash comes before it.
  service.Add(fixture::MemoryUrlCache::kContent, Entry("http://zz.top?x=1"));
  std::string again;
  analyzer.GetSites(again);
  EXPECT_EQ(again, sites + "zz.top?x=1\r\n");
  // GetSites leaves the stored lists and totals alone, and the scan still works after it.
  EXPECT_EQ(analyzer.ImageList().Count(), 0u);
  analyzer.ScanCache();
  EXPECT_EQ(analyzer.TotalImages(), 4);
  EXPECT_EQ(analyzer.Cache().SearchPattern(), spUrl);
}

// Right after GetSites the scan takes the content entries of that walk, so
// the site list and the lists come from one reading of the container; any
// other scan walks the container anew.
TEST_F(AnalyzerTest, ScanRightAfterGetSitesTakesThatWalksContentEntries) {
  TCacheAnalyzer walked;  // scans without GetSites first
  walked.ScanCache();
  TSiteList sites;
  analyzer.GetSites(sites);
  service.Add(fixture::MemoryUrlCache::kContent, Entry("http://new.site/n.gif", "/d/1/n[1].gif"));
  analyzer.ScanCache();
  for (TTraceKind kind : kAllTraceKinds) {
    const TEntryList& got = analyzer.List(kind);
    const TEntryList& want = walked.List(kind);
    ASSERT_EQ(got.Count(), want.Count()) << kind;
    for (std::size_t i = 0; i < got.Count(); ++i) {
      EXPECT_EQ(got[i].SourceUrlName, want[i].SourceUrlName);
      EXPECT_EQ(got[i].LocalFileName, want[i].LocalFileName);
    }
  }
  EXPECT_EQ(analyzer.TotalImages(), 4);
  std::string got, want;
  analyzer.GetImages("A.B", got);
  walked.GetImages("A.B", want);
  EXPECT_EQ(got, want);
  EXPECT_EQ(analyzer.Cache().SearchPattern(), spUrl);

  analyzer.ScanCache();  // the kept entries served one scan only
  EXPECT_EQ(analyzer.TotalImages(), 5);
  analyzer.GetSites(sites);
  analyzer.Clear();  // and Clear drops them
  service.Set(fixture::MemoryUrlCache::kContent, {});
  analyzer.ScanCache();
  EXPECT_EQ(analyzer.TotalImages(), 0);
  EXPECT_EQ(analyzer.TotalCookies(), 3);
}

TEST_F(AnalyzerTest, PerSiteQueriesMatchSubstringsOfTheLoweredUrl) {
  analyzer.ScanCache();
  std::string text;
  analyzer.GetImages("a.b", text);
  // xa.b.c contains a.b, so its image is listed too; duplicates stay.
  EXPECT_EQ(text, "/d/1/logo[1].gif\r\n/d/2/logo[1].gif\r\n/d/1/logo[2].gif\r\n");
  EXPECT_EQ(analyzer.SiteImages(), 3);
  analyzer.GetOther("A.B", text);
  // The entry without a file matches but gives no item; the query text ?q=a.b matches.
  EXPECT_EQ(text, "/d/3/script[1].js\r\n/d/3/q[1]\r\n");
  EXPECT_EQ(analyzer.SiteOther(), 2);
  analyzer.GetMedia("a.b:8080", text);
  EXPECT_EQ(text, "/d/1/clip[1].swf\r\n");
  analyzer.GetMedia("a.b:80800", text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(analyzer.SiteMedia(), 0);
  analyzer.GetCookies("a.b", text);
  EXPECT_EQ(text, "/c/me@a.b[1].txt\r\n");  // the A.B cookie has no file
  EXPECT_EQ(analyzer.SiteCookies(), 1);
  analyzer.GetHistory("a.b", text);
  EXPECT_EQ(text, "Visited: me@http://www.a.b/index.html\r\n");
  EXPECT_EQ(analyzer.SiteHistory(), 1);
  analyzer.GetImages("other.org", text);
  EXPECT_EQ(text, "/d/1/PIC[1].PNG\r\n");
  // Each query set only its own count.
  EXPECT_EQ(analyzer.SiteImages(), 1);
  EXPECT_EQ(analyzer.SiteMedia(), 0);
  EXPECT_EQ(analyzer.SiteCookies(), 1);
}

TEST_F(AnalyzerTest, EmptySiteListsEveryItem) {
  analyzer.ScanCache();
  TItemList items;
  analyzer.GetHistory("", items);
  EXPECT_EQ(items.size(), 2u);  // the entry with an empty URL gives no item
  analyzer.GetOther("", items);
  EXPECT_EQ(items, (TItemList{"/d/3/script[1].js", "/d/3/q[1]"}));
  EXPECT_EQ(analyzer.SiteOther(), 2);
}

TEST_F(AnalyzerTest, NonAsciiLettersAreComparedUnchanged) {
  service.Set(fixture::MemoryUrlCache::kContent,
              {Entry("http://\xC4\xE4.example/x.gif", "/d/x.gif")});
  analyzer.ScanCache();
  std::string text;
  analyzer.GetImages("\xC4\xE4.EXAMPLE", text);
  EXPECT_EQ(analyzer.SiteImages(), 1);
  analyzer.GetImages("\xE4\xE4.example", text);
  EXPECT_EQ(analyzer.SiteImages(), 0);
  analyzer.GetImages(std::string("a\0b", 3), text);
  EXPECT_EQ(analyzer.SiteImages(), 0);
}

// Only A-Z pass for their lower-case letters: the bytes 0x20 away from a
// needle's sign ("@" and "`", "[" and "{") stay apart, at the first, the last
// and an inner byte of a needle, short or long.
TEST_F(AnalyzerTest, OnlyLettersMatchTheirCapitals) {
  const std::string path = "/some/folder/of/the/site/";
  service.Set(fixture::MemoryUrlCache::kContent,
              {Entry("http://u@H.example" + path + "[A]", "/d/1.gif"),
               Entry("http://u`h.example" + path + "{a}", "/d/2.gif")});
  analyzer.ScanCache();
  TItemList items;
  const struct {
    std::string site;
    TItemList expected;
  } cases[] = {
      {"@h", {"/d/1.gif"}},
      {"`h", {"/d/2.gif"}},
      {"[a]", {"/d/1.gif"}},
      {"{a}", {"/d/2.gif"}},
      {"U@H.EXAMPLE" + path + "[a", {"/d/1.gif"}},
      {"u`h.example" + path + "{A}", {"/d/2.gif"}},
      {"u@h.example" + path + "{a}", {}},
      {"h.example" + path, {"/d/1.gif", "/d/2.gif"}},
  };
  for (const auto& [site, expected] : cases) {
    analyzer.GetImages(site, items);
    EXPECT_EQ(items, expected) << site;
  }
}

TEST(OneLineTest, EscapesControlCharactersOnly) {
  EXPECT_EQ(OneLine("a.com"), "a.com");
  EXPECT_EQ(OneLine("a\r\nb\tc"), "a\\r\\nb\\tc");
  EXPECT_EQ(OneLine(std::string("\x01\x7f\0z", 4)), "\\x01\\x7f\\x00z");
  // Bytes beyond ASCII and backslashes stand as they are.
  EXPECT_EQ(OneLine("caf\xe9\\x"), "caf\xe9\\x");
}

// The list form holds each key whole; the text form is that list joined.
TEST(CacheAnalyzer, SiteListKeepsKeysWithLineBreaksWhole) {
  fixture::MemoryUrlCache service;
  fixture::ScopedProvider scoped(service);
  service.Add(fixture::MemoryUrlCache::kContent, "http://b.test\r\nTotal: 9/x", "");
  service.Add(fixture::MemoryUrlCache::kContent, "http://a.test/", "");
  TCacheAnalyzer analyzer;
  TSiteList sites;
  analyzer.GetSites(sites);
  EXPECT_EQ(sites, (TSiteList{"a.test", "b.test\r\ntotal: 9"}));
  std::string text;
  analyzer.GetSites(text);
  EXPECT_EQ(text, "a.test\r\nb.test\r\ntotal: 9\r\n");
}

TEST(CacheAnalyzer, EmptyCacheAndMissingPlatformGiveNothing) {
  MemoryUrlCache empty;
  ScopedProvider scoped(empty);
  TCacheAnalyzer analyzer;
  std::string sites = "x";
  analyzer.GetSites(sites);
  analyzer.ScanCache();
  EXPECT_EQ(sites, "");
  EXPECT_EQ(analyzer.TotalImages() + analyzer.TotalPages() + analyzer.TotalMedia() +
                analyzer.TotalOther() + analyzer.TotalCookies() + analyzer.TotalHistory(),
            0);
  std::string text = "x";
  analyzer.GetPages("", text);
  EXPECT_EQ(text, "");
  EXPECT_EQ(analyzer.SitePages(), 0);
}

TEST(CacheAnalyzer, ReadsTheWineFixture) {
  urlcache::SetUrlCacheProfile(std::string(SITELORE_SHARED_DIR) + "/fixtures/wine-basic/prefix");
  TCacheAnalyzer analyzer;
  std::string sites;
  analyzer.GetSites(sites);
  analyzer.ScanCache();
  urlcache::SetUrlCacheProfile("");
  EXPECT_EQ(sites, "cdn.other.org:8080\r\nexample.com\r\nnews.example.com\r\n");
  EXPECT_EQ(analyzer.TotalImages(), 2);
  EXPECT_EQ(analyzer.TotalPages(), 1);
  EXPECT_EQ(analyzer.TotalMedia(), 1);
  EXPECT_EQ(analyzer.TotalOther(), 1);
  EXPECT_EQ(analyzer.TotalCookies(), 2);
  EXPECT_EQ(analyzer.TotalHistory(), 2);
  std::string history;
  analyzer.GetHistory("example.com", history);
  EXPECT_EQ(history, "Visited: user@http://www.example.com/index.html\r\n");
}

// The block-wise search must give what a plain search of every URL gives,
// with the stores on pages of their own or carved from shared huge pages.
class FastSearch : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override { platform::PreferHugePages(GetParam()); }
  void TearDown() override { platform::PreferHugePages(false); }
};

INSTANTIATE_TEST_SUITE_P(Stores, FastSearch, ::testing::Bool());

TEST_P(FastSearch, EqualsThePlainSearch) {
  std::mt19937 random(7);
  const std::string alphabet = "abAB./:w";
  auto randomText = [&](std::size_t maxLength) {
    std::string text(random() % maxLength, ' ');
    for (char& c : text) c = alphabet[random() % alphabet.size()];
    return text;
  };
  TEntryList list;
  std::vector<std::string> urls;
  for (int i = 0; i < 6000; ++i) {
    TEntryInfo entry;
    // Now and then a URL far larger than an arena block.
    entry.SourceUrlName = i == 4217 ? std::string(3 << 20, 'a') + "b." : randomText(40);
    urls.push_back(AsciiLower(entry.SourceUrlName));
    list.Add(entry);
  }
  std::unordered_map<const TStoredEntry*, std::size_t> indexOf;
  for (std::size_t i = 0; i < list.Count(); ++i) indexOf[&list[i]] = i;
  for (int round = 0; round < 120; ++round) {
    const std::string site = AsciiLower(randomText(5));
    std::vector<std::size_t> expected, got;
    for (std::size_t i = 0; i < urls.size(); ++i)
      if (urls[i].find(site) != std::string::npos) expected.push_back(i);
    list.ForEachMatch(site, [&](const TStoredEntry& entry) { got.push_back(indexOf.at(&entry)); });
    ASSERT_EQ(got, expected) << "site '" << site << "'";
  }
}

// Two passes at once on two threads store what one pass after the other
// stores, in the same order, right after GetSites or not.
TEST(CacheAnalyzer, ParallelScanEqualsTheSequentialScan) {
  MemoryUrlCache service;
  std::mt19937 random(11);
  const char* const extensions[] = {".gif", ".html", ".swf", ".js", ""};
  for (int i = 0; i < 3000; ++i) {
    const std::string host = "h" + std::to_string(random() % 97) + ".test";
    service.Add(MemoryUrlCache::kCookies, "Cookie:me@" + host + "/" + std::to_string(i),
                "/c/me@" + host + "[" + std::to_string(i) + "].txt");
    service.Add(MemoryUrlCache::kHistory, "Visited: me@http://" + host + "/" + std::to_string(i),
                "");
    service.Add(MemoryUrlCache::kContent, "http://" + host + "/f" + std::to_string(i),
                "/d/f" + std::to_string(i) + extensions[random() % 5]);
  }
  ScopedProvider scoped{service};
  for (const bool sitesFirst : {false, true}) {
    TCacheAnalyzer sequential, parallel;
    parallel.SetParallelScan(true);
    TSiteList sites, parallelSites;
    if (sitesFirst) {
      sequential.GetSites(sites);
      parallel.GetSites(parallelSites);
    }
    sequential.ScanCache();
    parallel.ScanCache();
    EXPECT_EQ(parallelSites, sites);
    for (TTraceKind kind : kAllTraceKinds) {
      const TEntryList& got = parallel.List(kind);
      const TEntryList& want = sequential.List(kind);
      EXPECT_EQ(parallel.Total(kind), sequential.Total(kind)) << kind;
      ASSERT_EQ(got.Count(), want.Count()) << kind;
      for (std::size_t i = 0; i < got.Count(); ++i) {
        ASSERT_EQ(got[i].SourceUrlName, want[i].SourceUrlName) << kind << " " << i;
        ASSERT_EQ(got[i].LocalFileName, want[i].LocalFileName) << kind << " " << i;
      }
    }
    EXPECT_EQ(parallel.Cache().SearchPattern(), spUrl);
  }
}

// A scan that keeps no traces leaves the same site list and totals, in
// either mode, and its queries find nothing; keeping them again takes effect
// at the next scan.
TEST(CacheAnalyzer, ScanWithoutTracesCountsAsAScanWithThem) {
  MemoryUrlCache service;
  const char* const extensions[] = {".gif", ".html", ".swf", ".js", ""};
  for (int i = 0; i < 700; ++i) {
    const std::string host = "h" + std::to_string(i % 31) + ".test";
    service.Add(MemoryUrlCache::kCookies, "Cookie:me@" + host + "/" + std::to_string(i),
                "/c/me@" + host + "[" + std::to_string(i) + "].txt");
    service.Add(MemoryUrlCache::kHistory, "Visited: me@http://" + host + "/" + std::to_string(i),
                "");
    service.Add(MemoryUrlCache::kContent, "http://" + host + "/f" + std::to_string(i),
                "/d/f" + std::to_string(i) + extensions[i % 5]);
  }
  ScopedProvider scoped{service};
  TCacheAnalyzer keeping;
  TSiteList sites;
  keeping.GetSites(sites);
  keeping.ScanCache();
  for (const bool parallel : {false, true}) {
    for (const bool sitesFirst : {false, true}) {
      TCacheAnalyzer counting;
      counting.SetParallelScan(parallel);
      counting.SetKeepTraces(false);
      TSiteList counted;
      if (sitesFirst) counting.GetSites(counted);
      counting.ScanCache();
      if (sitesFirst) {
        EXPECT_EQ(counted, sites);
      }
      TItemList items;
      for (TTraceKind kind : kAllTraceKinds) {
        EXPECT_EQ(counting.Total(kind), keeping.Total(kind)) << kind;
        EXPECT_GT(counting.Total(kind), 0) << kind;
        counting.GetTraces(kind, "", items);
        EXPECT_TRUE(items.empty()) << kind;
      }
      counting.SetKeepTraces(true);
      counting.GetSites(counted);
      counting.ScanCache();
      counting.GetTraces(tkCookies, "h3.test", items);
      TItemList kept;
      keeping.GetTraces(tkCookies, "h3.test", kept);
      EXPECT_EQ(items, kept);
      EXPECT_FALSE(kept.empty());
    }
  }
}

// A source that fails while the walks run on two threads: the failure of
// either walk reaches the caller of ScanCache, after both walks ended.
class FailingProvider : public urlcache::Provider {
 public:
  explicit FailingProvider(urlcache::Container failing) : failing_(failing) {}
  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container container) override {
    if (container == failing_) throw std::runtime_error("unreadable container");
    return nullptr;
  }

 private:
  urlcache::Container failing_;
};

// The walks that GetSites starts beside its own fail in the ScanCache that
// would have walked them, and an analyzer dropped before that waits for them.
TEST(CacheAnalyzer, ParallelScanPassesOnTheFailureOfEitherWalk) {
  for (const auto failing : {MemoryUrlCache::kCookies, MemoryUrlCache::kHistory}) {
    FailingProvider provider(failing);
    ScopedProvider scoped{provider};
    TCacheAnalyzer analyzer;
    analyzer.SetParallelScan(true);
    EXPECT_THROW(analyzer.ScanCache(), std::runtime_error);
    TSiteList sites;
    analyzer.GetSites(sites);
    EXPECT_THROW(analyzer.ScanCache(), std::runtime_error);
    EXPECT_EQ(analyzer.TotalCookies() + analyzer.TotalHistory(), 0);
    TCacheAnalyzer dropped;
    dropped.SetParallelScan(true);
    dropped.GetSites(sites);
  }
  // A content walk that fails ends GetSites once the walks beside it ended.
  FailingProvider content(MemoryUrlCache::kContent);
  ScopedProvider scoped{content};
  TCacheAnalyzer analyzer;
  analyzer.SetParallelScan(true);
  TSiteList sites;
  EXPECT_THROW(analyzer.GetSites(sites), std::runtime_error);
}

}  // namespace
