// sitelore-report: the sites and traces of a URL cache, for scripts and for
// examining a copied Windows profile. Reads only; writes nothing but its
// report.
//
//   sitelore-report [--profile DIR] [--site KEY | --all-sites] [--json]
//
// Exit codes: 0 success, 1 no URL cache in DIR or the report could not be
// written, 2 bad usage.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>

#include "analysis/CacheAnalyzer.h"
#include "platform/wininet/ContainerLocator.h"
#include "tools/SiteReport.h"

namespace {

constexpr const char* kProgram = "sitelore-report";

// Points the URL-cache service at `profile`; false with a message when it
// names no folder holding a URL-cache container.
bool UseProfile(const std::string& profile) {
  std::error_code error;
  if (!std::filesystem::is_directory(profile, error)) {
    std::fprintf(stderr, "%s: %s: no such folder\n", kProgram, profile.c_str());
    return false;
  }
  const std::optional<std::string> userFolder = urlcache::ProfileUserFolder(profile);
  if (!userFolder || !urlcache::LocateContainers(*userFolder).Any()) {
    std::fprintf(stderr, "%s: %s: no URL-cache container found\n", kProgram, profile.c_str());
    return false;
  }
  urlcache::SetUrlCacheProfile(profile);
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"Lists the web sites and browsing traces found in the WinINet URL cache.", kProgram};
  std::optional<std::string> profile, site;
  bool allSites = false, json = false;
  app.add_option("--profile", profile,
                 "Windows user folder or Wine prefix to read instead of the default location")
      ->type_name("DIR");
  CLI::Option* siteOption =
      app.add_option("--site", site, "Also list the traces of this site")->type_name("KEY");
  CLI::Option* allOption = app.add_flag("--all-sites", allSites, "List the traces of every site");
  siteOption->excludes(allOption);
  app.add_flag("--json", json, "Write one JSON object instead of text");
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, error.what(), app.help().c_str());
    return 2;
  }

  if (profile && !UseProfile(*profile)) return 1;

  TCacheAnalyzer analyzer;
  ReportRequest request;
  analyzer.GetSites(request.sites);
  analyzer.ScanCache();
  if (site) {
    request.detail.push_back(*site);
  } else if (allSites) {
    request.detail = request.sites;
    request.allSites = true;
  }
  if (json)
    WriteJson(analyzer, request, stdout);
  else
    WriteText(analyzer, request, stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: cannot write the report\n", kProgram);
    return 1;
  }
  return 0;
}
