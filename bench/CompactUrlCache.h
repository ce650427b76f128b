// The benchmarks' in-memory URL cache: the texts of a million entries in one
// buffer, so that delivering them costs the scan as little memory traffic as
// the disk stand-in's snapshots do (the tests' fixture::MemoryUrlCache keeps
// each text in a string of its own). Install it with urlcache::SetService; it
// must outlive its use.
#pragma once

#include <array>
#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "platform/wininet/UrlCacheService.h"

namespace bench {

class CompactUrlCache : public urlcache::Service {
 public:
  enum Container { kCookies, kHistory, kContent };

  // Appends a copy of `entry` (its texts included) to `container`; entries
  // are delivered in the order added.
  void Add(Container container, const urlcache::EntryView& entry);

  // Shorthand for an entry of type NORMAL_CACHE_ENTRY (cookie and history
  // entries get COOKIE_CACHE_ENTRY and URLHISTORY_CACHE_ENTRY) with only a URL
  // and a local file.
  void Add(Container container, std::string_view url, std::string_view localFile);

  std::size_t Count(Container container) const { return entries_[container].size(); }

  // Bytes of the texts held (URLs, local files, headers, extensions).
  std::size_t TextBytes() const { return texts_.size(); }

  // Drops every entry.
  void Clear();

  std::unique_ptr<urlcache::Cursor> Open(const char* pattern) override;

 private:
  // Texts are kept as offsets into one buffer, which may move while it grows.
  struct Text {
    std::size_t offset = 0, size = 0;
  };
  struct Stored {
    urlcache::EntryView numbers;  // texts left empty
    Text url, localFile, header, extension;
  };
  class MemoryCursor;

  Text Keep(std::string_view text);
  std::string_view View(Text text) const { return {texts_.data() + text.offset, text.size}; }

  std::string texts_;
  std::array<std::vector<Stored>, 3> entries_;
};

}  // namespace bench
