// The seam behind the WinINet URL-cache calls: a service that walks the
// entries of the cache's containers. The calls in wininet_posix.cpp apply the
// buffer protocol and the entry-type filter on top of it. The disk service
// reads the WinINet files; tests and benchmarks install their own.
#pragma once

#include <windows.h>

#include <memory>
#include <string_view>

namespace urlcache {

// One entry as a service delivers it. The views stay valid until the cursor
// that filled it moves on or is destroyed. Empty local file, header and
// extension are delivered as absent (null pointers).
struct EntryView {
  std::string_view url;
  std::string_view localFile;  // full local path
  std::string_view header;
  std::string_view extension;
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

// A walk over the entries of one or more containers, in delivery order.
class Cursor {
 public:
  virtual ~Cursor() = default;
  // Fills `entry` with the entry at the current position; false at the end.
  virtual bool Current(EntryView& entry) = 0;
  // Moves to the next entry.
  virtual void Advance() = 0;
};

class Service {
 public:
  virtual ~Service() = default;
  // Starts a walk over the containers that `pattern` selects: "Cookie:",
  // "Visited:", "" (ordinary content) or null (all three in that order).
  // Returns null when the pattern selects no container.
  virtual std::unique_ptr<Cursor> Open(const char* pattern) = 0;
};

// The service behind the WinINet calls: the one installed with SetService,
// else the disk service.
Service& CurrentService();

// Installs `service` (not owned; it must outlive its use), or the disk
// service again for null.
void SetService(Service* service);

}  // namespace urlcache
