// One list of stored cache entries of one kind, in delivery order, with the
// texts in arenas and the ASCII-lowered URLs laid out for a fast substring
// search. The results equal a linear search of every entry's lowered URL.
#pragma once

#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

#include "analysis/TextArena.h"
#include "cache/IECache.h"
#include "platform/common/LargeBuffer.h"

// What the analyzer keeps of a TEntryInfo: the two texts that the queries,
// the window and the report read. The counters, times and flags of the
// record are read by no one after storing and are not kept. The texts belong
// to the owning list.
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

  // Appends a copy of the kept texts of `entry`.
  void Add(const TEntryInfo& entry);

  std::size_t Count() const { return count_; }
  const TStoredEntry& operator[](std::size_t index) const { return Slot(index).entry; }
  // The ASCII-lowered URL of entry `index`.
  std::string_view LoweredUrl(std::size_t index) const {
    return {Slot(index).loweredUrl, Slot(index).entry.SourceUrlName.size()};
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
  struct StoredSlot {
    TStoredEntry entry;
    const char* loweredUrl;  // in loweredUrls_, as long as entry.SourceUrlName
  };

  // Indexes of the entries whose lowered URL contains `needle` (not empty).
  void FindMatches(std::string_view needle, std::vector<std::uint32_t>& matches) const;

  // Where the slot of entry `index` lies: its chunk and its place there.
  static std::size_t ChunkOf(std::size_t index);
  static std::size_t PlaceIn(std::size_t index);
  const StoredSlot& Slot(std::size_t index) const;
  // Memory for one more slot, in a new chunk when the last one is full.
  StoredSlot* NextSlot();

  TextArena texts_;
  TextArena loweredUrls_;
  std::vector<std::uint32_t> firstEntryOfBlock_;  // per block of loweredUrls_
  // The slots in chunks that never move, not zero-filled: a growing vector
  // would copy them all again at every doubling and fault in fresh pages
  // twice. A small first chunk keeps a short list small; every later chunk
  // is one huge page.
  static constexpr std::size_t kFirstChunkSlots = 1024;
  static constexpr std::size_t kChunkBytes = platform::LargeBuffer::kHugePage;
  static constexpr std::size_t kChunkSlots = kChunkBytes / sizeof(StoredSlot);
  std::vector<platform::LargeBuffer> chunks_;
  std::size_t count_ = 0;
};
