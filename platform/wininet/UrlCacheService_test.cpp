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

// A source that writes its files on demand: it knows the names below
// "/view/" and counts what it was asked.
class WritingSource : public urlcache::Provider {
 public:
  std::unique_ptr<urlcache::Cursor> Open(Container) override { return nullptr; }
  urlcache::LocalFile Materialise(const std::string& path) override {
    asked.push_back(path);
    if (path.rfind("/view/", 0) != 0) return urlcache::LocalFile::kNotOurs;
    return path == "/view/gone" ? urlcache::LocalFile::kMissing : urlcache::LocalFile::kReady;
  }
  std::uint64_t MaterialiseCost(const std::string& path) override {
    return path.rfind("/view/", 0) == 0 ? 4096 : 0;
  }
  std::vector<std::string> asked;
};

class ThrowingMaterialiser : public FailingSource {
 public:
  urlcache::LocalFile Materialise(const std::string&) override {
    throw std::runtime_error("broken");
  }
};

TEST(RetrieveLocalFile, OtherFilesPassThroughAndMissingTracesFail) {
  MemoryUrlCache disk;
  WritingSource writer;
  urlcache::CompositeProvider composite;
  composite.Add(disk);
  composite.Add(std::make_unique<ThrowingMaterialiser>());
  composite.Add(writer);
  fixture::ScopedProvider scoped(composite);
  EXPECT_TRUE(urlcache::RetrieveLocalFile("/home/u/.wine/Content.IE5/AB/x[1].png"));
  EXPECT_TRUE(urlcache::RetrieveLocalFile("/view/a.png"));
  EXPECT_FALSE(urlcache::RetrieveLocalFile("/view/gone"));
  EXPECT_EQ(writer.asked,
            (std::vector<std::string>{"/home/u/.wine/Content.IE5/AB/x[1].png", "/view/a.png",
                                      "/view/gone"}));
  EXPECT_EQ(urlcache::LocalFileCost("/view/a.png"), 4096u);
  EXPECT_EQ(urlcache::LocalFileCost("/elsewhere"), 0u);
}

TEST(RetrieveLocalFile, AFailingProviderMakesTheTraceMissing) {
  ThrowingMaterialiser failing;
  fixture::ScopedProvider scoped(failing);
  EXPECT_FALSE(urlcache::RetrieveLocalFile("/view/a.png"));
}

TEST(CompositeProvider, NoSourcesDeliverNothing) {
  urlcache::CompositeProvider composite;
  fixture::ScopedProvider scoped(composite);
  EXPECT_TRUE(WalkUrls(nullptr).empty());
}

}  // namespace
