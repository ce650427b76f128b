// The provider of the WinINet containers on disk: those of a Windows user
// folder or Wine prefix, or of the current user's default location.
//
// Strictly read-only: files are opened read-only without locks and never
// mapped (another program may truncate them); each container is read into a
// snapshot in memory. A snapshot is reused while the file's identity, size and
// times stay the same, so the size probe and the real call of one step read
// the file once.
#pragma once

#include <string>

#include "platform/wininet/UrlCacheService.h"

namespace urlcache {

class DiskUrlCache : public Provider {
 public:
  // `profile`: a Windows user folder or a Wine prefix; empty for $WINEPREFIX
  // (default ~/.wine). The containers are located at every Open.
  explicit DiskUrlCache(std::string profile) : profile_(std::move(profile)) {}

  std::unique_ptr<Cursor> Open(Container container) override;

 private:
  std::string profile_;
};

// Drops every cached snapshot: once a scan is done (its copies of the files
// are not needed again), or in tests that rewrite a file within one second
// of reading it. Walks still open keep theirs.
void FlushSnapshots();

}  // namespace urlcache
