// The numbers and times of one URL-cache entry, the same in the stored
// record, the entry a provider delivers and the tests' in-memory entries.
#pragma once

#include <windows.h>

namespace urlcache {

struct EntryStats {
  DWORD cacheEntryType = 0;
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

}  // namespace urlcache
