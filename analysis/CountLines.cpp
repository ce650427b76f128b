#include "analysis/CountLines.h"

#include <algorithm>
#include <cstdio>

#include "analysis/CacheAnalyzer.h"

namespace {

// The six counts by kind fill the line's six fields in kind order. The
// words and six counts of at most 11 characters each fit easily.
template <typename CountOf>
std::string Format(const char* format, CountOf countOf) {
  int counts[kTraceKinds];
  for (TTraceKind kind : kAllTraceKinds) counts[kind] = static_cast<int>(countOf(kind));
  char line[256];
  const int length = std::snprintf(line, sizeof line, format, counts[0], counts[1], counts[2],
                                   counts[3], counts[4], counts[5]);
  if (length <= 0) return std::string();
  return std::string(line, std::min(static_cast<std::size_t>(length), sizeof line - 1));
}

}  // namespace

std::string FormatTotalLine(const TCacheAnalyzer& Analyzer) {
  return Format(
      "Total: %d images, %d pages, %d media files, %d unknown files,%d cookies, %d history "
      "entires",
      [&](TTraceKind kind) { return Analyzer.Total(kind); });
}

std::string FormatSiteLine(const TCacheAnalyzer& Analyzer) {
  std::int32_t counts[kTraceKinds];
  for (TTraceKind kind : kAllTraceKinds) counts[kind] = Analyzer.SiteCount(kind);
  return FormatSiteLine(counts);
}

std::string FormatSiteLine(const std::int32_t (&Counts)[6]) {
  return Format(
      "Selected site:: %d images, %d pages, %d media files, %d unknown files, %d cookies, %d "
      "history entires",
      [&](TTraceKind kind) { return Counts[kind]; });
}
