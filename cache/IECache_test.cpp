#include "cache/IECache.h"

#include <gtest/gtest.h>

#include <cmath>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <stdexcept>
#include <vector>

#include "platform/win32/ModuleSeam.h"
#include "platform/win32/TimeZoneSeam.h"
#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/testing/MemoryUrlCache.h"

namespace {

using fixture::MemoryEntry;
using fixture::MemoryUrlCache;
using fixture::ScopedProvider;

const std::string kPrefix = std::string(SITELORE_SHARED_DIR) + "/fixtures/wine-basic/prefix";

FILETIME FromTicks(std::uint64_t ticks) {
  return FILETIME{static_cast<DWORD>(ticks), static_cast<DWORD>(ticks >> 32)};
}

MemoryEntry Named(std::string url) {
  MemoryEntry entry;
  entry.url = std::move(url);
  return entry;
}

// Sets `cache` to walk every kind of entry of the content container.
void SetAllContent(TIECache& cache) {
  cache.SetFilterOptions(TFilterOptions::All());
  cache.SetSearchPattern(spUrl);
}

std::vector<TEntryInfo> Walk(TIECache& cache) {
  std::vector<TEntryInfo> seen;
  cache.SetOnEntry([&](TIECache& sender, bool&) { seen.push_back(sender.EntryInfo()); });
  cache.RetrieveEntries(0);
  return seen;
}

class ScopedTimeZone {
 public:
  explicit ScopedTimeZone(const char* zone) {
    if (const char* old = std::getenv("TZ")) old_ = old;
    setenv("TZ", zone, 1);
    platform::FlushTimeZoneCache();
  }
  ~ScopedTimeZone() {
    if (old_.empty())
      unsetenv("TZ");
    else
      setenv("TZ", old_.c_str(), 1);
    platform::FlushTimeZoneCache();
  }

 private:
  std::string old_;
};

struct ExpectedEntry {
  std::string pattern, url, local, ext, header;
  DWORD type, use, hits, size, exempt;
  std::uint64_t modified, expire, access, sync;
};

std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  for (std::string field; std::getline(in, field, '\t');) fields.push_back(field);
  if (!line.empty() && line.back() == '\t') fields.emplace_back();
  return fields;
}

std::string Unescape(std::string text) {
  for (const auto& [from, to] : {std::pair{"\\r", "\r"}, std::pair{"\\n", "\n"}})
    for (std::size_t at; (at = text.find(from)) != std::string::npos;) text.replace(at, 2, to);
  return text;
}

// Wine's C:\users\root\... paths as the files lie in the fixture here.
std::string LocalPathHere(std::string windowsPath) {
  if (windowsPath.empty()) return windowsPath;
  const std::string drive = "C:\\";
  EXPECT_EQ(windowsPath.rfind(drive, 0), 0u);
  std::string path = kPrefix + "/drive_c/" + windowsPath.substr(drive.size());
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}

std::vector<ExpectedEntry> ReadEnumeration() {
  std::ifstream in(std::string(SITELORE_SHARED_DIR) + "/fixtures/wine-basic/enumeration.tsv");
  std::vector<ExpectedEntry> entries;
  std::string line;
  std::getline(in, line);  // column names
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const std::vector<std::string> f = SplitTabs(line);
    EXPECT_EQ(f.size(), 15u) << line;
    if (f.size() != 15) continue;
    auto hex = [](const std::string& s) { return std::stoull(s, nullptr, 16); };
    entries.push_back({f[0], f[1], LocalPathHere(f[2]), f[12], Unescape(f[14]),
                       static_cast<DWORD>(hex(f[3])), static_cast<DWORD>(std::stoul(f[4])),
                       static_cast<DWORD>(std::stoul(f[5])), static_cast<DWORD>(std::stoul(f[6])),
                       static_cast<DWORD>(std::stoul(f[13])), hex(f[8]), hex(f[9]), hex(f[10]),
                       hex(f[11])});
  }
  return entries;
}

TEST(IECache, EnumeratesTheWineFixtureExactlyAsWineDid) {
  urlcache::SetUrlCacheProfile(kPrefix);
  const std::vector<ExpectedEntry> expected = ReadEnumeration();
  ASSERT_EQ(expected.size(), 9u);
  TIECache cache;
  cache.SetFilterOptions(TFilterOptions::All());
  std::vector<TEntryInfo> seen;
  for (TSearchPattern pattern : {spCookies, spHistory, spUrl}) {
    cache.SetSearchPattern(pattern);
    for (TEntryInfo& e : Walk(cache)) seen.push_back(std::move(e));
  }
  urlcache::SetUrlCacheProfile("");
  ASSERT_EQ(seen.size(), expected.size());
  for (std::size_t i = 0; i < seen.size(); ++i) {
    const ExpectedEntry& want = expected[i];
    const TEntryInfo& got = seen[i];
    SCOPED_TRACE(want.url);
    EXPECT_EQ(got.SourceUrlName, want.url);
    EXPECT_EQ(got.LocalFileName, want.local);
    EXPECT_TRUE(want.local.empty() || std::filesystem::exists(got.LocalFileName));
    EXPECT_EQ(got.CacheEntryType, want.type);
    EXPECT_EQ(got.UseCount, want.use);
    EXPECT_EQ(got.HitRate, want.hits);
    EXPECT_EQ(got.Size, want.size);
    EXPECT_EQ(got.ExemptDelta, want.exempt);
    EXPECT_EQ(got.FileExtension, want.ext);
    EXPECT_EQ(got.HeaderInfo, want.header);
    EXPECT_EQ(got.LastModifiedTime(), FileTimeToDateTime(FromTicks(want.modified)));
    EXPECT_EQ(got.ExpireTime(), FileTimeToDateTime(FromTicks(want.expire)));
    EXPECT_EQ(got.LastAccessTime(), FileTimeToDateTime(FromTicks(want.access)));
    EXPECT_EQ(got.LastSyncTime(), FileTimeToDateTime(FromTicks(want.sync)));
  }
}

TEST(IECache, FilterWordFollowsTheOptions) {
  TIECache cache;
  EXPECT_EQ(cache.FilterWord(), 0u);  // derived only on the first assignment
  EXPECT_EQ(cache.FilterOptions(),
            (TFilterOptions{NORMAL_ENTRY, STICKY_ENTRY, COOKIE_ENTRY, URLHISTORY_ENTRY,
                            TRACK_OFFLINE_ENTRY, TRACK_ONLINE_ENTRY}));
  cache.SetFilterOptions(cache.FilterOptions());
  EXPECT_EQ(cache.FilterWord(), 0x00300035u);
  cache.SetFilterOptions(TFilterOptions::All());
  EXPECT_EQ(cache.FilterWord(), 0x00330037u);
  cache.SetFilterOptions({});
  EXPECT_EQ(cache.FilterWord(), 0u);
  cache.SetFilterOptions({OCX_ENTRY, COOKIE_ENTRY});
  EXPECT_EQ(cache.FilterWord(), 0x00120000u);
}

TEST(IECache, PatternsSelectTheContainersTheProviderWalks) {
  using urlcache::Container;
  const std::pair<TSearchPattern, std::vector<Container>> cases[] = {
      {spAll, {Container::kCookies, Container::kHistory, Container::kContent}},
      {spCookies, {Container::kCookies}},
      {spHistory, {Container::kHistory}},
      {spUrl, {Container::kContent}},
  };
  for (const auto& [pattern, containers] : cases) {
    MemoryUrlCache service;
    ScopedProvider scoped(service);
    TIECache cache;
    cache.SetSearchPattern(pattern);
    cache.RetrieveEntries(0);
    // An empty walk is one probe and one real call, each opening the walk.
    std::vector<Container> expected = containers;
    expected.insert(expected.end(), containers.begin(), containers.end());
    EXPECT_EQ(service.opened, expected) << int(pattern);
  }
}

TEST(IECache, PrepareOpensThePatternsContainerAndDeliversNothing) {
  using urlcache::Container;
  MemoryUrlCache service;
  service.Set(fixture::MemoryUrlCache::kHistory, {Named("Visited: me@http://a.test/")});
  service.Set(fixture::MemoryUrlCache::kContent, {Named("http://kept/")});
  ScopedProvider scoped(service);
  TIECache cache;
  SetAllContent(cache);
  EXPECT_EQ(Walk(cache).size(), 1u);
  service.opened.clear();
  int raised = 0;
  cache.SetOnEntry([&](TIECache&, bool&) { ++raised; });
  cache.SetSearchPattern(spHistory);
  cache.PrepareEntries(0);
  EXPECT_EQ(service.opened, std::vector<Container>{Container::kHistory});
  EXPECT_EQ(raised, 0);
  EXPECT_EQ(cache.EntryInfo().SourceUrlName, "http://kept/");
  // The walk that follows is whole.
  EXPECT_EQ(Walk(cache).size(), 1u);
  EXPECT_EQ(cache.EntryInfo().SourceUrlName, "Visited: me@http://a.test/");
}

TEST(IECache, EmptyContainerRaisesNothingClosesTheNullHandleAndKeepsTheLastEntry) {
  MemoryUrlCache service;
  service.Set(fixture::MemoryUrlCache::kContent, {Named("http://kept/")});
  ScopedProvider scoped(service);
  TIECache cache;
  SetAllContent(cache);
  EXPECT_EQ(Walk(cache).size(), 1u);
  service.Set(fixture::MemoryUrlCache::kContent, {});
  SetLastError(0);
  EXPECT_TRUE(Walk(cache).empty());
  // FindCloseUrlCache(null) was still called: it leaves its own error code.
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  EXPECT_EQ(cache.EntryInfo().SourceUrlName, "http://kept/");
  EXPECT_EQ(cache.FindFirstEntry(0), std::int32_t(ERROR_NO_MORE_ITEMS));
}

TEST(IECache, CancelStopsAfterTheCurrentEntryAndNoHandlerStillWalks) {
  MemoryUrlCache service;
  service.Set(fixture::MemoryUrlCache::kContent, {Named("a"), Named("b"), Named("c")});
  ScopedProvider scoped(service);
  TIECache cache;
  SetAllContent(cache);
  int events = 0;
  cache.SetOnEntry([&](TIECache&, bool& cancel) {
    ++events;
    cancel = true;
  });
  cache.RetrieveEntries(0);
  EXPECT_EQ(events, 1);
  EXPECT_EQ(cache.EntryInfo().SourceUrlName, "a");

  cache.SetOnEntry(nullptr);
  cache.RetrieveEntries(0);
  EXPECT_EQ(cache.EntryInfo().SourceUrlName, "c");
}

TEST(IECache, EveryFieldIsOverwrittenForEachEntry) {
  MemoryUrlCache service;
  MemoryEntry full = Named("http://a/");
  full.localFile = "/x/a.gif";
  full.header = "H: 1\r\n";
  full.extension = "gif";
  full.sizeLow = 10;
  full.lastModified = FromTicks(0x01db8b4b4a204b00);
  MemoryEntry bare = Named("http://b/");
  service.Set(fixture::MemoryUrlCache::kContent, {full, bare});
  ScopedProvider scoped(service);
  TIECache cache;
  SetAllContent(cache);
  const std::vector<TEntryInfo> seen = Walk(cache);
  ASSERT_EQ(seen.size(), 2u);
  EXPECT_EQ(seen[0].HeaderInfo, "H: 1\r\n");
  EXPECT_NE(seen[0].LastModifiedTime(), 0.0);
  EXPECT_EQ(seen[1].LocalFileName, "");
  EXPECT_EQ(seen[1].HeaderInfo, "");
  EXPECT_EQ(seen[1].FileExtension, "");
  EXPECT_EQ(seen[1].Size, 0u);
  EXPECT_EQ(seen[1].LastModifiedTime(), FileTimeToDateTime(FILETIME{}));
}

// A walk converts its times with the bias read when it began; the results
// must be those of the platform's conversion of each time, at the ends of the
// range too (before 1601 or after 9999 in local time, past 2^63 ticks).
TEST(IECache, WalkTimesMatchThePlatformConversionInEveryZone) {
  const std::uint64_t ticks[] = {0,
                                 12ull * 3600 * 10000000,
                                 0x01db8b4b4a204b00,
                                 0x24c85a5ed1c04000ull - 1,
                                 0x24c85a5ed1c04000ull - 4ull * 3600 * 10000000,
                                 0x24c85a5ed1c04000ull,
                                 0x7fffffffffffffffull,
                                 0x8000000000000000ull,
                                 0xffffffffffffffffull};
  MemoryUrlCache service;
  std::vector<MemoryEntry> entries;
  for (std::uint64_t t : ticks) {
    MemoryEntry entry = Named("http://t/" + std::to_string(t));
    entry.lastModified = entry.expire = entry.lastAccess = entry.lastSync = FromTicks(t);
    entries.push_back(entry);
  }
  service.Set(fixture::MemoryUrlCache::kContent, entries);
  ScopedProvider scoped(service);
  for (const char* zone : {"UTC0", "XYZ-3", "XYZ5", "XYZ-14"}) {
    ScopedTimeZone scopedZone(zone);
    SCOPED_TRACE(zone);
    TIECache cache;
    SetAllContent(cache);
    const std::vector<TEntryInfo> seen = Walk(cache);
    ASSERT_EQ(seen.size(), std::size(ticks));
    for (std::size_t i = 0; i < seen.size(); ++i) {
      const TDateTime want = FileTimeToDateTime(FromTicks(ticks[i]));
      EXPECT_EQ(seen[i].LastModifiedTime(), want) << ticks[i];
      EXPECT_EQ(seen[i].ExpireTime(), want);
      EXPECT_EQ(seen[i].LastAccessTime(), want);
      EXPECT_EQ(seen[i].LastSyncTime(), want);
    }
  }
}

// Times are converted only when asked, yet with the bias of the walk that
// delivered them, also once the zone has changed; a cleared entry has none.
TEST(IECache, TimesAskedLaterKeepTheZoneOfTheirWalk) {
  const std::uint64_t ticks = 0x01db8b4b4a204b00;
  MemoryUrlCache service;
  MemoryEntry entry = Named("http://t/");
  entry.lastModified = entry.expire = entry.lastAccess = entry.lastSync = FromTicks(ticks);
  service.Set(fixture::MemoryUrlCache::kContent, {entry});
  ScopedProvider scoped(service);
  std::vector<TEntryInfo> seen;
  TDateTime inWalkZone = 0.0;
  {
    ScopedTimeZone zone("XYZ-3");
    TIECache cache;
    SetAllContent(cache);
    seen = Walk(cache);
    inWalkZone = FileTimeToDateTime(FromTicks(ticks));
  }
  ScopedTimeZone later("XYZ5");
  ASSERT_NE(FileTimeToDateTime(FromTicks(ticks)), inWalkZone);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].LastModifiedTime(), inWalkZone);
  EXPECT_EQ(seen[0].LastSyncTime(), inWalkZone);
  TIECache cleared;
  cleared.ClearEntryInfo();
  EXPECT_EQ(cleared.EntryInfo().LastModifiedTime(), 0.0);
  EXPECT_EQ(cleared.EntryInfo().ExpireTime(), 0.0);
}

TEST(IECache, SizeKeepsTheLowWordAndHeaderEndsAtAZeroByte) {
  MemoryUrlCache service;
  MemoryEntry big = Named("http://big/");
  big.sizeLow = 7;
  big.sizeHigh = 3;  // 12 GiB + 7
  big.header = std::string("first\0second", 12);
  service.Set(fixture::MemoryUrlCache::kContent, {big});
  ScopedProvider scoped(service);
  TIECache cache;
  SetAllContent(cache);
  const std::vector<TEntryInfo> seen = Walk(cache);
  ASSERT_EQ(seen.size(), 1u);
  EXPECT_EQ(seen[0].Size, 7u);
  EXPECT_EQ(seen[0].HeaderInfo, "first");
}

TEST(IECache, HandlerExceptionLeavesTheWalkAndTheNextWalkWorks) {
  MemoryUrlCache service;
  service.Set(fixture::MemoryUrlCache::kContent, {Named("a"), Named("b")});
  ScopedProvider scoped(service);
  TIECache cache;
  SetAllContent(cache);
  cache.SetOnEntry([](TIECache&, bool&) { throw std::runtime_error("handler failed"); });
  EXPECT_THROW(cache.RetrieveEntries(0), std::runtime_error);
  EXPECT_EQ(Walk(cache).size(), 2u);
}

TEST(IECache, MissingPlatformDoesNothingUntilItAppears) {
  MemoryUrlCache service;
  service.Set(fixture::MemoryUrlCache::kContent, {Named("http://a/")});
  ScopedProvider scoped(service);
  TIECache cache;
  SetAllContent(cache);
  EXPECT_EQ(Walk(cache).size(), 1u);

  for (const char* missingProc : {"", "GetUrlCacheGroupAttributeA", "FindFirstUrlCacheEntryExA"}) {
    SCOPED_TRACE(missingProc);
    IECache_testing::ResetLibraryFound();
    if (*missingProc)
      platform::SetProcMissing(missingProc, true);
    else
      platform::SetModuleMissing("wininet.dll", true);
    EXPECT_FALSE(cache.LibraryFound());
    EXPECT_TRUE(Walk(cache).empty());
    EXPECT_EQ(cache.FindFirstEntry(0), 2);
    EXPECT_EQ(cache.FindNextEntry(), 2);
    cache.ClearEntryInfo();  // does nothing without the platform
    EXPECT_EQ(cache.EntryInfo().SourceUrlName, "http://a/");
    platform::ResetModuleSeam();
    EXPECT_EQ(Walk(cache).size(), 1u);  // the next operation finds it again
    EXPECT_TRUE(cache.LibraryFound());
  }
}

TEST(FileTimeToDateTime, CountsDaysFrom1899InLocalTime) {
  const FILETIME march2025 = FromTicks(0x01db8b4b4a204b00);  // 2025-03-02 08:15:42 UTC
  {
    ScopedTimeZone utc("UTC0");
    EXPECT_NEAR(FileTimeToDateTime(march2025), 45718 + 29742 / 86400.0, 1e-9);
    // 1601-01-01 12:00 lies before 1899: the time of day is subtracted.
    EXPECT_NEAR(FileTimeToDateTime(FromTicks(12ull * 3600 * 10000000)), -109205 - 0.5, 1e-9);
  }
  {
    ScopedTimeZone east("XYZ-3");  // three hours east of UTC, no daylight saving
    EXPECT_NEAR(FileTimeToDateTime(march2025), 45718 + (29742 + 3 * 3600) / 86400.0, 1e-9);
  }
}

TEST(FileTimeToDateTime, UnconvertibleTimesGiveZero) {
  ScopedTimeZone utc("UTC0");
  // 10000-01-01 00:00 UTC and the largest FILETIME the platform converts.
  EXPECT_EQ(FileTimeToDateTime(FromTicks(0x24c85a5ed1c04000ull)), 0.0);
  EXPECT_EQ(FileTimeToDateTime(FromTicks(0x7fffffffffffffffull)), 0.0);
  EXPECT_EQ(FileTimeToDateTime(FromTicks(0x8000000000000000ull)), 0.0);
  EXPECT_EQ(FileTimeToDateTime(FromTicks(0xffffffffffffffffull)), 0.0);
  {
    ScopedTimeZone west("XYZ5");
    EXPECT_EQ(FileTimeToDateTime(FromTicks(0)), 0.0);  // no local time before 1601
  }
}

}  // namespace
