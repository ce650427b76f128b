// One list of stored cache entries of one kind, in delivery order, with the
// texts in arenas and the URLs laid out for a fast substring search that
// ignores ASCII case. The results equal a linear search of every entry's
// lowered URL, without a lowered copy of every URL.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "analysis/TextArena.h"
#include "cache/IECache.h"
#include "platform/common/LargeArray.h"
#include "platform/common/LargeBuffer.h"

// What the analyzer keeps of a TEntryInfo: the two texts that the queries,
// the window and the report read. The counters, times and flags of the
// record are read by no one after storing and are not kept. The texts belong
// to the owning list; an entry without a local file has an empty one.
struct TStoredEntry {
  std::string_view SourceUrlName;
  std::string_view LocalFileName;
};

class TEntryList {
 public:
  TEntryList() = default;
  TEntryList(const TEntryList&) = delete;
  TEntryList& operator=(const TEntryList&) = delete;
  // Moving keeps the stored entries and their texts where they are.
  TEntryList(TEntryList&&) = default;
  TEntryList& operator=(TEntryList&&) = default;

  // Appends a copy of the kept texts of `entry`; in a list that only
  // counts, counts it.
  void Add(const TEntryInfo& entry);

  // Whether Add only counts: such a list holds no entry, and its total is
  // all it knows. Clear keeps the choice.
  void SetCountOnly(bool countOnly) { countOnly_ = countOnly; }

  // The entries held, which index and search read.
  std::size_t Count() const { return count_; }
  // The entries added, held or only counted.
  std::size_t Total() const { return count_ + counted_; }
  const TStoredEntry& operator[](std::size_t index) const {
    return Chunk(index / kChunkEntries)[index % kChunkEntries];
  }

  // Disposes every stored entry.
  void Clear();

  // Calls `visit(entry)` for every entry, in list order, whose ASCII-lowered
  // URL contains `loweredSite`; for every entry when `loweredSite` is empty.
  template <typename Visit>
  void ForEachMatch(std::string_view loweredSite, Visit&& visit) const {
    if (loweredSite.empty()) {
      for (std::size_t index = 0; index < count_; ++index) visit((*this)[index]);
      return;
    }
    std::vector<std::uint32_t> matches;
    FindMatches(loweredSite, matches);
    for (std::uint32_t index : matches) visit((*this)[index]);
  }

 private:
  // Indexes of the entries whose lowered URL contains `needle` (not empty,
  // ASCII-lowered).
  void FindMatches(std::string_view needle, std::vector<std::uint32_t>& matches) const;

  // The URLs alone, in entry order, so that a block of them reads as one
  // text; the local file names apart.
  TextArena urls_;
  TextArena localNames_;
  std::vector<std::uint32_t> firstEntryOfBlock_;  // per block of urls_
  // Per entry, where its URL starts in its block of urls_: the search maps
  // a hit to its entry through these, a few cache lines per lookup.
  platform::LargeArray<std::uint32_t> urlOffsets_;
  // The entries in chunks that never move: a growing vector would copy
  // them all again at every doubling and hold twice their size meanwhile.
  // 64 KiB a chunk, made present at once rather than page by page.
  static constexpr std::size_t kChunkEntries =
      platform::LargeBuffer::kSmallPagesFrom / sizeof(TStoredEntry);
  TStoredEntry* Chunk(std::size_t chunk) const {
    return reinterpret_cast<TStoredEntry*>(chunks_[chunk].data());
  }
  std::vector<platform::LargeBuffer> chunks_;
  std::size_t count_ = 0;
  std::size_t counted_ = 0;  // added without being held
  bool countOnly_ = false;
};
