// The body a cache entry file stores, read with bounded reads: Firefox keeps
// it at [0, off) of the entry file (only the first <length> bytes when the
// entry also holds alternative data), Chromium as stream 1 of the `_0` file.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/sources/discovery/BrowserDiscovery.h"
#include "platform/sources/files/ReadOnlyFile.h"

namespace sources::view {

// Stored bodies larger than this are not read.
inline constexpr std::uint64_t kMaxStoredBody = std::uint64_t{256} << 20;

struct StoredBody {
  std::string url;
  std::string responseHead;
  std::string bytes;  // as the server sent them: Content-Encoding not undone
};

// The entry in `file` (a cache entry of `layout`) with its body; nothing,
// with `problem`, when the file is not an intact entry, its body would reach
// past the end of the file, or the body is larger than `limit`.
std::optional<StoredBody> ReadStoredBody(const ByteSource& file, BrowserKind layout,
                                         std::uint64_t limit, std::string& problem);

}  // namespace sources::view
