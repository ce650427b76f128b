// The WinINet URL-cache calls over the service seam: the buffer protocol
// (probe for the size, then fill one record with its texts packed after it),
// the entry-type filter and the enumeration handles.
#include <wininet.h>

#include <strings.h>

#include <atomic>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <mutex>
#include <new>
#include <unordered_set>
#include <vector>

#include "platform/wininet/UrlCacheService.h"

namespace {

struct Enumeration {
  std::unique_ptr<urlcache::Cursor> cursor;
  DWORD filter = 0;
  // The entry that the size probe found, answered again by the real call
  // without asking the cursor once more; valid while `held`.
  urlcache::EntryView entry;
  bool held = false;
};

// Live handles, so that a stale or foreign handle is refused, not followed.
class HandleTable {
 public:
  HANDLE Add(std::unique_ptr<Enumeration> enumeration) {
    std::lock_guard<std::mutex> lock(mutex_);
    Enumeration* raw = enumeration.release();
    live_.insert(raw);
    return raw;
  }
  // A walk asks twice an entry with the same handle: the handle found last
  // by this thread is taken again without the lock while no handle has been
  // closed since (a closed handle's address may come back for a new one).
  Enumeration* Find(HANDLE handle) {
    auto* enumeration = static_cast<Enumeration*>(handle);
    thread_local const Enumeration* lastFound = nullptr;
    thread_local std::uint64_t lastGeneration = 0;
    const std::uint64_t generation = closed_.load(std::memory_order_acquire);
    if (enumeration && enumeration == lastFound && generation == lastGeneration) return enumeration;
    std::lock_guard<std::mutex> lock(mutex_);
    if (!live_.count(enumeration)) return nullptr;
    lastFound = enumeration;
    lastGeneration = closed_.load(std::memory_order_relaxed);
    return enumeration;
  }
  bool Remove(HANDLE handle) {
    std::unique_ptr<Enumeration> owned;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto* enumeration = static_cast<Enumeration*>(handle);
      if (!live_.erase(enumeration)) return false;
      closed_.fetch_add(1, std::memory_order_acq_rel);
      owned.reset(enumeration);
    }
    return true;
  }

 private:
  std::mutex mutex_;
  std::unordered_set<Enumeration*> live_;
  std::atomic<std::uint64_t> closed_{1};  // handles closed, plus one: never 0
};

HandleTable& Handles() {
  static HandleTable table;
  return table;
}

// The containers a search pattern names: null walks all three; the texts
// are matched without regard to case. Empty for a pattern naming none.
std::vector<urlcache::Container> ContainersOf(LPCSTR pattern) {
  using urlcache::Container;
  if (!pattern) return {std::begin(urlcache::kAllContainers), std::end(urlcache::kAllContainers)};
  if (*pattern == '\0') return {Container::kContent};
  if (strcasecmp(pattern, "Cookie:") == 0) return {Container::kCookies};
  if (strcasecmp(pattern, "Visited:") == 0) return {Container::kHistory};
  return {};
}

// One walk over the containers that `pattern` names, in their order.
std::unique_ptr<urlcache::Cursor> OpenPattern(LPCSTR pattern) {
  std::vector<std::unique_ptr<urlcache::Cursor>> cursors;
  for (urlcache::Container container : ContainersOf(pattern))
    cursors.push_back(urlcache::CurrentProvider().Open(container));
  return urlcache::ChainCursors(std::move(cursors));
}

// Moves the cursor to the next entry that the filter lets through.
bool NextMatching(urlcache::Cursor& cursor, DWORD filter, urlcache::EntryView& entry) {
  while (cursor.Current(entry)) {
    if (entry.cacheEntryType & filter) return true;
    cursor.Advance();
  }
  return false;
}

DWORD TextSize(std::string_view text) {
  return text.empty() ? 0 : DWORD(text.size() + 1);
}

DWORD NeededSize(const urlcache::EntryView& e) {
  return DWORD(sizeof(INTERNET_CACHE_ENTRY_INFOA)) + DWORD(e.url.size() + 1) +
         TextSize(e.localFile) + TextSize(e.header) + TextSize(e.extension);
}

// Copies `text` with its terminator to `cursor` and returns where it went;
// null for an empty text (the service's "none").
LPSTR Pack(std::string_view text, char*& cursor, bool keepEmpty = false) {
  if (text.empty() && !keepEmpty) return nullptr;
  LPSTR start = cursor;
  std::memcpy(cursor, text.data(), text.size());
  cursor[text.size()] = '\0';
  cursor += text.size() + 1;
  return start;
}

void Fill(const urlcache::EntryView& e, LPINTERNET_CACHE_ENTRY_INFOA buffer) {
  auto* info = new (buffer) INTERNET_CACHE_ENTRY_INFOA{};
  info->dwStructSize = sizeof(INTERNET_CACHE_ENTRY_INFOA);
  char* texts = reinterpret_cast<char*>(info + 1);
  info->lpszSourceUrlName = Pack(e.url, texts, true);
  info->lpszLocalFileName = Pack(e.localFile, texts);
  info->lpHeaderInfo = Pack(e.header, texts);
  info->dwHeaderInfoSize = DWORD(e.header.size());
  info->lpszFileExtension = Pack(e.extension, texts);
  info->CacheEntryType = e.cacheEntryType;
  info->dwUseCount = e.useCount;
  info->dwHitRate = e.hitRate;
  info->dwSizeLow = e.sizeLow;
  info->dwSizeHigh = e.sizeHigh;
  info->LastModifiedTime = e.lastModified;
  info->ExpireTime = e.expire;
  info->LastAccessTime = e.lastAccess;
  info->LastSyncTime = e.lastSync;
  info->dwExemptDelta = e.exemptDelta;
}

// The buffer half of both calls: fills the buffer when it is large enough,
// else reports the size needed. True when filled.
bool Deliver(const urlcache::EntryView& entry, LPINTERNET_CACHE_ENTRY_INFOA buffer, LPDWORD size) {
  const DWORD needed = NeededSize(entry);
  if (!buffer || *size < needed) {
    *size = needed;
    SetLastError(ERROR_INSUFFICIENT_BUFFER);
    return false;
  }
  Fill(entry, buffer);
  *size = needed;
  return true;
}

}  // namespace

HANDLE WINAPI FindFirstUrlCacheEntryExA(LPCSTR lpszUrlSearchPattern, DWORD /*dwFlags*/,
                                        DWORD dwFilter, GROUPID /*GroupId*/,
                                        LPINTERNET_CACHE_ENTRY_INFOA lpFirstCacheEntryInfo,
                                        LPDWORD lpcbEntryInfo, LPVOID, LPDWORD, LPVOID) {
  if (!lpcbEntryInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return nullptr;
  }
  auto enumeration = std::make_unique<Enumeration>();
  enumeration->filter = dwFilter;
  enumeration->cursor = OpenPattern(lpszUrlSearchPattern);
  urlcache::EntryView entry;
  if (!enumeration->cursor || !NextMatching(*enumeration->cursor, dwFilter, entry)) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return nullptr;
  }
  if (!Deliver(entry, lpFirstCacheEntryInfo, lpcbEntryInfo)) return nullptr;
  enumeration->cursor->Advance();
  return Handles().Add(std::move(enumeration));
}

BOOL WINAPI FindNextUrlCacheEntryExA(HANDLE hEnumHandle,
                                     LPINTERNET_CACHE_ENTRY_INFOA lpNextCacheEntryInfo,
                                     LPDWORD lpcbEntryInfo, LPVOID, LPDWORD, LPVOID) {
  Enumeration* enumeration = Handles().Find(hEnumHandle);
  if (!enumeration) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  if (!lpcbEntryInfo) {
    SetLastError(ERROR_INVALID_PARAMETER);
    return FALSE;
  }
  if (!enumeration->held &&
      !NextMatching(*enumeration->cursor, enumeration->filter, enumeration->entry)) {
    SetLastError(ERROR_NO_MORE_ITEMS);
    return FALSE;
  }
  enumeration->held = true;
  if (!Deliver(enumeration->entry, lpNextCacheEntryInfo, lpcbEntryInfo)) return FALSE;
  enumeration->held = false;
  enumeration->cursor->Advance();
  return TRUE;
}

BOOL WINAPI FindCloseUrlCache(HANDLE hEnumHandle) {
  if (!hEnumHandle || !Handles().Remove(hEnumHandle)) {
    SetLastError(ERROR_INVALID_HANDLE);
    return FALSE;
  }
  return TRUE;
}

HANDLE WINAPI FindFirstUrlCacheGroup(DWORD, DWORD, LPVOID, DWORD, GROUPID*, LPVOID) {
  SetLastError(ERROR_NO_MORE_ITEMS);
  return nullptr;
}

BOOL WINAPI FindNextUrlCacheGroup(HANDLE, GROUPID*, LPVOID) {
  SetLastError(ERROR_NO_MORE_ITEMS);
  return FALSE;
}

BOOL WINAPI GetUrlCacheGroupAttributeA(GROUPID, DWORD, DWORD, LPVOID, LPDWORD, LPVOID) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}

BOOL WINAPI SetUrlCacheGroupAttributeA(GROUPID, DWORD, DWORD, LPVOID, LPVOID) {
  SetLastError(ERROR_FILE_NOT_FOUND);
  return FALSE;
}
