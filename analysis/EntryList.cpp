#include "analysis/EntryList.h"

#include <string.h>

#include <algorithm>
#include <memory>
#include <new>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// The first occurrence of `needle` (at least two bytes) in [from, end), or
// null. With SSE2, sixteen positions at a time are tested on the needle's
// first and last byte and only those that pass are compared whole: glibc's
// memmem prepares a table on every call, and a popular site's key is found
// tens of thousands of times in one pass.
const char* FindNeedle(const char* from, const char* end, std::string_view needle) {
  const std::size_t n = needle.size();
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(needle.front());
  const __m128i last = _mm_set1_epi8(needle.back());
  for (; end - from >= static_cast<std::ptrdiff_t>(n + 15); from += 16) {
    const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from));
    const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(from + n - 1));
    unsigned mask = static_cast<unsigned>(_mm_movemask_epi8(
        _mm_and_si128(_mm_cmpeq_epi8(heads, first), _mm_cmpeq_epi8(tails, last))));
    while (mask != 0) {
      const int bit = __builtin_ctz(mask);
      if (memcmp(from + bit + 1, needle.data() + 1, n - 2) == 0) return from + bit;
      mask &= mask - 1;
    }
  }
#endif
  if (end - from < static_cast<std::ptrdiff_t>(n)) return nullptr;
  return static_cast<const char*>(
      memmem(from, static_cast<std::size_t>(end - from), needle.data(), n));
}

}  // namespace

std::size_t TEntryList::ChunkOf(std::size_t index) {
  return index < kFirstChunkSlots ? 0 : 1 + (index - kFirstChunkSlots) / kChunkSlots;
}

std::size_t TEntryList::PlaceIn(std::size_t index) {
  return index < kFirstChunkSlots ? index : (index - kFirstChunkSlots) % kChunkSlots;
}

const TEntryList::StoredSlot& TEntryList::Slot(std::size_t index) const {
  const auto* slots =
      std::launder(reinterpret_cast<const StoredSlot*>(chunks_[ChunkOf(index)].data()));
  return slots[PlaceIn(index)];
}

TEntryList::StoredSlot* TEntryList::NextSlot() {
  if (ChunkOf(count_) == chunks_.size()) {
    chunks_.emplace_back(chunks_.empty() ? kFirstChunkSlots * sizeof(StoredSlot) : kChunkBytes);
  }
  return reinterpret_cast<StoredSlot*>(chunks_.back().data()) + PlaceIn(count_);
}

void TEntryList::Add(const TEntryInfo& entry) {
  StoredSlot stored;
  stored.entry.SourceUrlName = texts_.Store(entry.SourceUrlName);
  stored.entry.LocalFileName = texts_.Store(entry.LocalFileName);
  const std::size_t blocksBefore = loweredUrls_.BlockCount();
  stored.loweredUrl = loweredUrls_.StoreLowered(entry.SourceUrlName).data();
  if (loweredUrls_.BlockCount() != blocksBefore)
    firstEntryOfBlock_.push_back(static_cast<std::uint32_t>(count_));
  std::construct_at(NextSlot(), stored);
  ++count_;
}

void TEntryList::Clear() {
  chunks_.clear();
  count_ = 0;
  firstEntryOfBlock_.clear();
  texts_.Clear();
  loweredUrls_.Clear();
}

// Each block of lowered URLs is searched as one text: the zero byte after
// every URL keeps a match inside one URL, and the URLs of a block lie at
// rising addresses, so a match maps back to its entry by binary search.
void TEntryList::FindMatches(std::string_view needle, std::vector<std::uint32_t>& matches) const {
  // A URL is a zero-terminated text: a needle holding a zero byte is in none.
  if (needle.find('\0') != std::string_view::npos) return;
  for (std::size_t block = 0; block < loweredUrls_.BlockCount(); ++block) {
    const std::string_view text = loweredUrls_.BlockText(block);
    const std::uint32_t first = firstEntryOfBlock_[block];
    const std::uint32_t last = block + 1 < firstEntryOfBlock_.size()
                                   ? firstEntryOfBlock_[block + 1]
                                   : static_cast<std::uint32_t>(count_);
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    std::uint32_t from = first;
    while (position < end) {
      const char* at =
          needle.size() == 1
              ? static_cast<const char*>(
                    memchr(position, needle.front(), static_cast<std::size_t>(end - position)))
              : FindNeedle(position, end, needle);
      if (!at) break;
      // The entry whose text starts at or before the hit: galloping from the
      // last match keeps the search among the next few entries instead of
      // jumping across the whole list.
      std::uint32_t low = from, bound = from;
      for (std::uint32_t step = 1; bound < last && Slot(bound).loweredUrl <= at; step *= 2) {
        low = bound + 1;
        bound = std::min<std::uint32_t>(last, bound + step);
      }
      // The first entry in [low, bound) whose text starts after the hit.
      while (low < bound) {
        const std::uint32_t middle = low + (bound - low) / 2;
        if (Slot(middle).loweredUrl <= at)
          low = middle + 1;
        else
          bound = middle;
      }
      const std::uint32_t index = low - 1;
      matches.push_back(index);
      from = index + 1;
      position = Slot(index).loweredUrl + Slot(index).entry.SourceUrlName.size() + 1;
    }
  }
}
