// sitelore-report: the sites and traces of a URL cache, for scripts and for
// examining a copied Windows profile. Reads only; writes nothing but its
// report.
//
//   sitelore-report [--profile DIR] [--site KEY | --all-sites] [--json]
//
// Exit codes: see kExitCodes.
#include <CLI/CLI.hpp>
#include <csignal>
#include <cstdio>
#include <optional>
#include <string>

#include "analysis/CacheAnalyzer.h"
#include "platform/wininet/ContainerLocator.h"
#include "tools/ReportSources.h"
#include "tools/SiteReport.h"

namespace {

constexpr const char* kProgram = "sitelore-report";

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0  the report was written\n"
    "  1  no URL cache was found (the message says where it looked), --site names no site\n"
    "     of the list, or the report could not be written\n"
    "  2  bad usage\n"
    "  3  a container or folder could not be read (named on stderr); the readable rest\n"
    "     was reported\n"
    "Containers of a layout that is passed over are named on stderr and in JSON\n"
    "(\"not_read\") without changing the exit code. In JSON, a text that is not UTF-8\n"
    "is also given losslessly in a second field (see README).\n";

void Warn(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit (ulimit -f) a write then fails with EFBIG and the
  // report says it could not be written, instead of the process dying.
  std::signal(SIGXFSZ, SIG_IGN);
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
  app.footer(kExitCodes);
  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return kExitReported;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, error.what(), app.help().c_str());
    return kExitUsage;
  }

  const ReportSources sources = ExamineSources(profile);
  for (const std::string& warning : sources.warnings) Warn(warning);
  if (sources.exitCode == kExitNothingToReport) return kExitNothingToReport;
  urlcache::SetUrlCacheProfile(sources.profile);

  TCacheAnalyzer analyzer;
  ReportRequest request;
  request.notRead = sources.notRead;
  request.unreadable = sources.unreadable;
  analyzer.GetSites(request.sites);
  if (site) {
    const std::optional<std::string> key = FindSite(request.sites, *site);
    if (!key) {
      Warn(*site + ": no such site in the site list");
      return kExitNothingToReport;
    }
    request.detail.push_back(*key);
  }
  analyzer.ScanCache();
  if (allSites) {
    request.detail = request.sites;
    request.allSites = true;
  }
  if (json)
    WriteJson(analyzer, request, stdout);
  else
    WriteText(analyzer, request, stdout);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: cannot write the report\n", kProgram);
    return kExitNothingToReport;
  }
  return sources.exitCode;
}
