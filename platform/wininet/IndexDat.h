// Reads the entries of one WinINet container file (index.dat) from a snapshot
// of its bytes. Every offset and length is checked against the record and the
// file; damage costs the damaged entries, never a crash, a hang or a read out
// of bounds.
#pragma once

#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "platform/common/LargeArray.h"
#include "platform/common/LargeBuffer.h"
#include "platform/wininet/EntryStats.h"

namespace urlcache {

// One URL record as stored. Text views point into the IndexDat's bytes; an
// absent text is an empty view with `has...` false.
struct UrlRecord : EntryStats {
  std::string_view url;
  std::string_view localName;  // bare file name inside its cache directory
  std::string_view header;
  std::string_view extension;
  bool hasLocalName = false;
  bool hasHeader = false;
  bool hasExtension = false;
  std::uint8_t directoryIndex = 0;  // beyond the table: the container folder itself
};

class IndexDat {
 public:
  static constexpr std::size_t kBlockSize = 128;
  static constexpr std::uint32_t kFirstBlock = 0x4000;

  // Takes a copy of the file's bytes. Never fails: unknown or damaged files have fewer
  // (or no) entries.
  explicit IndexDat(std::string_view bytes);
  // Takes the first `size` bytes of `bytes` without copying them.
  IndexDat(platform::LargeBuffer bytes, std::size_t size);

  IndexDat(const IndexDat&) = delete;
  IndexDat& operator=(const IndexDat&) = delete;

  // The file size that a container's header (its first kFirstBlock bytes)
  // declares; 0 when `header` is shorter or has no known signature.
  static std::size_t DeclaredSize(std::string_view header);

  // True for the Windows 5.2 ("Client UrlCache MMF Ver 5.2") and Wine signatures.
  bool SignatureKnown() const { return signatureKnown_; }

  // Offsets of the intact URL records, in hash-table order: the order in
  // which the WinINet service enumerates them. Each offset stands once, and
  // the records named span at most the file's size together, so their count
  // is at most one per block and their texts at most the file's bytes.
  const platform::LargeArray<std::uint32_t>& EntryOffsets() const { return entryOffsets_; }

  // Names of the cache directories in table order. A name that is not a safe
  // single path component (empty, ".", "..", a slash or backslash, a control
  // character) is kept as an empty string.
  const std::vector<std::string>& DirectoryNames() const { return directoryNames_; }

  // Decodes the record at `offset` into every field of `record`, whatever
  // it held before. False when it is not an intact URL record (`record` is
  // then untouched); never for one of EntryOffsets().
  bool ReadEntry(std::uint32_t offset, UrlRecord& record) const;
  // Decodes the record at EntryOffsets()[index], as ReadEntry does, without
  // checking it again: listing it checked it, and the bytes do not change.
  void ReadListedEntry(std::size_t index, UrlRecord& record) const;

 private:
  void ReadHeader();
  void WalkHashTables();
  // True for an intact URL record at `offset`; `url` then holds its URL.
  bool IsUsableUrlRecord(std::uint32_t offset, std::string_view& url) const;
  // Decodes the intact URL record at `offset` whose URL is `url`.
  void Decode(std::uint32_t offset, std::string_view url, UrlRecord& record) const;

  platform::LargeBuffer storage_;
  std::string_view bytes_;  // the file's bytes, in storage_
  bool signatureKnown_ = false;
  std::vector<std::string> directoryNames_;
  platform::LargeArray<std::uint32_t> entryOffsets_;
  platform::LargeArray<std::uint32_t> urlSizes_;  // of the listed records, found in listing
};

// Converts a FAT date (low word) and time (high word), taken as UTC, to a
// FILETIME. 0 and invalid dates give the zero FILETIME.
FILETIME FatDateTimeToFileTime(std::uint32_t fatDateTime);

// True when `name` can stand as one component of a path: not empty, not "."
// or "..", without slash, backslash or control characters.
bool IsSafePathComponent(std::string_view name);

}  // namespace urlcache
