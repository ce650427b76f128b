// TIECache walks the entries of the system's URL cache through the WinINet
// URL-cache service, container by container, and hands each entry to its
// owner through the OnEntry event. It only reads the cache.
#pragma once

#include <windows.h>
#include <wininet.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

// Days since 1899-12-30 00:00 local time, the fraction being the time of day
// (the OLE Automation date). 0.0 marks a time that could not be converted.
using TDateTime = double;

// One cache entry as the enumerator delivers it; texts are owned copies.
struct TEntryInfo {
  std::string SourceUrlName;
  std::string LocalFileName;
  std::uint32_t CacheEntryType = 0;
  std::uint32_t UseCount = 0;
  std::uint32_t HitRate = 0;
  std::uint32_t Size = 0;  // low-order 32 bits of the entry's size
  std::string HeaderInfo;  // up to its first zero byte
  std::string FileExtension;
  std::uint32_t ExemptDelta = 0;

  // The entry's times as local TDateTime, converted when asked: a walk
  // delivers hundreds of thousands of entries whose times no one reads.
  // 0.0 for an entry without them (a cleared one).
  TDateTime LastModifiedTime() const { return Converted(FLastModified); }
  TDateTime ExpireTime() const { return Converted(FExpire); }
  TDateTime LastAccessTime() const { return Converted(FLastAccess); }
  TDateTime LastSyncTime() const { return Converted(FLastSync); }

  // Takes the platform's UTC times. With `Bias` (local minus UTC, in
  // FILETIME ticks) they convert by it; without, the platform converts each.
  void SetTimes(const FILETIME& LastModified, const FILETIME& Expire, const FILETIME& LastAccess,
                const FILETIME& LastSync, const std::int64_t* Bias);

 private:
  TDateTime Converted(const FILETIME& Time) const;

  FILETIME FLastModified{}, FExpire{}, FLastAccess{}, FLastSync{};
  enum class TConversion : std::uint8_t { None, ByBias, ByPlatform };
  TConversion FConversion = TConversion::None;
  std::int64_t FBias = 0;
};

// Kinds of cache entry a walk includes; the order is the set's own, not that
// of the flag values.
enum TFilterOption : std::uint8_t {
  NORMAL_ENTRY,
  STABLE_ENTRY,
  STICKY_ENTRY,
  COOKIE_ENTRY,
  URLHISTORY_ENTRY,
  TRACK_OFFLINE_ENTRY,
  TRACK_ONLINE_ENTRY,
  SPARSE_ENTRY,
  OCX_ENTRY,
};

// A set of TFilterOption, stored in 16 bits.
class TFilterOptions {
 public:
  constexpr TFilterOptions() = default;
  constexpr TFilterOptions(std::initializer_list<TFilterOption> members) {
    for (TFilterOption member : members) Include(member);
  }
  static constexpr TFilterOptions All() {
    return {NORMAL_ENTRY,        STABLE_ENTRY,       STICKY_ENTRY, COOKIE_ENTRY, URLHISTORY_ENTRY,
            TRACK_OFFLINE_ENTRY, TRACK_ONLINE_ENTRY, SPARSE_ENTRY, OCX_ENTRY};
  }

  constexpr void Include(TFilterOption member) { bits_ |= std::uint16_t(1u << member); }
  constexpr bool Contains(TFilterOption member) const { return bits_ & (1u << member); }
  constexpr bool Empty() const { return bits_ == 0; }
  constexpr bool operator==(const TFilterOptions&) const = default;

 private:
  std::uint16_t bits_ = 0;
};

// Which container a walk visits.
enum TSearchPattern : std::uint8_t {
  spAll,      // null pattern
  spCookies,  // "Cookie:"
  spHistory,  // "Visited:"
  spUrl,      // "" (ordinary content)
};

class TIECache;

// Raised once for every entry delivered, after EntryInfo holds it. Setting
// Cancel stops the walk after this entry.
using TOnEntryEvent = std::function<void(TIECache& Sender, bool& Cancel)>;

class TIECache {
 public:
  // Empty EntryInfo, the default filter options, spAll, no handler. The
  // filter word stays 0 until FilterOptions is first assigned.
  TIECache();
  TIECache(const TIECache&) = delete;
  TIECache& operator=(const TIECache&) = delete;

  TFilterOptions FilterOptions() const { return FFilterOptions; }
  // Stores the set and derives the filter word (UpdateFilter).
  void SetFilterOptions(TFilterOptions Value);

  TSearchPattern SearchPattern() const { return FSearchPattern; }
  void SetSearchPattern(TSearchPattern Value) { FSearchPattern = Value; }

  const TOnEntryEvent& OnEntry() const { return FOnEntry; }
  void SetOnEntry(TOnEntryEvent Value) { FOnEntry = std::move(Value); }

  // The entry most recently delivered; kept across walks.
  const TEntryInfo& EntryInfo() const { return FEntryInfo; }

  // The platform filter word derived from FilterOptions.
  DWORD FilterWord() const { return FFilter; }

  // Whether the platform offers the URL-cache functions (GetLibraryFound).
  bool LibraryFound();

  // Runs one complete enumeration of the container of SearchPattern, raising
  // OnEntry for each entry. Returns when the walk is over with the platform's
  // enumeration closed, also when OnEntry throws. Platform failures end the
  // walk quietly.
  void RetrieveEntries(std::int64_t GroupID);

  // Asks the platform for the size of the first entry of SearchPattern's
  // walk, which has the platform read the walk's containers: a walk begun
  // soon after, on this thread or another, finds them read. Raises nothing
  // and leaves EntryInfo as it was.
  void PrepareEntries(std::int64_t GroupID);
  // The two steps of an enumeration: 0 when an entry was delivered into
  // EntryInfo, else the platform's error code, or 2 without the platform.
  std::int32_t FindFirstEntry(std::int64_t GroupID);
  std::int32_t FindNextEntry();

  // Empties every text and zeroes every number of EntryInfo.
  void ClearEntryInfo();
  // Fills EntryInfo from one platform record. Within a walk its times
  // convert with the zone bias read when the walk began (the platform
  // converts every time with the current bias alike); outside one, the
  // platform converts each.
  void CopyEntryInfo(const INTERNET_CACHE_ENTRY_INFOA& Info);
  // Derives the filter word from the filter options.
  void UpdateFilter();

 private:
  const char* PatternText() const;
  // Reads the zone bias of the walk that begins.
  void ReadZoneBias();
  // The reused entry buffer, at least Size bytes; null for 0.
  LPINTERNET_CACHE_ENTRY_INFOA EntryBuffer(DWORD Size);

  TSearchPattern FSearchPattern = spAll;
  TOnEntryEvent FOnEntry;
  HANDLE FFindHandle = nullptr;
  bool FCancel = false;
  TFilterOptions FFilterOptions;
  DWORD FFilter = 0;
  TEntryInfo FEntryInfo;
  std::vector<char> FBuffer;  // the entry buffer, reused from entry to entry
  bool FBiasKnown = false;
  std::int64_t FBias = 0;  // local minus UTC, in FILETIME ticks
};

// True when the platform offers the URL-cache functions. Caches a success;
// while the answer is no, every call asks the platform again.
bool LoadWinInet();

// A UTC FILETIME as a local TDateTime; 0.0 when it cannot be converted or
// lies after the year 9999.
TDateTime FileTimeToDateTime(const FILETIME& FileTime);

namespace IECache_testing {
// Forgets a cached success of LoadWinInet, as at program start.
void ResetLibraryFound();
}  // namespace IECache_testing
