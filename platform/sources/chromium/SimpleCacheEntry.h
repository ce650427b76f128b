// Parses one entry file (<hash>_0) of Chromium's simple cache: a 24-byte
// header and the key, then stream 1 (the body) and its end record, then
// stream 0 (the serialised response info), an optional SHA-256 of the key and
// a final end record. All integers are little-endian.
#pragma once

#include <optional>
#include <string>

#include "platform/sources/BrowserRows.h"
#include "platform/sources/files/ReadOnlyFile.h"

namespace sources::chromium {

// Keys and response infos larger than this are taken for damage.
inline constexpr std::uint32_t kMaxSimpleKey = 64 * 1024;
inline constexpr std::uint32_t kMaxResponseInfo = 1 << 20;

// The entry's response, or nothing (with `problem`) when the file is not an
// intact entry. Reads the header, the key, the end records and stream 0 only.
std::optional<CachedResponse> ParseSimpleCacheEntry(const ByteSource& file, std::string& problem);

// The URL of a cache key: "1/0/_dk_<top-frame site> <frame site> <url>" (and
// "_dk_s_..."), "<n>/<n>/<url>", or the bare URL of older versions.
std::string UrlOfSimpleCacheKey(const std::string& key);

// The status line and headers of a serialised response info, CRLF-separated,
// and the request and response times; false when no header block is found.
bool ParseResponseInfo(const std::string& info, std::string& head, FileTime& requestTime,
                       FileTime& responseTime);

}  // namespace sources::chromium
