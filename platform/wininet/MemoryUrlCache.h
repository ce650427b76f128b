// A URL-cache service held in memory: for tests and benchmarks that need
// exact control over what the WinINet calls deliver, without files.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/wininet/UrlCacheService.h"

namespace urlcache {

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

class MemoryUrlCache : public Service {
 public:
  std::vector<MemoryEntry> cookies;
  std::vector<MemoryEntry> history;
  std::vector<MemoryEntry> content;

  // The patterns that walks were opened with, in order; null as nullopt.
  std::vector<std::optional<std::string>> opened;

  std::unique_ptr<Cursor> Open(const char* pattern) override;
};

// Installs a service for the life of the object, then the disk service again.
class ScopedService {
 public:
  explicit ScopedService(Service& service) { SetService(&service); }
  ~ScopedService() { SetService(nullptr); }
  ScopedService(const ScopedService&) = delete;
  ScopedService& operator=(const ScopedService&) = delete;
};

}  // namespace urlcache
