#include "cache/IECache.h"

#include "platform/common/Calendar.h"

namespace {

// The availability flag of the unit: true once the platform check passed.
bool WinInetFound = false;

constexpr DWORD kFilterFlags[] = {
    0x00000001,  // NORMAL_ENTRY
    0x00000002,  // STABLE_ENTRY
    0x00000004,  // STICKY_ENTRY
    0x00100000,  // COOKIE_ENTRY
    0x00200000,  // URLHISTORY_ENTRY
    0x00000010,  // TRACK_OFFLINE_ENTRY
    0x00000020,  // TRACK_ONLINE_ENTRY
    0x00010000,  // SPARSE_ENTRY
    0x00020000,  // OCX_ENTRY
};

const char* const kRequiredFunctions[] = {
    "FindFirstUrlCacheGroup",     "FindNextUrlCacheGroup",     "GetUrlCacheGroupAttributeA",
    "SetUrlCacheGroupAttributeA", "FindFirstUrlCacheEntryExA",
};

constexpr std::int32_t kNoPlatform = 2;

constexpr std::uint64_t kTicksPerDay = 864'000'000'000;
// 1899-12-30, day 0 of a TDateTime, and 9999-12-31, its last convertible
// day, counted from 1601-01-01 (day 0 of a FILETIME).
constexpr std::int64_t kDateTimeEpoch =
    calendar::DaysFromCivil(1899, 12, 30) + calendar::kDaysFrom1601To1970;
constexpr std::int64_t kLastDay =
    calendar::DaysFromCivil(9999, 12, 31) + calendar::kDaysFrom1601To1970;
// A UTC time in the middle of the FILETIME range, far from both ends for any
// zone bias: converting it tells the bias.
constexpr std::uint64_t kBiasProbe = 1ull << 62;

std::uint64_t TicksOf(const FILETIME& FileTime) {
  return (std::uint64_t(FileTime.dwHighDateTime) << 32) | FileTime.dwLowDateTime;
}

// A local FILETIME as a TDateTime by plain arithmetic; 0.0 past the year
// 9999 or past the range the platform converts (2^63 ticks).
TDateTime LocalTicksToDateTime(std::uint64_t Ticks) {
  if (Ticks >= 0x8000000000000000ULL) return 0.0;
  const std::int64_t day = static_cast<std::int64_t>(Ticks / kTicksPerDay);
  if (day > kLastDay) return 0.0;
  const double days = static_cast<double>(day - kDateTimeEpoch);
  // Milliseconds of the day, exact in a double, as the time of day.
  const double fraction = static_cast<double>((Ticks % kTicksPerDay) / 10'000) / 86400000.0;
  return days < 0 ? days - fraction : days + fraction;
}

// A UTC FILETIME as a local TDateTime with a known bias (local minus UTC, in
// ticks); 0.0 where the local time would leave the FILETIME range, as the
// platform's conversion refuses it.
TDateTime UtcTicksToDateTime(std::uint64_t Utc, std::int64_t Bias) {
  const std::uint64_t local = Utc + static_cast<std::uint64_t>(Bias);
  if ((Bias < 0 && Utc < static_cast<std::uint64_t>(-Bias)) || (Bias > 0 && local < Utc))
    return 0.0;
  return LocalTicksToDateTime(local);
}

// Copies a platform text into a field, reusing the field's buffer: the
// record is refilled for every entry of a walk.
void AssignText(std::string& Field, const char* Text) {
  if (Text)
    Field.assign(Text);
  else
    Field.clear();
}

// The unit's initialization: the platform check runs once at program start.
const bool InitialCheck = LoadWinInet();

}  // namespace

namespace {

// The platform check itself, apart from the cached answer that every
// enumeration step asks for.
[[gnu::noinline]] bool CheckWinInet() {
  bool found = false;
  try {
    HMODULE library = LoadLibraryA("wininet.dll");
    if (library) {
      found = true;
      for (const char* name : kRequiredFunctions) {
        if (!GetProcAddress(library, name)) {
          found = false;
          break;
        }
      }
    }
  } catch (...) {
    found = false;
  }
  WinInetFound = found;
  return found;
}

}  // namespace

bool LoadWinInet() {
  return WinInetFound || CheckWinInet();
}

TDateTime FileTimeToDateTime(const FILETIME& FileTime) {
  FILETIME local{};
  if (!FileTimeToLocalFileTime(&FileTime, &local)) return 0.0;
  return LocalTicksToDateTime(TicksOf(local));
}

namespace IECache_testing {
void ResetLibraryFound() {
  WinInetFound = false;
}
}  // namespace IECache_testing

TIECache::TIECache() {
  (void)InitialCheck;
  ClearEntryInfo();
  FFilterOptions = {NORMAL_ENTRY,     STICKY_ENTRY,        COOKIE_ENTRY,
                    URLHISTORY_ENTRY, TRACK_OFFLINE_ENTRY, TRACK_ONLINE_ENTRY};
}

void TIECache::SetFilterOptions(TFilterOptions Value) {
  FFilterOptions = Value;
  UpdateFilter();
}

void TIECache::UpdateFilter() {
  FFilter = 0;
  if (FFilterOptions.Empty()) return;
  for (int ordinal = NORMAL_ENTRY; ordinal <= OCX_ENTRY; ++ordinal)
    if (FFilterOptions.Contains(static_cast<TFilterOption>(ordinal)))
      FFilter += kFilterFlags[ordinal];
}

bool TIECache::LibraryFound() {
  return LoadWinInet();
}

const char* TIECache::PatternText() const {
  switch (FSearchPattern) {
    case spCookies:
      return "Cookie:";
    case spHistory:
      return "Visited:";
    case spUrl:
      return "";
    case spAll:
      break;
  }
  return nullptr;
}

void TIECache::ClearEntryInfo() {
  if (!LoadWinInet()) return;
  FEntryInfo = TEntryInfo{};
}

void TIECache::CopyEntryInfo(const INTERNET_CACHE_ENTRY_INFOA& Info) {
  if (!LoadWinInet()) return;
  AssignText(FEntryInfo.SourceUrlName, Info.lpszSourceUrlName);
  AssignText(FEntryInfo.LocalFileName, Info.lpszLocalFileName);
  AssignText(FEntryInfo.FileExtension, Info.lpszFileExtension);
  FEntryInfo.CacheEntryType = Info.CacheEntryType;
  FEntryInfo.UseCount = Info.dwUseCount;
  FEntryInfo.HitRate = Info.dwHitRate;
  FEntryInfo.ExemptDelta = Info.dwExemptDelta;
  FEntryInfo.SetTimes(Info.LastModifiedTime, Info.ExpireTime, Info.LastAccessTime,
                      Info.LastSyncTime, FBiasKnown ? &FBias : nullptr);
  FEntryInfo.Size = Info.dwSizeLow;
  AssignText(FEntryInfo.HeaderInfo, Info.lpHeaderInfo);
}

void TIECache::ReadZoneBias() {
  const FILETIME probe{static_cast<DWORD>(kBiasProbe), static_cast<DWORD>(kBiasProbe >> 32)};
  FILETIME local{};
  FBiasKnown = FileTimeToLocalFileTime(&probe, &local);
  if (FBiasKnown) FBias = static_cast<std::int64_t>(TicksOf(local) - kBiasProbe);
}

void TEntryInfo::SetTimes(const FILETIME& LastModified, const FILETIME& Expire,
                          const FILETIME& LastAccess, const FILETIME& LastSync,
                          const std::int64_t* Bias) {
  FLastModified = LastModified;
  FExpire = Expire;
  FLastAccess = LastAccess;
  FLastSync = LastSync;
  FConversion = Bias ? TConversion::ByBias : TConversion::ByPlatform;
  FBias = Bias ? *Bias : 0;
}

TDateTime TEntryInfo::Converted(const FILETIME& Time) const {
  switch (FConversion) {
    case TConversion::ByBias:
      return UtcTicksToDateTime(TicksOf(Time), FBias);
    case TConversion::ByPlatform:
      return FileTimeToDateTime(Time);
    case TConversion::None:
      break;
  }
  return 0.0;
}

LPINTERNET_CACHE_ENTRY_INFOA TIECache::EntryBuffer(DWORD Size) {
  if (!Size) return nullptr;
  if (FBuffer.size() < Size) FBuffer.resize(Size);
  return reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(FBuffer.data());
}

std::int32_t TIECache::FindFirstEntry(std::int64_t GroupID) {
  if (!LoadWinInet()) return kNoPlatform;
  FFindHandle = nullptr;
  ReadZoneBias();
  DWORD size = 0;
  FindFirstUrlCacheEntryExA(PatternText(), 0, FFilter, GroupID, nullptr, &size, nullptr, nullptr,
                            nullptr);
  auto* info = EntryBuffer(size);
  FFindHandle = FindFirstUrlCacheEntryExA(PatternText(), 0, FFilter, GroupID, info, &size, nullptr,
                                          nullptr, nullptr);
  if (!FFindHandle) return static_cast<std::int32_t>(GetLastError());
  CopyEntryInfo(*info);
  return 0;
}

void TIECache::PrepareEntries(std::int64_t GroupID) {
  if (!LoadWinInet()) return;
  DWORD size = 0;
  FindFirstUrlCacheEntryExA(PatternText(), 0, FFilter, GroupID, nullptr, &size, nullptr, nullptr,
                            nullptr);
}

std::int32_t TIECache::FindNextEntry() {
  if (!LoadWinInet()) return kNoPlatform;
  DWORD size = 0;
  FindNextUrlCacheEntryExA(FFindHandle, nullptr, &size, nullptr, nullptr, nullptr);
  auto* info = EntryBuffer(size);
  if (!FindNextUrlCacheEntryExA(FFindHandle, info, &size, nullptr, nullptr, nullptr))
    return static_cast<std::int32_t>(GetLastError());
  CopyEntryInfo(*info);
  return 0;
}

void TIECache::RetrieveEntries(std::int64_t GroupID) {
  if (!LoadWinInet()) return;
  FCancel = false;
  // The enumeration is closed on every way out, an exception from OnEntry
  // included.
  struct Closer {
    HANDLE& handle;
    bool& biasKnown;
    ~Closer() {
      FindCloseUrlCache(handle);
      handle = nullptr;
      biasKnown = false;
    }
  } closer{FFindHandle, FBiasKnown};
  auto raise = [this] {
    if (!FOnEntry) return;
    TOnEntryEvent handler = FOnEntry;  // the handler may replace OnEntry
    handler(*this, FCancel);
  };
  std::int32_t code = FindFirstEntry(GroupID);
  if (code == 0) raise();
  while (code == 0 && !FCancel) {
    code = FindNextEntry();
    if (code == 0) raise();
  }
}
