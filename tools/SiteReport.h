// The report of sitelore-report: the site list, the totals and the traces of
// chosen sites, taken from one analyzer after GetSites and ScanCache, and
// written as text or as JSON. Sites are queried one at a time as they are
// written, so a report of every site holds one site's items at a time.
#pragma once

#include <cstdint>
#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "analysis/CacheAnalyzer.h"
#include "platform/sources/BrowserProvider.h"
#include "platform/sources/TraceExtraction.h"

// The six traces of one site, as the window asks for them, with its count line.
struct SiteTraces {
  std::string key;                     // the site as the queries match it (lower-cased)
  TItemList traces[kTraceKinds];       // indexed by TTraceKind
  std::int32_t counts[kTraceKinds]{};  // likewise
  std::string countLine;
};

// What to report of a scanned analyzer.
struct ReportRequest {
  TSiteList sites;                      // GetSites' keys
  std::vector<std::string> detail;      // sites whose traces are written, in order
  bool allSites = false;                // detail holds every site ("per_site", "[Site]" labels)
  std::vector<std::string> unreadable;  // JSON "unreadable" when not empty
  std::vector<std::string> notRead;     // JSON "not_read" when not empty
  std::vector<sources::SourceInfo> sources;  // what was read, for the JSON form
  // The cache file each browser content entry was read from, by local file
  // name, for the JSON form.
  std::map<std::string, std::string, std::less<>> cacheFiles;
  // Where --extract wrote the browser traces; none without it.
  std::optional<std::vector<sources::ExtractedSource>> extracted;
};

// Runs the six queries for `site`, lower-cased in ASCII, in the window's
// order. The item views stay valid while `analyzer` keeps its scan.
SiteTraces QuerySite(TCacheAnalyzer& analyzer, const std::string& site);

// Text form: the site keys, the total line, then per detailed site its six
// sections and count line (with all sites, preceded by "[Site]" and the
// key). Lines end with LF; a key shows its control characters escaped, so
// that each stands on one line. After --extract, "[Extracted]" and a line
// per browser source: "<label>: <N> files in <folder>, <M> missing".
void WriteText(TCacheAnalyzer& analyzer, const ReportRequest& request, std::FILE* out);

// JSON form: one object with "sites" and "totals", "site" for one detailed
// site or "per_site" for all (each with "cache_files", local file to cache
// file, when it has browser content entries), then "unreadable" and
// "not_read" when they name something, and last "sources": what was read,
// with its entries per container and its problems; after --extract,
// "extracted" (label, folder, files, missing per browser source). Texts that are not UTF-8 get
// U+FFFD in place of their bad bytes, so the output is always valid JSON.
void WriteJson(TCacheAnalyzer& analyzer, const ReportRequest& request, std::FILE* out);
