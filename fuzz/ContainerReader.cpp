#include "fuzz/ContainerReader.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>

#include "analysis/CacheAnalyzer.h"
#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/DiskUrlCache.h"

namespace fuzz {
namespace {

namespace fs = std::filesystem;

const char* const kContainerFolders[] = {
    "AppData/Local/Microsoft/Windows/INetCache/Content.IE5",
    "AppData/Local/Microsoft/Windows/INetCookies",
    "AppData/Local/Microsoft/Windows/History/History.IE5",
};

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "ContainerReader: %s\n", what);
  std::abort();
}

void WriteAll(const std::string& path, const std::uint8_t* data, std::size_t size) {
  const int fd = open(path.c_str(), O_WRONLY | O_TRUNC | O_CLOEXEC);
  if (fd < 0) Fail("cannot open the scratch container");
  while (size > 0) {
    const ssize_t written = write(fd, data, size);
    if (written <= 0) Fail("cannot write the scratch container");
    data += written;
    size -= static_cast<std::size_t>(written);
  }
  close(fd);
}

std::size_t Walk(TIECache& cache, TSearchPattern pattern) {
  std::size_t delivered = 0;
  cache.SetSearchPattern(pattern);
  cache.SetOnEntry([&delivered](TIECache&, bool&) { ++delivered; });
  cache.RetrieveEntries(0);
  return delivered;
}

}  // namespace

ContainerReader::ContainerReader() : root_(scratch_.path()) {
  if (root_.empty()) Fail("cannot make the scratch folder");
  for (const char* folder : kContainerFolders) fs::create_directories(root_ + "/" + folder);
  file_ = root_ + "/" + kContainerFolders[0] + "/index.dat";
  if (int fd = open(file_.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600); fd >= 0)
    close(fd);
  else
    Fail("cannot make the scratch container");
  // One inode behind all three names: one write updates every container.
  for (const char* folder : {kContainerFolders[1], kContainerFolders[2]})
    fs::create_hard_link(file_, root_ + "/" + folder + "/index.dat");
  urlcache::SetUrlCacheProfile(root_);
}

// The snapshots of the scratch files are not flushed here: the fuzz target's
// reader is destroyed at exit, possibly after the snapshot cache, and every
// Read flushes them anyway.
ContainerReader::~ContainerReader() {
  urlcache::SetUrlCacheProfile("");
}

ReadSummary ContainerReader::Read(const std::uint8_t* data, std::size_t size) {
  WriteAll(file_, data, size);
  // A rewrite within one clock tick can keep size and times: read anew.
  urlcache::FlushSnapshots();

  ReadSummary summary;
  TIECache cache;
  cache.SetFilterOptions(TFilterOptions::All());
  summary.delivered = Walk(cache, spAll);

  TCacheAnalyzer analyzer;
  std::string sites;
  analyzer.GetSites(sites);
  analyzer.ScanCache();
  summary.totals[0] = analyzer.TotalImages();
  summary.totals[1] = analyzer.TotalPages();
  summary.totals[2] = analyzer.TotalMedia();
  summary.totals[3] = analyzer.TotalOther();
  summary.totals[4] = analyzer.TotalCookies();
  summary.totals[5] = analyzer.TotalHistory();
  const std::string firstSite = sites.substr(0, sites.find("\r\n"));
  for (std::size_t at = 0; (at = sites.find("\r\n", at)) != std::string::npos; at += 2)
    ++summary.sites;
  TItemList items;
  for (const std::string& site : {firstSite, std::string()}) {
    analyzer.GetImages(site, items);
    analyzer.GetPages(site, items);
    analyzer.GetMedia(site, items);
    analyzer.GetOther(site, items);
    analyzer.GetCookies(site, items);
    analyzer.GetHistory(site, items);
  }
  std::string text;
  analyzer.GetHistory(firstSite, text);

  const std::int32_t content =
      summary.totals[0] + summary.totals[1] + summary.totals[2] + summary.totals[3];
  if (summary.totals[4] != content || summary.totals[5] != content)
    Fail("the same bytes gave different entries in different containers");
  if (summary.delivered != 3 * static_cast<std::size_t>(content))
    Fail("the analyzer's totals differ from the enumerator's walk");
  return summary;
}

}  // namespace fuzz
