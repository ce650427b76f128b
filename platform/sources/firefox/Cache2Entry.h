// Parses one Firefox cache2 entry file: the body, then its metadata (hash,
// one hash per 256 KiB chunk, a fixed header, the key, NUL-separated
// elements), then a trailer holding the metadata's offset. All integers are
// big-endian.
#pragma once

#include <optional>
#include <string>

#include "platform/sources/BrowserRows.h"
#include "platform/sources/files/ReadOnlyFile.h"

namespace sources::firefox {

// Metadata larger than this is taken for damage.
inline constexpr std::uint64_t kMaxCache2Metadata = 4 << 20;

// The entry's response, or nothing (with `problem`) when the file is not an
// intact entry. Reads only the metadata, with bounded reads.
std::optional<CachedResponse> ParseCache2Entry(const ByteSource& file, std::string& problem);

// The URL of a cache2 key: the text after the ":" tag that ends its
// attributes ("O^partitionKey=...,:https://..." or ":https://..."); empty
// when the key has none.
std::string UrlOfCache2Key(const std::string& key);

}  // namespace sources::firefox
