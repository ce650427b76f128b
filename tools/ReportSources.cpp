#include "tools/ReportSources.h"

#include <algorithm>
#include <filesystem>

#include "analysis/CacheAnalyzer.h"
#include "analysis/TraceKind.h"
#include "platform/common/AsciiCase.h"
#include "platform/wininet/ContainerLocator.h"

namespace {

namespace fs = std::filesystem;

ReportSources Nothing(ReportSources sources, std::string warning) {
  sources.exitCode = kExitNothingToReport;
  sources.warnings.push_back(std::move(warning));
  return sources;
}

// Why `folder` yields no user folder: a folder on the way that cannot be
// listed, else empty.
std::string RefusedOnTheWay(const std::string& root) {
  for (const std::string& folder : {root, root + "/drive_c", root + "/drive_c/users"}) {
    std::error_code error;
    fs::directory_iterator probe(folder, error);
    if (error == std::errc::permission_denied) return folder + ": " + error.message();
  }
  return {};
}

}  // namespace

ReportSources ExamineSources(const std::optional<std::string>& profile) {
  ReportSources sources;
  std::string root;
  std::optional<std::string> userFolder;
  if (profile) {
    std::error_code error;
    if (!fs::is_directory(*profile, error)) return Nothing(sources, *profile + ": no such folder");
    root = *profile;
    sources.profile = *profile;
    userFolder = urlcache::ProfileUserFolder(*profile);
  } else {
    root = urlcache::DefaultWinePrefix();
    if (root.empty())
      return Nothing(sources, "no URL cache found: neither WINEPREFIX nor HOME is set");
    userFolder = urlcache::DefaultUserFolder();
  }
  if (!userFolder) {
    if (std::string refused = RefusedOnTheWay(root); !refused.empty()) {
      sources.exitCode = kExitPartlyUnreadable;
      sources.unreadable.push_back(refused);
      sources.warnings.push_back(refused + " (cannot be read)");
      return sources;
    }
    return Nothing(sources, "no URL cache found: " + root +
                                " is neither a Windows user folder nor a Wine prefix with one");
  }

  const urlcache::ContainerSurvey survey = urlcache::SurveyContainers(*userFolder);
  for (const std::string& path : survey.unreadable)
    sources.warnings.push_back(path + " (cannot be read)");
  for (const std::string& path : survey.passedOver)
    sources.warnings.push_back(path + ": not read, another layout's container of its kind is read");
  sources.unreadable = survey.unreadable;
  sources.notRead = survey.passedOver;
  if (!survey.unreadable.empty()) {
    sources.exitCode = kExitPartlyUnreadable;
  } else if (!survey.folders.Any()) {
    return Nothing(sources, "no URL cache found: looked in " + *userFolder +
                                " for the Wine, Vista/7 and XP layouts");
  }
  return sources;
}

std::optional<std::string> FindSite(const TSiteList& sites, const std::string& site) {
  const std::string key = AsciiLower(site);
  if (std::find(sites.begin(), sites.end(), key) == sites.end()) return std::nullopt;
  return key;
}
