#include <wininet.h>

#include <gtest/gtest.h>

#include <cstring>
#include <memory>
#include <string>

#include "platform/wininet/testing/MemoryUrlCache.h"

namespace {

using fixture::MemoryEntry;
using fixture::MemoryUrlCache;
using fixture::ScopedProvider;

MemoryEntry Entry(std::string url, DWORD type, std::string local = "") {
  MemoryEntry e;
  e.url = std::move(url);
  e.cacheEntryType = type;
  e.localFile = std::move(local);
  return e;
}

// Runs the probe-then-fill protocol of one FindFirst call.
HANDLE First(const char* pattern, DWORD filter, std::unique_ptr<char[]>& buffer) {
  DWORD size = 0;
  EXPECT_EQ(
      FindFirstUrlCacheEntryExA(pattern, 0, filter, 0, nullptr, &size, nullptr, nullptr, nullptr),
      nullptr);
  if (size == 0) return nullptr;
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  buffer.reset(new char[size]);
  return FindFirstUrlCacheEntryExA(pattern, 0, filter, 0,
                                   reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.get()),
                                   &size, nullptr, nullptr, nullptr);
}

BOOL Next(HANDLE handle, std::unique_ptr<char[]>& buffer) {
  DWORD size = 0;
  EXPECT_FALSE(FindNextUrlCacheEntryExA(handle, nullptr, &size, nullptr, nullptr, nullptr));
  if (size == 0) return FALSE;
  buffer.reset(new char[size]);
  return FindNextUrlCacheEntryExA(handle,
                                  reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.get()),
                                  &size, nullptr, nullptr, nullptr);
}

const INTERNET_CACHE_ENTRY_INFOA& Info(const std::unique_ptr<char[]>& buffer) {
  return *reinterpret_cast<const INTERNET_CACHE_ENTRY_INFOA*>(buffer.get());
}

TEST(WinInetCalls, FillsOneRecordWithTextsPackedInsideTheProbedSize) {
  MemoryUrlCache cache;
  MemoryEntry e = Entry("http://a.b/x.gif", NORMAL_CACHE_ENTRY, "/tmp/x[1].gif");
  e.header = std::string("HTTP/1.1 200 OK\r\n\0tail", 22);
  e.extension = "gif";
  e.sizeLow = 5;
  e.sizeHigh = 1;
  e.exemptDelta = 77;
  e.lastSync = FILETIME{1, 2};
  cache.Set(fixture::MemoryUrlCache::kContent, {e});
  ScopedProvider scoped(cache);

  DWORD size = 0;
  ASSERT_EQ(
      FindFirstUrlCacheEntryExA("", 0, 0xffffffff, 0, nullptr, &size, nullptr, nullptr, nullptr),
      nullptr);
  ASSERT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  const DWORD needed = size;
  // One byte short is refused the same way and reports the same size.
  std::unique_ptr<char[]> buffer(new char[needed]);
  auto* info = reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.get());
  size = needed - 1;
  EXPECT_EQ(FindFirstUrlCacheEntryExA("", 0, 0xffffffff, 0, info, &size, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));
  EXPECT_EQ(size, needed);

  HANDLE handle =
      FindFirstUrlCacheEntryExA("", 0, 0xffffffff, 0, info, &size, nullptr, nullptr, nullptr);
  ASSERT_NE(handle, nullptr);
  const char* begin = buffer.get();
  const char* end = begin + needed;
  for (const char* text : {info->lpszSourceUrlName, info->lpszLocalFileName, info->lpHeaderInfo,
                           info->lpszFileExtension}) {
    ASSERT_NE(text, nullptr);
    EXPECT_GE(text, begin + sizeof(INTERNET_CACHE_ENTRY_INFOA));
    EXPECT_LT(text + std::strlen(text), end);
  }
  EXPECT_EQ(info->dwStructSize, sizeof(INTERNET_CACHE_ENTRY_INFOA));
  EXPECT_STREQ(info->lpszSourceUrlName, "http://a.b/x.gif");
  EXPECT_STREQ(info->lpszLocalFileName, "/tmp/x[1].gif");
  EXPECT_EQ(std::string(info->lpHeaderInfo, info->dwHeaderInfoSize), e.header);
  EXPECT_STREQ(info->lpszFileExtension, "gif");
  EXPECT_EQ(info->dwSizeLow, 5u);
  EXPECT_EQ(info->dwSizeHigh, 1u);
  EXPECT_EQ(info->dwExemptDelta, 77u);
  EXPECT_EQ(info->LastSyncTime.dwHighDateTime, 2u);

  size = 0;
  EXPECT_FALSE(FindNextUrlCacheEntryExA(handle, nullptr, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(size, 0u);
  EXPECT_TRUE(FindCloseUrlCache(handle));
}

TEST(WinInetCalls, AbsentTextsAreNullPointers) {
  MemoryUrlCache cache;
  cache.Set(fixture::MemoryUrlCache::kHistory,
            {Entry("Visited: u@http://a.b/", URLHISTORY_CACHE_ENTRY)});
  ScopedProvider scoped(cache);
  std::unique_ptr<char[]> buffer;
  HANDLE handle = First("Visited:", 0xffffffff, buffer);
  ASSERT_NE(handle, nullptr);
  EXPECT_EQ(Info(buffer).lpszLocalFileName, nullptr);
  EXPECT_EQ(Info(buffer).lpHeaderInfo, nullptr);
  EXPECT_EQ(Info(buffer).lpszFileExtension, nullptr);
  FindCloseUrlCache(handle);
}

TEST(WinInetCalls, FilterDeliversEntriesSharingABitAndSkipsTheRest) {
  MemoryUrlCache cache;
  cache.Set(fixture::MemoryUrlCache::kContent,
            {Entry("a", NORMAL_CACHE_ENTRY), Entry("b", STICKY_CACHE_ENTRY),
             Entry("c", NORMAL_CACHE_ENTRY | SPARSE_CACHE_ENTRY), Entry("d", 0)});
  ScopedProvider scoped(cache);
  std::unique_ptr<char[]> buffer;
  HANDLE handle = First("", SPARSE_CACHE_ENTRY | STICKY_CACHE_ENTRY, buffer);
  ASSERT_NE(handle, nullptr);
  EXPECT_STREQ(Info(buffer).lpszSourceUrlName, "b");
  ASSERT_TRUE(Next(handle, buffer));
  EXPECT_STREQ(Info(buffer).lpszSourceUrlName, "c");
  EXPECT_FALSE(Next(handle, buffer));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
  FindCloseUrlCache(handle);

  // A filter word of 0 lets nothing through.
  DWORD size = 0;
  EXPECT_EQ(FindFirstUrlCacheEntryExA("", 0, 0, 0, nullptr, &size, nullptr, nullptr, nullptr),
            nullptr);
  EXPECT_EQ(GetLastError(), DWORD(ERROR_NO_MORE_ITEMS));
  EXPECT_EQ(size, 0u);
}

TEST(WinInetCalls, PatternsSelectContainersAndNullWalksAllThree) {
  MemoryUrlCache cache;
  cache.Set(fixture::MemoryUrlCache::kCookies, {Entry("Cookie:u@a.b/", COOKIE_CACHE_ENTRY)});
  cache.Set(fixture::MemoryUrlCache::kHistory,
            {Entry("Visited: u@http://a.b/", URLHISTORY_CACHE_ENTRY)});
  cache.Set(fixture::MemoryUrlCache::kContent, {Entry("http://a.b/", NORMAL_CACHE_ENTRY)});
  ScopedProvider scoped(cache);

  std::unique_ptr<char[]> buffer;
  HANDLE handle = First(nullptr, 0xffffffff, buffer);
  ASSERT_NE(handle, nullptr);
  std::vector<std::string> urls{Info(buffer).lpszSourceUrlName};
  while (Next(handle, buffer)) urls.push_back(Info(buffer).lpszSourceUrlName);
  FindCloseUrlCache(handle);
  EXPECT_EQ(urls,
            (std::vector<std::string>{"Cookie:u@a.b/", "Visited: u@http://a.b/", "http://a.b/"}));

  for (const char* pattern : {"Cookie:", "Visited:", ""}) {
    handle = First(pattern, 0xffffffff, buffer);
    ASSERT_NE(handle, nullptr) << pattern;
    EXPECT_FALSE(Next(handle, buffer)) << pattern;
    FindCloseUrlCache(handle);
  }
  DWORD size = 0;
  EXPECT_EQ(FindFirstUrlCacheEntryExA("Nonsense:", 0, 0xffffffff, 0, nullptr, &size, nullptr,
                                      nullptr, nullptr),
            nullptr);
  EXPECT_EQ(size, 0u);
}

TEST(WinInetCalls, TooSmallBufferDoesNotMoveTheEnumerationOn) {
  MemoryUrlCache cache;
  cache.Set(fixture::MemoryUrlCache::kContent, {Entry("first", 1), Entry("second", 1)});
  ScopedProvider scoped(cache);
  std::unique_ptr<char[]> buffer;
  HANDLE handle = First("", 1, buffer);
  ASSERT_NE(handle, nullptr);
  DWORD size = 0;
  for (int probe = 0; probe < 3; ++probe)
    EXPECT_FALSE(FindNextUrlCacheEntryExA(handle, nullptr, &size, nullptr, nullptr, nullptr));
  ASSERT_TRUE(Next(handle, buffer));
  EXPECT_STREQ(Info(buffer).lpszSourceUrlName, "second");
  FindCloseUrlCache(handle);
}

TEST(WinInetCalls, BadHandlesAreRefusedNotFollowed) {
  EXPECT_FALSE(FindCloseUrlCache(nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
  int notAHandle = 0;
  DWORD size = 0;
  EXPECT_FALSE(FindNextUrlCacheEntryExA(&notAHandle, nullptr, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));

  MemoryUrlCache cache;
  cache.Set(fixture::MemoryUrlCache::kContent, {Entry("x", 1), Entry("y", 1)});
  ScopedProvider scoped(cache);
  std::unique_ptr<char[]> buffer;
  HANDLE handle = First("", 1, buffer);
  size = 0;
  EXPECT_FALSE(FindNextUrlCacheEntryExA(handle, nullptr, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INSUFFICIENT_BUFFER));  // known while open
  ASSERT_TRUE(FindCloseUrlCache(handle));
  EXPECT_FALSE(FindCloseUrlCache(handle));
  EXPECT_FALSE(FindNextUrlCacheEntryExA(handle, nullptr, &size, nullptr, nullptr, nullptr));
  EXPECT_EQ(GetLastError(), DWORD(ERROR_INVALID_HANDLE));
}

TEST(WinInetCalls, ModuleLoaderFindsTheStandInExports) {
  HMODULE module = LoadLibraryA("WININET.DLL");
  ASSERT_NE(module, nullptr);
  EXPECT_EQ(reinterpret_cast<void*>(GetProcAddress(module, "FindFirstUrlCacheEntryExA")),
            reinterpret_cast<void*>(&FindFirstUrlCacheEntryExA));
  EXPECT_NE(GetProcAddress(module, "SetUrlCacheGroupAttributeA"), nullptr);
  EXPECT_EQ(GetProcAddress(module, "DeleteUrlCacheEntryA"), nullptr);
  EXPECT_EQ(LoadLibraryA("shell32.dll"), nullptr);
}

}  // namespace
