#include "analysis/CountLines.h"

#include <algorithm>
#include <cstdio>

#include "analysis/CacheAnalyzer.h"

namespace {

// The words and six counts of at most 11 characters each fit easily.
template <typename... Counts>
std::string Format(const char* format, Counts... counts) {
  char line[256];
  const int length = std::snprintf(line, sizeof line, format, static_cast<int>(counts)...);
  if (length <= 0) return std::string();
  return std::string(line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
}

}  // namespace

std::string FormatTotalLine(const TCacheAnalyzer& Analyzer) {
  return Format(
      "Total: %d images, %d pages, %d media files, %d unknown files,%d cookies, %d history "
      "entires",
      Analyzer.TotalImages(), Analyzer.TotalPages(), Analyzer.TotalMedia(), Analyzer.TotalOther(),
      Analyzer.TotalCookies(), Analyzer.TotalHistory());
}

std::string FormatSiteLine(const TCacheAnalyzer& Analyzer) {
  return Format(
      "Selected site:: %d images, %d pages, %d media files, %d unknown files, %d cookies, %d "
      "history entires",
      Analyzer.SiteImages(), Analyzer.SitePages(), Analyzer.SiteMedia(), Analyzer.SiteOther(),
      Analyzer.SiteCookies(), Analyzer.SiteHistory());
}
