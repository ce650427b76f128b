// sitelore-report: the sites and traces of a URL cache and of the browser
// profiles beside it, for scripts and for examining a copied home or
// Windows profile. Reads only; writes nothing but its report.
//
//   sitelore-report [--profile DIR [--cache DIR]]... [--home DIR] [--sources]
//                   [--site KEY | --all-sites] [--json]
//
// Exit codes: 0 success, 1 nothing to read in a DIR or the report could not
// be written, 2 bad usage.
#include <CLI/CLI.hpp>
#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "analysis/CacheAnalyzer.h"
#include "platform/sources/BrowserProvider.h"
#include "platform/wininet/ContainerLocator.h"
#include "tools/SiteReport.h"

namespace {

constexpr const char* kProgram = "sitelore-report";

struct ProfileArgument {
  std::string folder;
  std::optional<std::string> cache;
};

// The folders to read, as given: what they are is found from their content.
struct Chosen {
  std::vector<std::string> winInet;
  std::vector<sources::BrowserProfile> browsers;
};

bool HasUrlCache(const std::string& profile) {
  const std::optional<std::string> userFolder = urlcache::ProfileUserFolder(profile);
  return userFolder && urlcache::LocateContainers(*userFolder).Any();
}

// Sorts `argument` into `chosen`; false with a message when it names no
// folder, or one holding neither a URL-cache container nor a browser profile.
bool Choose(const ProfileArgument& argument, Chosen& chosen) {
  const std::string& folder = argument.folder;
  std::error_code error;
  if (!std::filesystem::is_directory(folder, error)) {
    std::fprintf(stderr, "%s: %s: no such folder\n", kProgram, folder.c_str());
    return false;
  }
  if (std::optional<sources::BrowserProfile> browser = sources::BrowserProfileAt(folder)) {
    if (argument.cache) browser->cacheDir = *argument.cache;
    chosen.browsers.push_back(std::move(*browser));
    return true;
  }
  if (!HasUrlCache(folder)) {
    std::fprintf(stderr, "%s: %s: no URL-cache container found\n", kProgram, folder.c_str());
    return false;
  }
  if (argument.cache) {
    std::fprintf(stderr, "%s: %s: --cache applies to a browser profile\n", kProgram,
                 folder.c_str());
    return false;
  }
  chosen.winInet.push_back(folder);
  return true;
}

// The sources of the --profile folders: WinINet first, then Firefox, then
// the Chromium family, each in the order given.
std::unique_ptr<sources::MachineSources> SourcesOf(Chosen chosen) {
  auto result = std::make_unique<sources::MachineSources>(sources::ViewFolderName());
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
  std::vector<ProfileArgument> arguments;
  try {
    app.parse(argc, argv);
    if (!PairCaches(app, profiles, caches, arguments))
      throw CLI::ValidationError("--cache", "comes before any --profile");
  } catch (const CLI::CallForHelp&) {
    std::fputs(app.help().c_str(), stdout);
    return 0;
  } catch (const CLI::ParseError& error) {
    std::fprintf(stderr, "%s: %s\n%s", kProgram, error.what(), app.help().c_str());
    return 2;
  }

  std::unique_ptr<sources::MachineSources> machine;
  if (!arguments.empty()) {
    Chosen chosen;
    for (const auto& argument : arguments)
      if (!Choose(argument, chosen)) return 1;
    machine = SourcesOf(std::move(chosen));
  } else if (home) {
    machine =
        sources::MakeMachineProvider({*home, "", ""}, sources::ViewFolderName(), *home + "/.wine");
  } else {
    machine =
        sources::MakeMachineProvider(sources::RootsFromEnvironment(), sources::ViewFolderName());
  }
  if (listOnly) {
    ListSources(PresentSources(machine->Infos()));
    return std::fflush(stdout) == 0 ? 0 : 1;
  }
  urlcache::SetProvider(machine.get());

  TCacheAnalyzer analyzer;
  ReportRequest request;
  analyzer.GetSites(request.sites);
  analyzer.ScanCache();
  request.sources = PresentSources(machine->Describe());
  for (const sources::BrowserProvider* browser : machine->Browsers())
    for (const sources::SourceEntry& entry : browser->read().entries.content)
      request.cacheFiles.emplace(entry.localFileName, entry.sourceFile);
  NameProblems(request.sources);
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
  urlcache::SetProvider(nullptr);
  if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
    std::fprintf(stderr, "%s: cannot write the report\n", kProgram);
    return 1;
  }
  return 0;
}
