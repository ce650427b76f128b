// What the readers take from a browser's databases and cache files, before
// it is mapped to entries. Cookie rows never hold a value: it is not read.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/sources/SourceEntry.h"

namespace sources {

struct HistoryRow {
  std::int64_t id = 0;
  std::string url;
  std::uint32_t visitCount = 0;
  FileTime lastVisit = 0;
};

struct CookieRow {
  std::int64_t id = 0;
  std::string host;  // as stored: a leading "." marks a domain cookie
  std::string path;
  std::string name;
  FileTime expiry = 0;  // 0: a session cookie
  FileTime creation = 0;
  FileTime lastAccess = 0;
  bool secure = false;
  bool httpOnly = false;
  std::optional<int> sameSite;  // the store's raw value, where it keeps one
  int port = -1;                // the port the cookie was set from; -1 unknown
};

// One cached response as a cache entry file holds it.
struct CachedResponse {
  std::string key;  // as stored, with any partition prefix
  std::string url;  // the key's URL
  // Status line and headers, each line ended by CRLF.
  std::string responseHead;
  std::uint64_t bodyOffset = 0;
  std::uint64_t bodyLength = 0;  // the stored body, as sent (encoding not undone)
  std::uint32_t fetchCount = 0;
  FileTime lastFetched = 0;
  FileTime lastModified = 0;
  FileTime expire = 0;
  std::string altDataType;  // set when the file also holds alternative data
};

}  // namespace sources
