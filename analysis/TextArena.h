// Append-only storage for many small texts: a few large blocks instead of one
// allocation per text. Stored texts keep their address until Clear.
#pragma once

#include <cstddef>
#include <string_view>
#include <vector>

#include "platform/common/LargeBuffer.h"

class TextArena {
 public:
  TextArena() = default;
  TextArena(const TextArena&) = delete;
  // Moving keeps every stored view valid: the blocks stay where they are.
  TextArena(TextArena&&) = default;
  TextArena& operator=(TextArena&&) = default;
  TextArena& operator=(const TextArena&) = delete;

  // Stores a copy of `text` followed by a zero byte and returns the copy
  // (without the zero byte).
  std::string_view Store(std::string_view text);

  // Frees every block; earlier results dangle.
  void Clear();

  // The blocks' used bytes, in storing order: consecutive stored texts, each
  // followed by its zero byte. A text never spans two blocks.
  std::size_t BlockCount() const { return blocks_.size(); }
  std::string_view BlockText(std::size_t index) const {
    return std::string_view(blocks_[index].data.data(), blocks_[index].used);
  }

 private:
  struct Block {
    platform::LargeBuffer data;
    std::size_t used = 0;
    std::size_t present = 0;  // bytes made present ahead of use
  };
  char* Reserve(std::size_t bytes);

  // Blocks double from a small first one up to a huge page: a block below
  // a huge page holds only the pages it fills, a huge page is filled with
  // one fault but held whole, so only a large arena gets them.
  static constexpr std::size_t kFirstBlockSize = 64 << 10;
  static constexpr std::size_t kLargestBlockSize = platform::LargeBuffer::kHugePage;
  static constexpr std::size_t kPresentAhead = 64 << 10;
  std::vector<Block> blocks_;
};
