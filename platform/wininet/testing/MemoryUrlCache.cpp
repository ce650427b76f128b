#include "platform/wininet/testing/MemoryUrlCache.h"

#include <wininet.h>

namespace fixture {

class MemoryUrlCache::MemoryCursor : public urlcache::Cursor {
 public:
  MemoryCursor(const MemoryUrlCache& cache, Container container)
      : cache_(cache), list_(cache.entries_[Index(container)]) {}

  bool Current(urlcache::EntryView& entry) override {
    if (position_ >= list_.size()) return false;
    const Stored& stored = list_[position_];
    static_cast<urlcache::EntryStats&>(entry) = stored.numbers;
    entry.url = cache_.View(stored.url);
    entry.localFile = cache_.View(stored.localFile);
    entry.header = cache_.View(stored.header);
    entry.extension = cache_.View(stored.extension);
    return true;
  }

  void Advance() override {
    if (position_ < list_.size()) ++position_;
  }

 private:
  const MemoryUrlCache& cache_;
  const std::vector<Stored>& list_;
  std::size_t position_ = 0;
};

MemoryUrlCache::Text MemoryUrlCache::Keep(std::string_view text) {
  Text kept{texts_.size(), text.size()};
  texts_.append(text);
  return kept;
}

void MemoryUrlCache::Add(Container container, const urlcache::EntryView& entry) {
  Stored stored;
  stored.numbers = entry;
  stored.url = Keep(entry.url);
  stored.localFile = Keep(entry.localFile);
  stored.header = Keep(entry.header);
  stored.extension = Keep(entry.extension);
  entries_[Index(container)].push_back(stored);
}

void MemoryUrlCache::Add(Container container, const MemoryEntry& e) {
  urlcache::EntryView entry;
  static_cast<urlcache::EntryStats&>(entry) = e;
  entry.url = e.url;
  entry.localFile = e.localFile;
  entry.header = e.header;
  entry.extension = e.extension;
  Add(container, entry);
}

void MemoryUrlCache::Add(Container container, std::string_view url, std::string_view localFile) {
  static constexpr DWORD kTypes[] = {COOKIE_CACHE_ENTRY, URLHISTORY_CACHE_ENTRY,
                                     NORMAL_CACHE_ENTRY};
  urlcache::EntryView entry;
  entry.url = url;
  entry.localFile = localFile;
  entry.cacheEntryType = kTypes[Index(container)];
  Add(container, entry);
}

void MemoryUrlCache::Set(Container container, const std::vector<MemoryEntry>& entries) {
  entries_[Index(container)].clear();
  for (const MemoryEntry& entry : entries) Add(container, entry);
}

void MemoryUrlCache::Clear() {
  texts_.clear();
  for (std::vector<Stored>& list : entries_) list.clear();
}

std::unique_ptr<urlcache::Cursor> MemoryUrlCache::Open(Container container) {
  opened.push_back(container);
  return std::make_unique<MemoryCursor>(*this, container);
}

}  // namespace fixture
