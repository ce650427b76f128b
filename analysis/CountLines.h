// The two lines of counts under the trace lists: the totals over all sites
// and the counts of the selected site, word for word as the window shows
// them (the missing blank before the cookie total and the doubled colon are
// the window's own and scripts match on them).
#pragma once

#include <cstdint>
#include <string>

class TCacheAnalyzer;

// "Total: ..." from the six totals of the last ScanCache.
std::string FormatTotalLine(const TCacheAnalyzer& Analyzer);

// "Selected site:: ..." from the six per-site counts of the last queries.
std::string FormatSiteLine(const TCacheAnalyzer& Analyzer);
// The same line from six counts indexed by TTraceKind.
std::string FormatSiteLine(const std::int32_t (&Counts)[6]);
