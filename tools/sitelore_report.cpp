// sitelore-report: the site list and totals of a URL cache, for scripts.
#include <cstdio>
#include <cstring>
#include <string>

#include "analysis/CacheAnalyzer.h"
#include "platform/wininet/ContainerLocator.h"

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (std::strcmp(argv[i], "--profile") == 0 && i + 1 < argc) {
      urlcache::SetUrlCacheProfile(argv[++i]);
    } else {
      std::fprintf(stderr, "usage: sitelore-report [--profile DIR]\n");
      return 2;
    }
  }
  TCacheAnalyzer analyzer;
  std::string sites;
  analyzer.GetSites(sites);
  analyzer.ScanCache();
  for (std::size_t start = 0; start < sites.size();) {
    std::size_t end = sites.find("\r\n", start);
    std::printf("%s\n", sites.substr(start, end - start).c_str());
    start = end + 2;
  }
  std::printf(
      "Total: %d images, %d pages, %d media files, %d unknown files,%d cookies, %d history "
      "entires\n",
      analyzer.TotalImages(), analyzer.TotalPages(), analyzer.TotalMedia(), analyzer.TotalOther(),
      analyzer.TotalCookies(), analyzer.TotalHistory());
  return 0;
}
