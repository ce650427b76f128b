// One trace of a browser source, in the shape of a WinINet cache entry, so
// that the URL-cache stand-in can hand it on as it hands on its own entries.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace sources {

// WinINet's entry-type flags for the three containers.
inline constexpr std::uint32_t kNormalEntry = 0x00000001;
inline constexpr std::uint32_t kCookieEntry = 0x00100000;
inline constexpr std::uint32_t kHistoryEntry = 0x00200000;

// Times are FILETIME values: 100-ns intervals since 1601-01-01 UTC; 0 means
// unknown.
using FileTime = std::uint64_t;

inline constexpr std::uint64_t kUnixEpochAsFileTime = 116444736000000000ULL;

// Microseconds since 1970 (Firefox databases). Times before 1970 or past the
// FILETIME range give 0.
FileTime FileTimeFromUnixMicros(std::int64_t micros);
// Seconds since 1970 (Firefox cache2).
FileTime FileTimeFromUnixSeconds(std::int64_t seconds);
// Microseconds since 1601 (Chromium databases and cache).
FileTime FileTimeFrom1601Micros(std::int64_t micros);

struct SourceEntry {
  // "Visited: <label>@<url>", "Cookie:<label>@<host><path>", or the cached URL.
  std::string url;
  // Where the trace will be shown from: a path in the view folder. Empty for
  // history entries.
  std::string localFileName;
  std::uint32_t entryType = 0;
  std::uint32_t hitCount = 0;
  std::uint64_t size = 0;
  FileTime lastModified = 0;
  FileTime expire = 0;
  FileTime lastAccess = 0;
  FileTime lastSync = 0;
  // The response head (status line and headers, CRLF-separated) of a cached
  // file; empty otherwise.
  std::string headerInfo;
  // The cache entry file a cached file was read from; empty for history and
  // cookies, whose database is their source's (one path, not one per entry).
  std::string sourceFile;
  // Where the stored body sits in `sourceFile` (cached files only).
  std::uint64_t bodyOffset = 0;
};

// The three containers of one source, each in the order the source reads
// them: database rows by row id, cache files by name.
struct SourceEntries {
  std::vector<SourceEntry> cookies;
  std::vector<SourceEntry> history;
  std::vector<SourceEntry> content;
};

}  // namespace sources
