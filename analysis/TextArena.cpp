#include "analysis/TextArena.h"

#include <algorithm>
#include <cstring>

char* TextArena::Reserve(std::size_t bytes) {
  if (blocks_.empty() || blocks_.back().data.size() - blocks_.back().used < bytes) {
    const std::size_t next = blocks_.empty()
                                 ? kFirstBlockSize
                                 : std::min(kLargestBlockSize, 2 * blocks_.back().data.size());
    blocks_.push_back(Block{
        platform::LargeBuffer(std::max(next, bytes), platform::LargeBuffer::Pages::kAsUsed), 0});
  }
  Block& block = blocks_.back();
  char* place = block.data.data() + block.used;
  block.used += bytes;
  if (block.used > block.present) {
    // Sixteen pages at a time: one call instead of sixteen faults, and at
    // most that much held ahead of the texts.
    const std::size_t ahead = std::min(block.data.size(), block.used + kPresentAhead);
    block.data.MakePresent(block.present, ahead);
    block.present = ahead;
  }
  return place;
}

std::string_view TextArena::Store(std::string_view text) {
  char* place = Reserve(text.size() + 1);
  std::memcpy(place, text.data(), text.size());
  place[text.size()] = '\0';
  return std::string_view(place, text.size());
}

void TextArena::Clear() {
  blocks_.clear();
}
