// Scans a synthetic Firefox profile and a synthetic Chromium profile (100,000
// places, 10,000 cookies, 20,000 cache entries each) with the browser readers,
// and compares that with a bare walk that reads the same database files whole
// and opens every cache file and reads its first and last 4 KiB. Each run
// happens in a child process, so that its peak memory is its own; "cold"
// runs first drop the files from the page cache (posix_fadvise).
//
//   browser-sources-bench [RUNS] [PERCENT]   (PERCENT of the sizes; default 100)
#include <fcntl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "platform/sources/reader/ProfileReader.h"
#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/TempDir.h"

namespace {

namespace fs = std::filesystem;
using namespace sources::testing;

int kPlaces = 100000;
int kCookies = 10000;
int kEntries = 20000;

void WriteHome(const std::string& home) {
  FirefoxProfileSpec firefox;
  firefox.name = "bench";
  firefox.folder = "b.bench";
  ChromiumProfileSpec chromium;
  for (int i = 0; i < kPlaces; ++i) {
    VisitSpec visit{"https://site" + std::to_string(i % 997) + ".test/page/" + std::to_string(i), 1,
                    1700000000000000 + i};
    firefox.visits.push_back(visit);
    chromium.visits.push_back(visit);
  }
  for (int i = 0; i < kCookies; ++i) {
    CookieSpec cookie{"site" + std::to_string(i % 997) + ".test",
                      "/p" + std::to_string(i % 7),
                      "c" + std::to_string(i),
                      "v",
                      -1,
                      1800000000000000};
    firefox.cookies.push_back(cookie);
    chromium.cookies.push_back(cookie);
  }
  WriteFirefoxProfiles(home + "/.mozilla/firefox", {firefox});
  WriteChromiumUserData(home + "/.config/chromium", {chromium});
  const std::string cache2 = home + "/.cache/mozilla/firefox/b.bench/cache2";
  const std::string cacheData = home + "/.cache/chromium/Default/Cache/Cache_Data";
  for (int i = 0; i < kEntries; ++i) {
    const std::string url =
        "https://site" + std::to_string(i % 997) + ".test/img/" + std::to_string(i) + ".png";
    Cache2EntrySpec entry;
    entry.key = "O^partitionKey=%28https%2Csite.test%29,:" + url;
    entry.body = std::string(1024 + i % 2048, 'b');
    entry.responseHead = ResponseHead(200, "image/png", {"Content-Length: 1024"});
    char name[64];
    std::snprintf(name, sizeof name, "entries/%040X", i);
    WriteCache2Entry(cache2, name, entry);
    SimpleEntrySpec simple;
    simple.key = "1/0/_dk_https://site.test https://site.test " + url;
    simple.body = entry.body;
    simple.responseHead = entry.responseHead;
    WriteSimpleCacheEntry(cacheData, simple);
  }
}

std::vector<std::string> FilesUnder(const std::string& root) {
  std::vector<std::string> files;
  for (const auto& entry : fs::recursive_directory_iterator(root))
    if (entry.is_regular_file()) files.push_back(entry.path());
  std::sort(files.begin(), files.end());
  return files;
}

void DropFromPageCache(const std::vector<std::string>& files) {
  for (const auto& file : files) {
    int fd = open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    fdatasync(fd);
    posix_fadvise(fd, 0, 0, POSIX_FADV_DONTNEED);
    close(fd);
  }
}

std::size_t ReadersScan(const std::string& home) {
  sources::MimeGlobs globs;
  sources::ReadContext context{"/view", &globs, {}};
  std::size_t entries = 0;
  for (const auto& profile : sources::DiscoverProfiles({home, "", ""})) {
    sources::ProfileRead read = sources::ReadProfile(profile, context);
    entries +=
        read.entries.content.size() + read.entries.cookies.size() + read.entries.history.size();
  }
  return entries;
}

std::size_t BareWalk(const std::string& home) {
  std::size_t bytes = 0;
  std::string buffer(1 << 20, '\0');
  for (const char* db :
       {"/.mozilla/firefox/b.bench/places.sqlite", "/.mozilla/firefox/b.bench/places.sqlite-wal",
        "/.mozilla/firefox/b.bench/cookies.sqlite", "/.mozilla/firefox/b.bench/cookies.sqlite-wal",
        "/.config/chromium/Default/History", "/.config/chromium/Default/Network/Cookies"}) {
    int fd = open((home + db).c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) continue;
    ssize_t got;
    while ((got = read(fd, buffer.data(), buffer.size())) > 0)
      bytes += static_cast<std::size_t>(got);
    close(fd);
  }
  for (const char* folder : {"/.cache/mozilla/firefox/b.bench/cache2/entries",
                             "/.cache/chromium/Default/Cache/Cache_Data"}) {
    for (const auto& entry : fs::directory_iterator(home + folder)) {
      int fd = open(entry.path().c_str(), O_RDONLY | O_CLOEXEC);
      if (fd < 0) continue;
      struct stat st {};
      fstat(fd, &st);
      std::size_t head = std::min<std::size_t>(4096, static_cast<std::size_t>(st.st_size));
      bytes += static_cast<std::size_t>(std::max<ssize_t>(0, pread(fd, buffer.data(), head, 0)));
      bytes += static_cast<std::size_t>(std::max<ssize_t>(
          0, pread(fd, buffer.data(), head, st.st_size - static_cast<off_t>(head))));
      close(fd);
    }
  }
  return bytes;
}

struct Run {
  double seconds = 0;
  long peakKiB = 0;
};

template <typename Work>
Run InChild(Work work) {
  int pipeFds[2];
  if (pipe(pipeFds) != 0) return {};
  pid_t child = fork();
  if (child == 0) {
    close(pipeFds[0]);
    auto start = std::chrono::steady_clock::now();
    volatile std::size_t result = work();
    (void)result;
    Run run;
    run.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    struct rusage usage {};
    getrusage(RUSAGE_SELF, &usage);
    run.peakKiB = usage.ru_maxrss;
    (void)!write(pipeFds[1], &run, sizeof run);
    _exit(0);
  }
  close(pipeFds[1]);
  Run run;
  (void)!read(pipeFds[0], &run, sizeof run);
  close(pipeFds[0]);
  waitpid(child, nullptr, 0);
  return run;
}

Run Median(std::vector<Run> runs) {
  std::sort(runs.begin(), runs.end(),
            [](const Run& a, const Run& b) { return a.seconds < b.seconds; });
  return runs[runs.size() / 2];
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;
  const int percent = argc > 2 ? std::clamp(std::atoi(argv[2]), 1, 100) : 100;
  kPlaces = kPlaces * percent / 100;
  kCookies = kCookies * percent / 100;
  kEntries = kEntries * percent / 100;
  std::setvbuf(stdout, nullptr, _IONBF, 0);
  fixture::TempDir home;
  std::printf("writing the synthetic home (%d places, %d cookies, %d entries)...\n", kPlaces,
              kCookies, kEntries);
  WriteHome(home.path());
  const auto files = FilesUnder(home.path());
  std::printf(
      "%zu files\n\n| page cache | scan | bare walk | ratio | scan peak | walk peak |\n"
      "|---|---|---|---|---|---|\n",
      files.size());
  for (bool cold : {false, true}) {
    std::vector<Run> scans, walks;
    if (!cold) {
      InChild([&] { return ReadersScan(home.path()); });
      InChild([&] { return BareWalk(home.path()); });
    }
    for (int i = 0; i < runs; ++i) {
      if (cold) DropFromPageCache(files);
      scans.push_back(InChild([&] { return ReadersScan(home.path()); }));
      if (cold) DropFromPageCache(files);
      walks.push_back(InChild([&] { return BareWalk(home.path()); }));
    }
    Run scan = Median(scans), walk = Median(walks);
    std::printf("| %s | %.0f ms | %.0f ms | %.2fx | %ld MiB | %ld MiB |\n", cold ? "cold" : "warm",
                scan.seconds * 1000, walk.seconds * 1000, scan.seconds / walk.seconds,
                scan.peakKiB / 1024, walk.peakKiB / 1024);
  }
  return 0;
}
