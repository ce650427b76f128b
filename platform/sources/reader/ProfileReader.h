// Reads one browser profile found by discovery into the three containers of
// entries (cookies, history, content), and keeps its cookies, value-free, for
// the cookie sheets. Absent files are skipped silently; files that are there
// but cannot be read, and cache layouts we do not read, are named in
// `problems`.
#pragma once

#include <string>
#include <vector>

#include "platform/sources/BrowserRows.h"
#include "platform/sources/SourceEntry.h"
#include "platform/sources/discovery/BrowserDiscovery.h"
#include "platform/sources/naming/MimeGlobs.h"
#include "platform/sources/sqlite/SqliteSnapshot.h"

namespace sources {

struct ReadContext {
  // Local file names of cached files and cookie sheets point below this.
  std::string viewFolder;
  const MimeGlobs* globs = nullptr;
  sqlite::SnapshotOptions snapshot;
};

struct ProfileRead {
  SourceEntries entries;
  std::vector<CookieRow> cookies;  // by row id, never a value
  std::vector<std::string> problems;
};

ProfileRead ReadProfile(const BrowserProfile& profile, const ReadContext& context);

// The cookie entries of `rows` (in row-id order): one per host and path (and
// port, where the store recorded one other than 80 or 443), in order of first
// appearance; sheets numbered per host in path order.
std::vector<SourceEntry> CookieEntries(const std::vector<CookieRow>& rows, const std::string& label,
                                       const std::string& viewFolder);

// The history entries of `rows`, in their order.
std::vector<SourceEntry> HistoryEntries(std::vector<HistoryRow> rows, const std::string& label);

// The content entry of a cached response read from `file`, whose name
// relative to the cache folder is `relative`; false for a URL that is not
// http or https.
bool ContentEntry(CachedResponse response, std::string file, const std::string& relative,
                  const std::string& label, const ReadContext& context, SourceEntry& entry);

}  // namespace sources
