#include "cache/IECache.h"

#include <memory>

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

bool TryEncodeDate(int Year, int Month, int Day, double& Days) {
  // Most times of a walk fall on a few days.
  thread_local int lastYear = 0, lastMonth = 0, lastDay = 0;
  thread_local double lastDays = 0.0;
  if (Year == lastYear && Month == lastMonth && Day == lastDay) {
    Days = lastDays;
    return true;
  }
  if (Year < 1 || Year > 9999 || Month < 1 || Month > 12 || Day < 1 ||
      static_cast<unsigned>(Day) > calendar::DaysInMonth(Year, static_cast<unsigned>(Month)))
    return false;
  constexpr std::int64_t kDateTimeEpoch = calendar::DaysFromCivil(1899, 12, 30);
  Days = static_cast<double>(
      calendar::DaysFromCivil(Year, static_cast<unsigned>(Month), static_cast<unsigned>(Day)) -
      kDateTimeEpoch);
  lastYear = Year;
  lastMonth = Month;
  lastDay = Day;
  lastDays = Days;
  return true;
}

bool TryEncodeTime(int Hour, int Min, int Sec, int MSec, double& Fraction) {
  if (Hour >= 24 || Min >= 60 || Sec >= 60 || MSec >= 1000) return false;
  Fraction = (Hour * 3600000.0 + Min * 60000.0 + Sec * 1000.0 + MSec) / 86400000.0;
  return true;
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

bool LoadWinInet() {
  if (WinInetFound) return true;
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

TDateTime FileTimeToDateTime(const FILETIME& FileTime) {
  FILETIME local{};
  SYSTEMTIME st{};
  if (!FileTimeToLocalFileTime(&FileTime, &local)) return 0.0;
  if (!FileTimeToSystemTime(&local, &st)) return 0.0;
  double days = 0.0, fraction = 0.0;
  if (!TryEncodeDate(st.wYear, st.wMonth, st.wDay, days) ||
      !TryEncodeTime(st.wHour, st.wMinute, st.wSecond, st.wMilliseconds, fraction))
    return 0.0;
  return days < 0 ? days - fraction : days + fraction;
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
  FEntryInfo.LastModifiedTime = FileTimeToDateTime(Info.LastModifiedTime);
  FEntryInfo.ExpireTime = FileTimeToDateTime(Info.ExpireTime);
  FEntryInfo.LastAccessTime = FileTimeToDateTime(Info.LastAccessTime);
  FEntryInfo.LastSyncTime = FileTimeToDateTime(Info.LastSyncTime);
  FEntryInfo.Size = Info.dwSizeLow;
  AssignText(FEntryInfo.HeaderInfo, Info.lpHeaderInfo);
}

std::int32_t TIECache::FindFirstEntry(std::int64_t GroupID) {
  if (!LoadWinInet()) return kNoPlatform;
  FFindHandle = nullptr;
  DWORD size = 0;
  FindFirstUrlCacheEntryExA(PatternText(), 0, FFilter, GroupID, nullptr, &size, nullptr, nullptr,
                            nullptr);
  std::unique_ptr<char[]> buffer(size ? new char[size] : nullptr);
  auto* info = reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.get());
  FFindHandle = FindFirstUrlCacheEntryExA(PatternText(), 0, FFilter, GroupID, info, &size, nullptr,
                                          nullptr, nullptr);
  if (!FFindHandle) return static_cast<std::int32_t>(GetLastError());
  CopyEntryInfo(*info);
  return 0;
}

std::int32_t TIECache::FindNextEntry() {
  if (!LoadWinInet()) return kNoPlatform;
  DWORD size = 0;
  FindNextUrlCacheEntryExA(FFindHandle, nullptr, &size, nullptr, nullptr, nullptr);
  std::unique_ptr<char[]> buffer(size ? new char[size] : nullptr);
  auto* info = reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.get());
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
    ~Closer() {
      FindCloseUrlCache(handle);
      handle = nullptr;
    }
  } closer{FFindHandle};
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
