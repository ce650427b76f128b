#include "platform/wininet/testing/MemoryUrlCache.h"

#include <strings.h>
#include <wininet.h>

namespace fixture {
namespace {

class MemoryCursor : public urlcache::Cursor {
 public:
  explicit MemoryCursor(std::vector<const std::vector<MemoryEntry>*> lists)
      : lists_(std::move(lists)) {}

  bool Current(urlcache::EntryView& view) override {
    while (list_ < lists_.size() && position_ >= lists_[list_]->size()) {
      ++list_;
      position_ = 0;
    }
    if (list_ >= lists_.size()) return false;
    const MemoryEntry& e = (*lists_[list_])[position_];
    view.url = e.url;
    view.localFile = e.localFile;
    view.header = e.header;
    view.extension = e.extension;
    view.cacheEntryType = e.cacheEntryType;
    view.useCount = e.useCount;
    view.hitRate = e.hitRate;
    view.sizeLow = e.sizeLow;
    view.sizeHigh = e.sizeHigh;
    view.exemptDelta = e.exemptDelta;
    view.lastModified = e.lastModified;
    view.expire = e.expire;
    view.lastAccess = e.lastAccess;
    view.lastSync = e.lastSync;
    return true;
  }

  void Advance() override { ++position_; }

 private:
  std::vector<const std::vector<MemoryEntry>*> lists_;
  std::size_t list_ = 0;
  std::size_t position_ = 0;
};

}  // namespace

std::vector<MemoryEntry>& MemoryUrlCache::Entries(Container container) {
  return container == kCookies ? cookies : container == kHistory ? history : content;
}

void MemoryUrlCache::Add(Container container, const urlcache::EntryView& entry) {
  MemoryEntry e;
  e.url = entry.url;
  e.localFile = entry.localFile;
  e.header = entry.header;
  e.extension = entry.extension;
  e.cacheEntryType = entry.cacheEntryType;
  e.useCount = entry.useCount;
  e.hitRate = entry.hitRate;
  e.sizeLow = entry.sizeLow;
  e.sizeHigh = entry.sizeHigh;
  e.exemptDelta = entry.exemptDelta;
  e.lastModified = entry.lastModified;
  e.expire = entry.expire;
  e.lastAccess = entry.lastAccess;
  e.lastSync = entry.lastSync;
  Entries(container).push_back(std::move(e));
}

void MemoryUrlCache::Add(Container container, std::string_view url, std::string_view localFile) {
  static constexpr DWORD kTypes[] = {COOKIE_CACHE_ENTRY, URLHISTORY_CACHE_ENTRY,
                                     NORMAL_CACHE_ENTRY};
  urlcache::EntryView entry;
  entry.url = url;
  entry.localFile = localFile;
  entry.cacheEntryType = kTypes[container];
  Add(container, entry);
}

std::unique_ptr<urlcache::Cursor> MemoryUrlCache::Open(const char* pattern) {
  opened.push_back(pattern ? std::optional<std::string>(pattern) : std::nullopt);
  std::vector<const std::vector<MemoryEntry>*> lists;
  if (!pattern)
    lists = {&cookies, &history, &content};
  else if (*pattern == '\0')
    lists = {&content};
  else if (strcasecmp(pattern, "Cookie:") == 0)
    lists = {&cookies};
  else if (strcasecmp(pattern, "Visited:") == 0)
    lists = {&history};
  else
    return nullptr;
  return std::make_unique<MemoryCursor>(std::move(lists));
}

}  // namespace fixture
