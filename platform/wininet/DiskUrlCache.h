// The URL-cache service that reads the WinINet containers of the current
// user (or of the profile set with SetUrlCacheProfile) from disk.
//
// Strictly read-only: files are opened read-only without locks and never
// mapped (another program may truncate them); each container is read into a
// snapshot in memory. A snapshot is reused while the file's identity, size and
// times stay the same, so the size probe and the real call of one step read
// the file once.
#pragma once

#include "platform/wininet/UrlCacheService.h"

namespace urlcache {

class DiskUrlCache : public Service {
 public:
  std::unique_ptr<Cursor> Open(const char* pattern) override;
};

// Drops every cached snapshot (tests that rewrite a file within one second
// of reading it).
void FlushSnapshots();

}  // namespace urlcache
