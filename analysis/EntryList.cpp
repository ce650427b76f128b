#include "analysis/EntryList.h"

#include <algorithm>
#include <cstdint>
#include <new>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace {

// An ASCII-lowered needle, matched against text ignoring ASCII case. A text
// byte matches needle byte i when (byte | fold[i]) equals it: fold is 0x20
// for a letter, which lets only its capital through as well, and 0 for any
// other byte, which must then be equal.
class LoweredNeedle {
 public:
  explicit LoweredNeedle(std::string_view needle) : bytes_(needle), fold_(needle.size()) {
    for (std::size_t i = 0; i < needle.size(); ++i)
      fold_[i] = needle[i] >= 'a' && needle[i] <= 'z' ? 0x20 : 0;
  }

  std::size_t size() const { return bytes_.size(); }
  char at(std::size_t i) const { return bytes_[i]; }
  char fold(std::size_t i) const { return fold_[i]; }

  bool MatchesAt(const char* text) const {
    for (std::size_t i = 0; i < bytes_.size(); ++i)
      if ((text[i] | fold_[i]) != bytes_[i]) return false;
    return true;
  }

 private:
  std::string_view bytes_;
  std::vector<char> fold_;
};

// The first occurrence of `needle` in [from, end), or null. With SSE2,
// sixteen positions at a time are tested on the needle's first and last byte
// and only those that pass are compared whole: a popular site's key is found
// tens of thousands of times in one pass.
const char* FindNeedle(const char* from, const char* end, const LoweredNeedle& needle) {
  const std::size_t n = needle.size();
#if defined(__SSE2__)
  const __m128i first = _mm_set1_epi8(needle.at(0));
  const __m128i firstFold = _mm_set1_epi8(needle.fold(0));
  const __m128i last = _mm_set1_epi8(needle.at(n - 1));
  const __m128i lastFold = _mm_set1_epi8(needle.fold(n - 1));
  // Positions of `at` where the first and the last byte both fit.
  const auto candidates = [&](const char* at) {
    const __m128i heads = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    const __m128i tails = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at + n - 1));
    return static_cast<unsigned>(
        _mm_movemask_epi8(_mm_and_si128(_mm_cmpeq_epi8(_mm_or_si128(heads, firstFold), first),
                                        _mm_cmpeq_epi8(_mm_or_si128(tails, lastFold), last))));
  };
  // Thirty-two positions a step: most steps find no candidate at all.
  for (; end - from >= static_cast<std::ptrdiff_t>(n + 31); from += 32) {
    std::uint32_t mask = candidates(from) | candidates(from + 16) << 16;
    while (mask != 0) {
      const int bit = __builtin_ctz(mask);
      if (needle.MatchesAt(from + bit)) return from + bit;
      mask &= mask - 1;
    }
  }
  for (; end - from >= static_cast<std::ptrdiff_t>(n + 15); from += 16) {
    unsigned mask = candidates(from);
    while (mask != 0) {
      const int bit = __builtin_ctz(mask);
      if (needle.MatchesAt(from + bit)) return from + bit;
      mask &= mask - 1;
    }
  }
#endif
  for (; end - from >= static_cast<std::ptrdiff_t>(n); ++from)
    if (needle.MatchesAt(from)) return from;
  return nullptr;
}

}  // namespace

void TEntryList::Add(const TEntryInfo& entry) {
  if (countOnly_) {
    ++counted_;
    return;
  }
  TStoredEntry stored;
  const std::size_t blocksBefore = urls_.BlockCount();
  stored.SourceUrlName = urls_.Store(entry.SourceUrlName);
  if (urls_.BlockCount() != blocksBefore)
    firstEntryOfBlock_.push_back(static_cast<std::uint32_t>(count_));
  const char* const block = urls_.BlockText(urls_.BlockCount() - 1).data();
  urlOffsets_.push_back(static_cast<std::uint32_t>(stored.SourceUrlName.data() - block));
  // History entries have no local file; they take no room for one.
  if (!entry.LocalFileName.empty()) stored.LocalFileName = localNames_.Store(entry.LocalFileName);
  if (count_ % kChunkEntries == 0) chunks_.emplace_back(kChunkEntries * sizeof(TStoredEntry));
  new (Chunk(chunks_.size() - 1) + count_ % kChunkEntries) TStoredEntry(stored);
  ++count_;
}

void TEntryList::Clear() {
  chunks_.clear();
  count_ = 0;
  counted_ = 0;
  firstEntryOfBlock_.clear();
  urlOffsets_.clear();
  urls_.Clear();
  localNames_.Clear();
}

// Each block of URLs is searched as one text: the zero byte after every URL
// keeps a match inside one URL, and the URLs of a block lie at rising
// addresses, so a match maps back to its entry by binary search.
void TEntryList::FindMatches(std::string_view needle, std::vector<std::uint32_t>& matches) const {
  // A URL is a zero-terminated text: a needle holding a zero byte is in none.
  if (needle.find('\0') != std::string_view::npos) return;
  const LoweredNeedle lowered(needle);
  for (std::size_t block = 0; block < urls_.BlockCount(); ++block) {
    const std::string_view text = urls_.BlockText(block);
    const std::uint32_t first = firstEntryOfBlock_[block];
    const std::uint32_t last = block + 1 < firstEntryOfBlock_.size()
                                   ? firstEntryOfBlock_[block + 1]
                                   : static_cast<std::uint32_t>(count_);
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    std::uint32_t from = first;
    while (position < end) {
      const char* at = FindNeedle(position, end, lowered);
      if (!at) break;
      // The entry whose URL starts at or before the hit: galloping from the
      // last match keeps the search among the next few entries instead of
      // jumping across the whole list.
      const auto hit = static_cast<std::uint32_t>(at - text.data());
      std::uint32_t low = from, bound = from;
      for (std::uint32_t step = 1; bound < last && urlOffsets_[bound] <= hit; step *= 2) {
        low = bound + 1;
        bound = std::min<std::uint32_t>(last, bound + step);
      }
      const std::uint32_t index = static_cast<std::uint32_t>(
          std::upper_bound(urlOffsets_.begin() + low, urlOffsets_.begin() + bound, hit) -
          urlOffsets_.begin() - 1);
      matches.push_back(index);
      from = index + 1;
      // The next URL of the block starts right after this one's zero byte.
      position = from < last ? text.data() + urlOffsets_[from] : end;
    }
  }
}
