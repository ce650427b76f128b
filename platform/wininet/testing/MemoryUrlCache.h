// A URL-cache service held in memory: for tests and benchmarks that drive
// TIECache and TCacheAnalyzer with exact control over what the WinINet calls
// deliver, without files. Install it with urlcache::SetService (or
// ScopedService); it must outlive its use.
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wininet/UrlCacheService.h"

namespace fixture {

struct MemoryEntry {
  std::string url;
  std::string localFile;
  std::string header;
  std::string extension;
  DWORD cacheEntryType = 0x1;
  DWORD useCount = 0;
  DWORD hitRate = 0;
  DWORD sizeLow = 0;
  DWORD sizeHigh = 0;
  DWORD exemptDelta = 0;
  FILETIME lastModified{};
  FILETIME expire{};
  FILETIME lastAccess{};
  FILETIME lastSync{};
};

class MemoryUrlCache : public urlcache::Service {
 public:
  enum Container { kCookies, kHistory, kContent };

  // The containers' entries, delivered in this order.
  std::vector<MemoryEntry> cookies;
  std::vector<MemoryEntry> history;
  std::vector<MemoryEntry> content;

  // The patterns that walks were opened with, in order; null as nullopt.
  std::vector<std::optional<std::string>> opened;

  // Appends a copy of `entry` (its texts included) to `container`.
  void Add(Container container, const urlcache::EntryView& entry);
  // An entry with only a URL and a local file, typed as its container's
  // entries are (NORMAL, COOKIE or URLHISTORY_CACHE_ENTRY).
  void Add(Container container, std::string_view url, std::string_view localFile);

  std::vector<MemoryEntry>& Entries(Container container);

  std::unique_ptr<urlcache::Cursor> Open(const char* pattern) override;
};

// Installs a service for the life of the object, then the disk service again.
class ScopedService {
 public:
  explicit ScopedService(urlcache::Service& service) { urlcache::SetService(&service); }
  ~ScopedService() { urlcache::SetService(nullptr); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;
};

}  // namespace fixture
