// The composite provider: several sources behind the WinINet calls.
#include "platform/wininet/UrlCacheService.h"

#include <wininet.h>

#include <gtest/gtest.h>

#include <stdexcept>
#include <string>
#include <vector>

#include "platform/wininet/testing/MemoryUrlCache.h"

namespace {

using fixture::MemoryUrlCache;
using urlcache::Container;

// The URLs a walk of `pattern` delivers through the WinINet calls.
std::vector<std::string> WalkUrls(const char* pattern) {
  std::vector<std::string> urls;
  std::vector<char> buffer(64 * 1024);
  auto* info = reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.data());
  DWORD size = DWORD(buffer.size());
  HANDLE handle =
      FindFirstUrlCacheEntryExA(pattern, 0, 0xffffffff, 0, info, &size, nullptr, nullptr, nullptr);
  if (!handle) return urls;
  do {
    urls.emplace_back(info->lpszSourceUrlName);
    size = DWORD(buffer.size());
  } while (FindNextUrlCacheEntryExA(handle, info, &size, nullptr, nullptr, nullptr));
  FindCloseUrlCache(handle);
  return urls;
}

void Fill(MemoryUrlCache& source, const std::string& name) {
  for (Container container : urlcache::kAllContainers)
    for (int i = 1; i <= 2; ++i)
      source.Add(container, name + std::to_string(int(container)) + "." + std::to_string(i), "");
}

class FailingSource : public urlcache::Provider {
 public:
  std::unique_ptr<urlcache::Cursor> Open(Container) override {
    throw std::runtime_error("unreadable");
  }
};

// A source whose walk fails after its first entry.
class BreakingSource : public urlcache::Provider {
 public:
  class BreakingCursor : public urlcache::Cursor {
   public:
    bool Current(urlcache::EntryView& entry) override {
      if (advanced_) throw std::runtime_error("read error");
      entry = {};
      entry.url = "broken";
      entry.cacheEntryType = NORMAL_CACHE_ENTRY;
      return true;
    }
    void Advance() override { advanced_ = true; }

   private:
    bool advanced_ = false;
  };
  std::unique_ptr<urlcache::Cursor> Open(Container) override {
    return std::make_unique<BreakingCursor>();
  }
};

TEST(CompositeProvider, DeliversEachContainerSourceAfterSource) {
  MemoryUrlCache first, second;
  Fill(first, "a");
  Fill(second, "b");
  urlcache::CompositeProvider composite;
  composite.Add(first);
  composite.Add(second);
  fixture::ScopedProvider scoped(composite);
  using V = std::vector<std::string>;
  EXPECT_EQ(WalkUrls("Cookie:"), (V{"a0.1", "a0.2", "b0.1", "b0.2"}));
  EXPECT_EQ(WalkUrls("Visited:"), (V{"a1.1", "a1.2", "b1.1", "b1.2"}));
  EXPECT_EQ(WalkUrls(""), (V{"a2.1", "a2.2", "b2.1", "b2.2"}));
  // All three containers, each with its sources in order.
  EXPECT_EQ(WalkUrls(nullptr), (V{"a0.1", "a0.2", "b0.1", "b0.2", "a1.1", "a1.2", "b1.1", "b1.2",
                                  "a2.1", "a2.2", "b2.1", "b2.2"}));
  EXPECT_TRUE(WalkUrls("Other:").empty());
}

TEST(CompositeProvider, EmptyOrFailingSourcesDoNotHideTheOthers) {
  MemoryUrlCache empty, full, last;
  Fill(full, "f");
  last.Add(Container::kContent, "l", "");
  urlcache::CompositeProvider composite;
  composite.Add(std::make_unique<FailingSource>());
  composite.Add(empty);
  composite.Add(std::make_unique<BreakingSource>());
  composite.Add(full);
  composite.Add(std::make_unique<FailingSource>());
  composite.Add(last);
  fixture::ScopedProvider scoped(composite);
  EXPECT_EQ(WalkUrls(""), (std::vector<std::string>{"broken", "f2.1", "f2.2", "l"}));
  EXPECT_EQ(WalkUrls("Cookie:"), (std::vector<std::string>{"broken", "f0.1", "f0.2"}));
  // Counted as walked: the broken walk up to where it ended.
  std::unique_ptr<urlcache::Cursor> cursor = composite.Open(Container::kContent);
  urlcache::EntryView entry;
  ASSERT_TRUE(cursor->Current(entry));
  cursor->Advance();
  EXPECT_EQ(cursor->CountRest(), 3u);
  EXPECT_FALSE(cursor->Current(entry));
}

TEST(CompositeProvider, NoSourcesDeliverNothing) {
  urlcache::CompositeProvider composite;
  fixture::ScopedProvider scoped(composite);
  EXPECT_TRUE(WalkUrls(nullptr).empty());
}

}  // namespace
