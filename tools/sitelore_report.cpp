// sitelore-report: the sites and traces of a URL cache and of the browser
// profiles beside it, for scripts and for examining a copied home or
// Windows profile. Reads only; writes nothing but its report, and with
// --extract the browser traces into the folder it names (through a private
// view folder of its own, removed at exit).
//
//   sitelore-report [--profile DIR [--cache DIR]]... [--home DIR] [--sources]
//                   [--site KEY | --all-sites] [--json] [--extract DIR]
//
// Exit codes: see kExitCodes.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/CacheAnalyzer.h"
#include "analysis/SiteMatcher.h"
#include "platform/common/LargeBuffer.h"
#include "platform/sources/BrowserProvider.h"
#include "platform/sources/TraceExtraction.h"
#include "platform/sources/view/ViewFolder.h"
#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/DiskUrlCache.h"
#include "tools/ReportSources.h"
#include "tools/SiteReport.h"

namespace {

constexpr const char* kProgram = "sitelore-report";

#if defined(__SANITIZE_ADDRESS__)
constexpr bool kLeakChecked = true;
#else
constexpr bool kLeakChecked = false;
#endif

constexpr const char* kExitCodes =
    "Exit codes:\n"
    "  0  the report was written\n"
    "  1  no URL cache or browser profile was found (the message says where it looked),\n"
    "     --site names no site of the list, the --extract folder could not be made,\n"
    "     or the report could not be written\n"
    "  2  bad usage\n"
    "  3  a container or folder could not be read (named on stderr); the readable rest\n"
    "     was reported\n"
    "Containers of a layout that is passed over are named on stderr and in JSON\n"
    "(\"not_read\") without changing the exit code, and so are the problems of the\n"
    "browser sources (\"sources\"). In JSON, a text that is not UTF-8 is also given\n"
    "losslessly in a second field (see README).\n";

void Warn(const std::string& message) {
  std::fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
}

// Adds what examining one WinINet profile found to what the report says.
void Merge(ReportSources& into, ReportSources from) {
  into.exitCode = std::max(into.exitCode, from.exitCode);
  const auto append = [](std::vector<std::string>& to, std::vector<std::string>& more) {
    to.insert(to.end(), more.begin(), more.end());
  };
  append(into.warnings, from.warnings);
  append(into.unreadable, from.unreadable);
  append(into.notRead, from.notRead);
}

struct ProfileArgument {
  std::string folder;
  std::optional<std::string> cache;
};

// The folders to read, as given: what they are is found from their content.
struct Chosen {
  std::vector<std::string> winInet;
  std::vector<sources::BrowserProfile> browsers;
};

// Sorts `argument` into `chosen`, adding what a WinINet folder's examination
// found to `winInet`; false with a message when it names no folder, or one
// holding neither a URL-cache container nor a browser profile.
bool Choose(const ProfileArgument& argument, Chosen& chosen, ReportSources& winInet) {
  const std::string& folder = argument.folder;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    Warn(folder + ": no such folder");
    return false;
  }
  if (std::optional<sources::BrowserProfile> browser = sources::BrowserProfileAt(folder)) {
    if (argument.cache) browser->cacheDir = *argument.cache;
    chosen.browsers.push_back(std::move(*browser));
    return true;
  }
  ReportSources examined = ExamineSources(folder);
  if (examined.exitCode == kExitNothingToReport) {
    for (const std::string& warning : examined.warnings) Warn(warning);
    return false;
  }
  if (argument.cache) {
    Warn(folder + ": --cache applies to a browser profile");
    return false;
  }
  Merge(winInet, std::move(examined));
  chosen.winInet.push_back(folder);
  return true;
}

bool HasBrowserSources(const sources::MachineSources& machine) {
  for (const sources::SourceInfo& info : machine.Infos())
    if (info.kind != "wininet") return true;
  return false;
}

// The sources of the --profile folders: WinINet first, then Firefox, then
// the Chromium family, each in the order given.
std::unique_ptr<sources::MachineSources> SourcesOf(Chosen chosen, const std::string& viewFolder) {
  auto result = std::make_unique<sources::MachineSources>(viewFolder);
  for (std::string& profile : chosen.winInet) result->AddWinInet(std::move(profile));
  std::stable_partition(chosen.browsers.begin(), chosen.browsers.end(), [](const auto& profile) {
    return profile.kind == sources::BrowserKind::kFirefox;
  });
  sources::AssignLabels(chosen.browsers);
  for (auto& profile : chosen.browsers) result->AddBrowser(std::move(profile));
  return result;
}

// The --profile options with the --cache that follows each, in order; false
// for a --cache before any --profile.
bool PairCaches(const CLI::App& app, const std::vector<std::string>& profiles,
                const std::vector<std::string>& caches, std::vector<ProfileArgument>& out) {
  const CLI::Option* profileOption = app.get_option("--profile");
  std::size_t nextProfile = 0, nextCache = 0;
  for (const CLI::Option* option : app.parse_order()) {
    if (option == profileOption && nextProfile < profiles.size()) {
      out.push_back({profiles[nextProfile++], std::nullopt});
    } else if (option == app.get_option("--cache") && nextCache < caches.size()) {
      if (out.empty()) return false;
      out.back().cache = caches[nextCache++];
    }
  }
  return true;
}

// The WinINet sources that hold no container are left out of the listing, as
// an absent source is; the disk service's default gets its folder's name.
std::vector<sources::SourceInfo> PresentSources(std::vector<sources::SourceInfo> infos) {
  std::vector<sources::SourceInfo> present;
  for (auto& info : infos) {
    if (info.kind == "wininet") {
      const std::optional<std::string> userFolder = urlcache::ProfileUserFolder(info.profileDir);
      if (!userFolder || !urlcache::LocateContainers(*userFolder).Any()) continue;
      if (info.profileDir.empty()) info.profileDir = *userFolder;
    }
    present.push_back(std::move(info));
  }
  return present;
}

void ListSources(const std::vector<sources::SourceInfo>& infos) {
  for (const auto& info : infos)
    std::printf("%s\t%s\t%s\t%s\n", info.kind.c_str(), info.label.c_str(), info.profileDir.c_str(),
                info.cacheDir.empty() ? "-" : info.cacheDir.c_str());
}

void NameProblems(const std::vector<sources::SourceInfo>& infos) {
  for (const auto& info : infos)
    for (const auto& problem : info.problems)
      std::fprintf(stderr, "%s: %s: %s\n", kProgram, info.label.c_str(), problem.c_str());
}

}  // namespace

int main(int argc, char** argv) {
  // Past a file-size limit (ulimit -f) a write then fails with EFBIG and the
  // report says it could not be written, instead of the process dying.
  std::signal(SIGXFSZ, SIG_IGN);
  // A report fills its lists once and exits: whole huge pages from the
  // start cost far fewer faults than growing through small ones.
  platform::PreferHugePages(true);
  CLI::App app{
      "Lists the web sites and browsing traces found in the WinINet URL cache and in "
      "the Firefox and Chromium-family profiles.",
      kProgram};
  std::vector<std::string> profiles, caches;
  std::optional<std::string> home, site;
  bool allSites = false, json = false, listOnly = false;
  CLI::Option* profileOption =
      app.add_option("--profile", profiles,
                     "Windows user folder, Wine prefix, Firefox or Chromium profile to read "
                     "instead of the default locations (repeatable)")
          ->type_name("DIR")
          ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
          ->allow_extra_args(false);
  app.add_option("--cache", caches, "Cache folder of the preceding browser --profile")
      ->type_name("DIR")
      ->multi_option_policy(CLI::MultiOptionPolicy::TakeAll)
      ->allow_extra_args(false)
      ->needs(profileOption);
  app.add_option(
         "--home", home,
         "Discover the browser profiles and the Wine prefix (DIR/.wine) under DIR instead of $HOME")
      ->type_name("DIR")
      ->excludes(profileOption);
  app.add_flag("--sources", listOnly, "List what would be read (kind, label, folders) and exit");
  CLI::Option* siteOption =
      app.add_option("--site", site, "Also list the traces of this site")->type_name("KEY");
  CLI::Option* allOption = app.add_flag("--all-sites", allSites, "List the traces of every site");
  siteOption->excludes(allOption);
  app.add_flag("--json", json, "Write one JSON object instead of text");
  std::optional<std::string> extract;
  app.add_option("--extract", extract,
                 "Write the browser sources' cached files (decoded) and cookie sheets under DIR, "
                 "one folder per source")
      ->type_name("DIR");
  app.footer(kExitCodes);
  std::vector<ProfileArgument> arguments;
  try {
    app.parse(argc, argv);
    if (!PairCaches(app, profiles, caches, arguments))
      throw CLI::ValidationError("--cache", "comes before any --profile");
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return kExitReported;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, error.what(), app.help().c_str());
    return kExitUsage;
  }

  ReportSources winInet;  // what the report must say of the WinINet cache
  std::unique_ptr<sources::MachineSources> machine;
  // Only --extract writes traces out, and only then is a view folder made.
  std::optional<sources::view::ViewFolder> view;
  if (extract && !listOnly) view.emplace(sources::view::ViewFolder::ForThisProcess());
  const std::string viewFolder = view ? view->Path() : sources::ViewFolderName();
  if (!arguments.empty()) {
    Chosen chosen;
    for (const auto& argument : arguments)
      if (!Choose(argument, chosen, winInet)) return kExitNothingToReport;
    machine = SourcesOf(std::move(chosen), viewFolder);
  } else {
    const std::optional<std::string> prefix =
        home ? std::optional<std::string>(*home + "/.wine") : std::nullopt;
    winInet = ExamineSources(prefix);
    const sources::DiscoveryRoots roots =
        home ? sources::DiscoveryRoots{*home, "", ""} : sources::RootsFromEnvironment();
    machine = sources::MakeMachineProvider(roots, viewFolder, home ? *prefix : std::string());
    if (winInet.exitCode == kExitNothingToReport) {
      // An absent WinINet cache is passed over like any absent source; with
      // no browser profile either there is nothing to report.
      if (!HasBrowserSources(*machine)) {
        const std::string noBrowser =
            "no browser profile found under " + (roots.home.empty() ? "HOME" : roots.home);
        if (winInet.warnings.empty())
          winInet.warnings.push_back(noBrowser);
        else
          winInet.warnings.back() += "; " + noBrowser;
        for (const std::string& warning : winInet.warnings) Warn(warning);
        return kExitNothingToReport;
      }
      winInet = {};
    }
  }
  if (listOnly) {
    ListSources(PresentSources(machine->Infos()));
    return std::fflush(stdout) == 0 ? kExitReported : kExitNothingToReport;
  }
  for (const std::string& warning : winInet.warnings) Warn(warning);
  urlcache::SetProvider(machine.get());

  TCacheAnalyzer analyzer;
  analyzer.SetParallelScan(true);
  // The site list and the totals are all that a report without --site or
  // --all-sites reads of the scan.
  analyzer.SetKeepTraces(site || allSites);
  ReportRequest request;
  request.notRead = winInet.notRead;
  request.unreadable = winInet.unreadable;
  analyzer.GetSites(request.sites);
  analyzer.ScanCache();
  request.sources = PresentSources(machine->Describe());
  // The containers' copies are read no more: their pages serve what the
  // report builds next.
  urlcache::FlushSnapshots();
  for (const sources::BrowserProvider* browser : machine->Browsers())
    for (const sources::SourceEntry& entry : browser->read().entries.content)
      request.cacheFiles.emplace(entry.localFileName, entry.sourceFile);
  NameProblems(request.sources);
  if (extract) {
    request.extracted.emplace();
    if (!sources::ExtractTraces(*machine, *extract, *request.extracted)) {
      urlcache::SetProvider(nullptr);
      Warn(*extract + ": cannot make or open the folder to extract into");
      return kExitNothingToReport;
    }
  }
  if (site) {
    const std::optional<std::string> key = FindSite(request.sites, *site);
    if (!key) {
      urlcache::SetProvider(nullptr);
      Warn(*site + ": no such site in the site list");
      return kExitNothingToReport;
    }
    request.detail.push_back(*key);
  } else if (allSites) {
    request.detail = request.sites;
    request.allSites = true;
  }
  if (json)
    WriteJson(analyzer, request, stdout);
  else
    WriteText(analyzer, request, stdout);
  urlcache::SetProvider(nullptr);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    Warn("cannot write the report");
    return kExitNothingToReport;
  }
  // The report is out. What the scan holds (the containers' copies, the
  // lists, the index of every site) is the system's to take back at once:
  // destroying it piece by piece took longer than the rest of the exit. A
  // view folder still goes with its owner, and a leak checker sees the
  // objects destroyed.
  if (!view && !kLeakChecked) std::_Exit(winInet.exitCode);
  return winInet.exitCode;
}
