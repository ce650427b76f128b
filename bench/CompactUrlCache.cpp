#include "bench/CompactUrlCache.h"

#include <strings.h>
#include <wininet.h>

namespace bench {

class CompactUrlCache::MemoryCursor : public urlcache::Cursor {
 public:
  MemoryCursor(const CompactUrlCache& cache, std::vector<Container> containers)
      : cache_(cache), containers_(std::move(containers)) {}

  bool Current(urlcache::EntryView& entry) override {
    while (container_ < containers_.size()) {
      const std::vector<Stored>& list = cache_.entries_[containers_[container_]];
      if (position_ < list.size()) {
        const Stored& stored = list[position_];
        entry = stored.numbers;
        entry.url = cache_.View(stored.url);
        entry.localFile = cache_.View(stored.localFile);
        entry.header = cache_.View(stored.header);
        entry.extension = cache_.View(stored.extension);
        return true;
      }
      ++container_;
      position_ = 0;
    }
    return false;
  }

  void Advance() override {
    if (container_ < containers_.size()) ++position_;
  }

 private:
  const CompactUrlCache& cache_;
  std::vector<Container> containers_;
  std::size_t container_ = 0;
  std::size_t position_ = 0;
};

CompactUrlCache::Text CompactUrlCache::Keep(std::string_view text) {
  Text kept{texts_.size(), text.size()};
  texts_.append(text);
  return kept;
}

void CompactUrlCache::Add(Container container, const urlcache::EntryView& entry) {
  Stored stored;
  stored.numbers = entry;
  stored.numbers.url = stored.numbers.localFile = stored.numbers.header =
      stored.numbers.extension = {};
  stored.url = Keep(entry.url);
  stored.localFile = Keep(entry.localFile);
  stored.header = Keep(entry.header);
  stored.extension = Keep(entry.extension);
  entries_[container].push_back(stored);
}

void CompactUrlCache::Add(Container container, std::string_view url, std::string_view localFile) {
  static constexpr DWORD kTypes[] = {COOKIE_CACHE_ENTRY, URLHISTORY_CACHE_ENTRY,
                                     NORMAL_CACHE_ENTRY};
  urlcache::EntryView entry;
  entry.url = url;
  entry.localFile = localFile;
  entry.cacheEntryType = kTypes[container];
  Add(container, entry);
}

void CompactUrlCache::Clear() {
  texts_.clear();
  for (std::vector<Stored>& list : entries_) list.clear();
}

std::unique_ptr<urlcache::Cursor> CompactUrlCache::Open(const char* pattern) {
  std::vector<Container> containers;
  if (!pattern)
    containers = {kCookies, kHistory, kContent};
  else if (*pattern == '\0')
    containers = {kContent};
  else if (strcasecmp(pattern, "Cookie:") == 0)
    containers = {kCookies};
  else if (strcasecmp(pattern, "Visited:") == 0)
    containers = {kHistory};
  else
    return nullptr;
  return std::make_unique<MemoryCursor>(*this, std::move(containers));
}

}  // namespace bench
