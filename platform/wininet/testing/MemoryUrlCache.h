// The in-memory URL-cache provider of tests and benchmarks: exact control
// over what the WinINet calls deliver, without files. The texts of all
// entries share one buffer, so that a million entries cost a walk as little
// memory traffic as the disk provider's snapshots do. Install it with
// urlcache::SetProvider (or ScopedProvider); it must outlive its use.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wininet/UrlCacheService.h"

namespace fixture {

struct MemoryEntry : urlcache::EntryStats {
  MemoryEntry() { cacheEntryType = 0x1; }

  std::string url;
  std::string localFile;
  std::string header;
  std::string extension;
};

class MemoryUrlCache : public urlcache::Provider {
 public:
  using Container = urlcache::Container;
  static constexpr Container kCookies = Container::kCookies;
  static constexpr Container kHistory = Container::kHistory;
  static constexpr Container kContent = Container::kContent;

  // The containers that walks were opened on, in order.
  std::vector<Container> opened;

  // Appends a copy of `entry` (its texts included) to `container`; entries
  // are delivered in the order added.
  void Add(Container container, const urlcache::EntryView& entry);
  void Add(Container container, const MemoryEntry& entry);
  // An entry with only a URL and a local file, typed as its container's
  // entries are (NORMAL, COOKIE or URLHISTORY_CACHE_ENTRY).
  void Add(Container container, std::string_view url, std::string_view localFile);
  // Replaces the entries of `container` with `entries`.
  void Set(Container container, const std::vector<MemoryEntry>& entries);

  std::size_t Count(Container container) const { return entries_[Index(container)].size(); }
  // Bytes of the texts held (URLs, local files, headers, extensions).
  std::size_t TextBytes() const { return texts_.size(); }
  // Drops every entry.
  void Clear();

  std::unique_ptr<urlcache::Cursor> Open(Container container) override;

 private:
  // Texts are kept as offsets into one buffer, which may move while it grows.
  struct Text {
    std::size_t offset = 0, size = 0;
  };
  struct Stored {
    urlcache::EntryStats numbers;
    Text url, localFile, header, extension;
  };
  class MemoryCursor;

  static std::size_t Index(Container container) { return static_cast<std::size_t>(container); }
  Text Keep(std::string_view text);
  std::string_view View(Text text) const { return {texts_.data() + text.offset, text.size}; }

  std::string texts_;
  std::array<std::vector<Stored>, 3> entries_;
};

// Installs a provider for the life of the object, then the default again.
class ScopedProvider {
 public:
  explicit ScopedProvider(urlcache::Provider& provider) { urlcache::SetProvider(&provider); }
  ~ScopedProvider() { urlcache::SetProvider(nullptr); }
  ScopedProvider(const ScopedProvider&) = delete;
  ScopedProvider& operator=(const ScopedProvider&) = delete;
};

}  // namespace fixture
