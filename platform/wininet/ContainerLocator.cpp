#include "platform/wininet/ContainerLocator.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <mutex>
#include <vector>

#include "platform/common/AsciiCase.h"
#include "platform/common/NameInFolder.h"

namespace urlcache {
namespace {

namespace fs = std::filesystem;

bool IsDirectory(const fs::path& path) {
  std::error_code error;
  return fs::is_directory(path, error);
}

// The entry of `folder` named `name` in any letter case.
std::optional<fs::path> FindEntry(const fs::path& folder, const std::string& name) {
  std::optional<std::string> found = platform::FindNameIgnoringCase(folder.string(), name);
  if (!found) return std::nullopt;
  return folder / *found;
}

std::string CurrentUserName() {
  if (const char* user = std::getenv("USER"); user && *user) return user;
  if (const passwd* entry = getpwuid(getuid()); entry && entry->pw_name) return entry->pw_name;
  return {};
}

std::string FindContainer(const std::string& userFolder, const char* ContainerLayout::*member) {
  for (const ContainerLayout& layout : kContainerLayouts) {
    std::optional<std::string> folder = ResolveCaseInsensitive(userFolder, layout.*member);
    if (folder && IsDirectory(*folder) && FindEntry(*folder, "index.dat")) return *folder;
  }
  return {};
}

struct ProfileSetting {
  std::mutex mutex;
  std::string profile;
};

ProfileSetting& Setting() {
  static ProfileSetting setting;
  return setting;
}

}  // namespace

const ContainerLayout kContainerLayouts[3] = {
    {"AppData/Local/Microsoft/Windows/INetCookies",
     "AppData/Local/Microsoft/Windows/History/History.IE5",
     "AppData/Local/Microsoft/Windows/INetCache/Content.IE5"},
    {"AppData/Roaming/Microsoft/Windows/Cookies",
     "AppData/Local/Microsoft/Windows/History/History.IE5",
     "AppData/Local/Microsoft/Windows/Temporary Internet Files/Content.IE5"},
    {"Cookies", "Local Settings/History/History.IE5",
     "Local Settings/Temporary Internet Files/Content.IE5"},
};

std::optional<std::string> ResolveCaseInsensitive(const std::string& base,
                                                  const std::string& relative) {
  fs::path current(base);
  for (const fs::path& part : fs::path(relative)) {
    if (part.empty()) continue;
    std::optional<fs::path> next = FindEntry(current, part.string());
    if (!next) return std::nullopt;
    current = *next;
  }
  return current.string();
}

std::optional<std::string> UserFolderOf(const std::string& root, const std::string& user) {
  if (!IsDirectory(root)) return std::nullopt;
  std::optional<std::string> users = ResolveCaseInsensitive(root, "drive_c/users");
  if (!users) return root;  // a Windows user folder itself
  if (!user.empty()) {
    if (std::optional<std::string> own = ResolveCaseInsensitive(*users, user);
        own && IsDirectory(*own))
      return own;
  }
  std::vector<fs::path> others;
  std::error_code error;
  for (fs::directory_iterator it(*users, error), end; !error && it != end; it.increment(error)) {
    if (IsDirectory(it->path()) &&
        !AsciiEqualIgnoringCase(it->path().filename().string(), "Public"))
      others.push_back(it->path());
  }
  if (others.size() == 1) return others.front().string();
  return std::nullopt;
}

std::optional<std::string> DefaultUserFolder() {
  std::string prefix;
  if (const char* wine = std::getenv("WINEPREFIX"); wine && *wine) {
    prefix = wine;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    prefix = std::string(home) + "/.wine";
  } else {
    return std::nullopt;
  }
  return UserFolderOf(prefix, CurrentUserName());
}

std::optional<std::string> ProfileUserFolder(const std::string& profile) {
  return UserFolderOf(profile, CurrentUserName());
}

ContainerFolders LocateContainers(const std::string& userFolder) {
  ContainerFolders folders;
  folders.cookies = FindContainer(userFolder, &ContainerLayout::cookies);
  folders.history = FindContainer(userFolder, &ContainerLayout::history);
  folders.content = FindContainer(userFolder, &ContainerLayout::content);
  return folders;
}

std::string UrlCacheProfile() {
  ProfileSetting& setting = Setting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  return setting.profile;
}

void SetUrlCacheProfile(std::string profile) {
  ProfileSetting& setting = Setting();
  std::lock_guard<std::mutex> lock(setting.mutex);
  setting.profile = std::move(profile);
}

}  // namespace urlcache
