#include "analysis/EntryList.h"

#include <string.h>

#include <algorithm>

void TEntryList::Add(const TEntryInfo& entry) {
  TStoredEntry stored;
  stored.SourceUrlName = texts_.Store(entry.SourceUrlName);
  stored.LocalFileName = texts_.Store(entry.LocalFileName);
  stored.CacheEntryType = entry.CacheEntryType;
  stored.UseCount = entry.UseCount;
  stored.HitRate = entry.HitRate;
  stored.Size = entry.Size;
  stored.LastModifiedTime = entry.LastModifiedTime;
  stored.ExpireTime = entry.ExpireTime;
  stored.LastAccessTime = entry.LastAccessTime;
  stored.LastSyncTime = entry.LastSyncTime;
  stored.ExemptDelta = entry.ExemptDelta;

  const std::size_t blocksBefore = loweredUrls_.BlockCount();
  lowered_.push_back(loweredUrls_.StoreLowered(entry.SourceUrlName));
  if (loweredUrls_.BlockCount() != blocksBefore)
    firstEntryOfBlock_.push_back(static_cast<std::uint32_t>(entries_.size()));
  entries_.push_back(stored);
}

void TEntryList::Clear() {
  entries_.clear();
  lowered_.clear();
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
                                   : static_cast<std::uint32_t>(entries_.size());
    const char* position = text.data();
    const char* const end = text.data() + text.size();
    std::uint32_t from = first;
    while (position < end) {
      const void* hit =
          memmem(position, static_cast<std::size_t>(end - position), needle.data(), needle.size());
      if (!hit) break;
      const char* at = static_cast<const char*>(hit);
      // The entry whose text starts at or before the hit.
      auto owner =
          std::upper_bound(lowered_.begin() + from, lowered_.begin() + last, at,
                           [](const char* p, std::string_view url) { return p < url.data(); });
      const std::uint32_t index = static_cast<std::uint32_t>(owner - lowered_.begin()) - 1;
      matches.push_back(index);
      from = index + 1;
      position = lowered_[index].data() + lowered_[index].size() + 1;
    }
  }
}
