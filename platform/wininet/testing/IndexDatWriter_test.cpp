#include "platform/wininet/testing/IndexDatWriter.h"

#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "analysis/CacheAnalyzer.h"
#include "cache/IECache.h"
#include "platform/testing/TempDir.h"
#include "platform/wininet/ContainerLocator.h"

namespace {

namespace fs = std::filesystem;
using fixture::EntryFixture;
using fixture::TempDir;

std::uint64_t Ticks(const FILETIME& ft) {
  return (std::uint64_t{ft.dwHighDateTime} << 32) | ft.dwLowDateTime;
}

fixture::ProfileFixture RichProfile() {
  fixture::ProfileFixture spec;
  EntryFixture image;
  image.url = "http://www.example.test/img/logo.gif";
  image.fileName = "logo[1].gif";
  image.directory = "Q1W2E3R4";
  image.contents = "GIF89a";
  image.header = "HTTP/1.1 200 OK\r\nContent-Type: image/gif\r\n\r\n";
  image.extension = "gif";
  image.type = NORMAL_CACHE_ENTRY | STICKY_CACHE_ENTRY;
  image.useCount = 3;
  image.hitRate = 9;
  image.size = (std::uint64_t{2} << 32) + 6;
  image.exemptDelta = 86400;
  image.lastModified = fixture::FileTimeOf(2024, 7, 1, 10, 0, 0);
  image.lastAccess = fixture::FileTimeOf(2026, 12, 1, 9, 30, 15);
  image.expireFat = fixture::FatDateTime(2027, 1, 31, 23, 59, 58);
  image.syncFat = fixture::FatDateTime(2026, 12, 1, 9, 30, 14);
  EntryFixture page;
  page.url = "https://news.example.test/a b/index.html?x=1";
  page.fileName = "index[1].html";
  page.directory = "ZZZZ0000";
  page.contents = "<html></html>";
  EntryFixture noFile;
  noFile.url = "http://example.test/redirected";
  spec.content.entries = {image, page, noFile};
  EntryFixture cookie;
  cookie.url = "Cookie:user@example.test/";
  cookie.fileName = "user@example[1].txt";
  cookie.contents = "id\n1\nexample.test/\n";
  cookie.type = COOKIE_CACHE_ENTRY;
  spec.cookies.entries = {cookie};
  EntryFixture visit;
  visit.url = "Visited: user@http://www.example.test/img/logo.gif";
  visit.type = URLHISTORY_CACHE_ENTRY;
  spec.history.entries = {visit};
  return spec;
}

struct Delivered {
  std::string url, local, header, extension;
  INTERNET_CACHE_ENTRY_INFOA info;
};

std::vector<Delivered> WalkPlatform(const char* pattern) {
  std::vector<Delivered> out;
  DWORD size = 0;
  FindFirstUrlCacheEntryExA(pattern, 0, 0xffffffff, 0, nullptr, &size, nullptr, nullptr, nullptr);
  std::vector<char> buffer(size);
  auto* info = reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.data());
  HANDLE handle = size ? FindFirstUrlCacheEntryExA(pattern, 0, 0xffffffff, 0, info, &size, nullptr,
                                                   nullptr, nullptr)
                       : nullptr;
  for (BOOL ok = handle != nullptr; ok;) {
    auto text = [](const char* p) { return p ? std::string(p) : std::string(); };
    out.push_back({text(info->lpszSourceUrlName), text(info->lpszLocalFileName),
                   text(info->lpHeaderInfo), text(info->lpszFileExtension), *info});
    size = 0;
    FindNextUrlCacheEntryExA(handle, nullptr, &size, nullptr, nullptr, nullptr);
    buffer.assign(size, 0);
    info = reinterpret_cast<LPINTERNET_CACHE_ENTRY_INFOA>(buffer.data());
    ok = size && FindNextUrlCacheEntryExA(handle, info, &size, nullptr, nullptr, nullptr);
  }
  FindCloseUrlCache(handle);
  return out;
}

TEST(IndexDatWriter, ReadsBackFieldForFieldThroughTheStandIn) {
  TempDir user;
  const fixture::ProfileFixture spec = RichProfile();
  ASSERT_TRUE(fixture::WriteProfile(user.path(), spec));
  urlcache::SetUrlCacheProfile(user.path());
  const std::vector<Delivered> content = WalkPlatform("");
  const std::vector<Delivered> cookies = WalkPlatform("Cookie:");
  const std::vector<Delivered> history = WalkPlatform("Visited:");
  urlcache::SetUrlCacheProfile("");

  ASSERT_EQ(content.size(), 3u);
  const EntryFixture& image = spec.content.entries[0];
  const Delivered& got = content[0];
  const std::string contentFolder = user / fixture::ContainerPath(fixture::ProfileLayout::Wine, 2);
  EXPECT_EQ(got.url, image.url);
  EXPECT_EQ(got.local, contentFolder + "/Q1W2E3R4/logo[1].gif");
  EXPECT_EQ(got.header, image.header);
  EXPECT_EQ(got.info.dwHeaderInfoSize, image.header.size());
  EXPECT_EQ(got.extension, "gif");
  EXPECT_EQ(got.info.CacheEntryType, image.type);
  EXPECT_EQ(got.info.dwUseCount, 3u);
  EXPECT_EQ(got.info.dwHitRate, 9u);
  EXPECT_EQ(got.info.dwSizeLow, 6u);
  EXPECT_EQ(got.info.dwSizeHigh, 2u);
  EXPECT_EQ(got.info.dwExemptDelta, 86400u);
  EXPECT_EQ(Ticks(got.info.LastModifiedTime), Ticks(image.lastModified));
  EXPECT_EQ(Ticks(got.info.LastAccessTime), Ticks(image.lastAccess));
  EXPECT_EQ(Ticks(got.info.ExpireTime), Ticks(fixture::FileTimeOf(2027, 1, 31, 23, 59, 58)));
  EXPECT_EQ(Ticks(got.info.LastSyncTime), Ticks(fixture::FileTimeOf(2026, 12, 1, 9, 30, 14)));
  std::ifstream file(got.local);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(file), {}), "GIF89a");

  EXPECT_EQ(content[1].local, contentFolder + "/ZZZZ0000/index[1].html");
  EXPECT_EQ(content[1].extension, "");  // none written, as Windows does
  EXPECT_EQ(content[2].local, "");
  ASSERT_EQ(cookies.size(), 1u);
  EXPECT_EQ(cookies[0].local, user / fixture::ContainerPath(fixture::ProfileLayout::Wine, 0) +
                                  "/user@example[1].txt");
  ASSERT_EQ(history.size(), 1u);
  EXPECT_EQ(history[0].url, "Visited: user@http://www.example.test/img/logo.gif");
}

std::string RunCapturing(const std::string& command) {
  std::string output;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[4096];
    for (std::size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) output.append(buffer, n);
    pclose(pipe);
  }
  return output;
}

TEST(IndexDatWriter, MsiecfexportReadsTheSameUrls) {
  if (system("command -v msiecfexport >/dev/null 2>&1") != 0)
    GTEST_SKIP() << "msiecfexport (libmsiecf-utils) is not installed";
  TempDir folder;
  fixture::ContainerFixture spec = RichProfile().content;
  for (int i = 0; i < 700; ++i) {  // past one hash table
    EntryFixture e;
    e.url = "http://host" + std::to_string(i % 37) + ".test/p/" + std::to_string(i) + ".png";
    e.fileName = std::to_string(i) + "[1].png";
    e.directory = i % 2 ? "AAAA1111" : "BBBB2222";
    spec.entries.push_back(e);
  }
  ASSERT_TRUE(fixture::WriteContainer(folder.path(), spec));
  const std::string report = RunCapturing("msiecfexport '" + folder.path() + "/index.dat' 2>&1");
  std::vector<std::string> locations;
  std::istringstream lines(report);
  for (std::string line; std::getline(lines, line);)
    if (line.rfind("Location\t\t: ", 0) == 0) locations.push_back(line.substr(12));
  std::vector<std::string> expected;
  for (const EntryFixture& e : spec.entries) expected.push_back(e.url);
  EXPECT_EQ(locations, expected);
  EXPECT_EQ(report.find("ecovered"), std::string::npos) << report.substr(0, 2000);
}

// Every byte and modification time of the cache, and every folder entry, is
// the same after full scans, as the window and as the report make them.
TEST(ReadOnly, AFullScanChangesNothingOnDisk) {
  TempDir copy;
  fs::copy(std::string(SITELORE_SHARED_DIR) + "/fixtures/wine-basic/prefix", copy.path(),
           fs::copy_options::recursive);
  ASSERT_TRUE(fixture::WriteProfile(copy / "drive_c/users/other", RichProfile()));
  struct State {
    std::string bytes;
    timespec modified;
  };
  auto snapshot = [&] {
    std::map<std::string, State> files;
    for (const auto& entry : fs::recursive_directory_iterator(copy.path())) {
      struct stat st {};
      stat(entry.path().c_str(), &st);
      std::string bytes;
      if (entry.is_regular_file()) {
        std::ifstream in(entry.path(), std::ios::binary);
        bytes.assign(std::istreambuf_iterator<char>(in), {});
      }
      files[entry.path().string()] = {bytes, st.st_mtim};
    }
    return files;
  };
  const auto before = snapshot();
  for (const char* user : {"/drive_c/users/root", "/drive_c/users/other"}) {
    urlcache::SetUrlCacheProfile(copy.path() + user);
    TCacheAnalyzer analyzer;
    std::string sites, text;
    analyzer.GetSites(sites);
    analyzer.ScanCache();
    analyzer.GetImages("", text);
    EXPECT_FALSE(sites.empty());
    // As the report scans: two threads, the history read ahead, totals only.
    TCacheAnalyzer report;
    report.SetParallelScan(true);
    report.SetKeepTraces(false);
    std::string reportSites;
    report.GetSites(reportSites);
    report.ScanCache();
    EXPECT_EQ(reportSites, sites);
  }
  urlcache::SetUrlCacheProfile("");
  const auto after = snapshot();
  ASSERT_EQ(before.size(), after.size());
  for (const auto& [path, state] : before) {
    const State& later = after.at(path);
    EXPECT_EQ(state.bytes, later.bytes) << path;
    EXPECT_EQ(state.modified.tv_sec, later.modified.tv_sec) << path;
    EXPECT_EQ(state.modified.tv_nsec, later.modified.tv_nsec) << path;
  }
}

// A container rewritten between two scans is read anew.
TEST(ReadOnly, RewrittenContainerIsReadAgain) {
  TempDir user;
  fixture::ProfileFixture spec = RichProfile();
  ASSERT_TRUE(fixture::WriteProfile(user.path(), spec));
  urlcache::SetUrlCacheProfile(user.path());
  EXPECT_EQ(WalkPlatform("").size(), 3u);
  // The file's identity (size, times) tells the cached snapshot is stale.
  for (int i = 0; i < 300; ++i) {
    EntryFixture e;
    e.url = "http://more.test/" + std::to_string(i);
    spec.content.entries.push_back(e);
  }
  ASSERT_TRUE(fixture::WriteProfile(user.path(), spec));
  EXPECT_EQ(WalkPlatform("").size(), 303u);
  urlcache::SetUrlCacheProfile("");
}

}  // namespace
