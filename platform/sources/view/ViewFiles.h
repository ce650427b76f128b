// Writes browser traces into the view folder when they are first needed: a
// cached file's decoded body, or a cookie sheet. Files are made under a
// temporary name with O_EXCL | O_NOFOLLOW in the 0700 folder and renamed into
// place; a link standing at a name is refused, never followed. The browser's
// files are only read.
//
// A cache file that changed since it was scanned or last written out is read
// again: the file name is the hash of the entry's key, so a file that still
// holds an intact entry of the same URL is that trace's newer version. A file
// that is gone, damaged or now holds another URL makes the trace missing,
// and any copy written earlier is removed, so nothing stale is served.
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <variant>
#include <vector>

#include "platform/sources/BrowserRows.h"
#include "platform/sources/SourceEntry.h"
#include "platform/sources/discovery/BrowserDiscovery.h"
#include "platform/sources/files/ReadOnlyFile.h"
#include "platform/sources/view/ContentDecoding.h"

namespace sources::view {

class ViewFiles {
 public:
  // `viewFolder` is the folder every registered name lies in.
  explicit ViewFiles(std::string viewFolder, DecodeLimits limits = {});
  ViewFiles(const ViewFiles&) = delete;
  ViewFiles& operator=(const ViewFiles&) = delete;

  // Registers a cached file of a `layout` cache. When another trace has
  // claimed the entry's local file name, the name moves to the next free
  // "[N]", as WinINet numbers its own files. False (nothing registered) when
  // the name does not lie in the view folder as plain, safe components.
  bool AddCachedFile(SourceEntry& entry, BrowserKind layout);
  // Registers the cookie sheets of one source's cookie entries (of `label`),
  // each with the rows of `rows` that make that entry; names move as above.
  // False when any entry's name was not registered.
  bool AddCookieSheets(std::vector<SourceEntry>& entries, const std::vector<CookieRow>& rows,
                       const std::string& label);

  // Whether `path` is a registered trace (other paths are not ours).
  bool Owns(const std::string& path) const;
  // The size of the cache file that Materialise(path) would read now; 0 when
  // the copy written earlier is current, for a cookie sheet (written from
  // memory) and for a path that is not registered.
  std::uint64_t PendingBytes(const std::string& path) const;

  // Makes sure the file at `path` holds its trace's current content, writing
  // it if needed. False when the trace is to behave as a missing file: not
  // registered, the cache file gone, changed into something else or damaged,
  // the body undecodable or over the limits, or the file not writable there.
  // Safe to call from several threads; calls are served one at a time.
  bool Materialise(const std::string& path);

 private:
  struct CachedFile {
    std::string url;
    std::string sourceFile;
    BrowserKind layout = BrowserKind::kFirefox;
    bool written = false;
    FileIdentity writtenFrom;  // the cache file's identity when written
  };
  struct CookieSheet {
    std::string entryUrl;
    std::vector<CookieRow> cookies;
    bool written = false;
  };
  using Trace = std::variant<CachedFile, CookieSheet>;

  bool Claim(std::string& path, Trace trace);
  // The copy of `file` at `path` was written from the cache file as it is now.
  static bool IsCurrent(const std::string& path, const CachedFile& file);
  bool MaterialiseCachedFile(const std::string& path, CachedFile& file);
  bool MaterialiseCookieSheet(const std::string& path, CookieSheet& sheet);
  // The decoded body of the cache file as it is now; false when missing.
  bool CurrentBody(CachedFile& file, FileIdentity& identity, std::string& body) const;

  std::string folder_;
  DecodeLimits limits_;
  std::map<std::string, Trace> traces_;
  mutable std::mutex mutex_;
};

// The components of `path` below `folder` when each is a plain, safe name
// (not empty, ".", "..", no leading ".", no control byte, at most 255
// bytes); empty when `path` is not such a path.
std::vector<std::string> SafeComponentsBelow(const std::string& folder, const std::string& path);

// Writes `bytes` as `components` below `folder`: the folders on the way made
// 0700, the file made under a temporary name with O_EXCL | O_NOFOLLOW and
// renamed over an earlier regular file of ours. Refuses (false) a link or
// anything but a regular file standing at any of the names.
bool WriteViewFile(const std::string& folder, const std::vector<std::string>& components,
                   const std::string& bytes);

// Removes the regular file `components` below `folder`, if one is there.
void RemoveViewFile(const std::string& folder, const std::vector<std::string>& components);

}  // namespace sources::view
