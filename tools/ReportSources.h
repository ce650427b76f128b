// Where sitelore-report looks for the URL cache, and what it must say about
// it before reporting: nothing found, parts that cannot be read, containers
// passed over.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "analysis/CacheAnalyzer.h"

// The report's exit codes.
enum ReportExit {
  kExitReported = 0,
  kExitNothingToReport = 1,  // no URL cache, unknown --site, or the report could not be written
  kExitUsage = 2,
  kExitPartlyUnreadable = 3,  // a container or folder could not be read; the rest is reported
};

struct ReportSources {
  // The profile to point the URL-cache service at; empty for the default.
  std::string profile;
  // kExitNothingToReport when nothing can be reported, kExitPartlyUnreadable
  // when some of it cannot be read, else kExitReported.
  int exitCode = kExitReported;
  std::vector<std::string> warnings;    // lines for stderr, without the program's name
  std::vector<std::string> unreadable;  // "path: reason"
  std::vector<std::string> notRead;     // containers of layouts that are passed over
};

// Examines `profile` (a Windows user folder or a Wine prefix), or without it
// the default location ($WINEPREFIX, else ~/.wine).
ReportSources ExamineSources(const std::optional<std::string>& profile);

// The key of `site` in `sites` (GetSites' keys), lower-cased as the
// queries take it; null when the list does not hold it.
std::optional<std::string> FindSite(const TSiteList& sites, const std::string& site);
