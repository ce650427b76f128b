#include "platform/wininet/ContainerLocator.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
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

void NoteOnce(std::vector<std::string>& notes, std::string note) {
  if (std::find(notes.begin(), notes.end(), note) == notes.end()) notes.push_back(std::move(note));
}

// Notes `folder` when it exists but cannot be listed.
void NoteUnlistable(const fs::path& folder, ContainerSurvey& survey) {
  DIR* entries = opendir(folder.c_str());
  if (entries) {
    closedir(entries);
    return;
  }
  if (errno != ENOENT && errno != ENOTDIR)
    NoteOnce(survey.unreadable, folder.string() + ": " + std::strerror(errno));
}

// Like ResolveCaseInsensitive, noting the folder where the walk is refused.
std::optional<fs::path> WalkNoting(const std::string& base, const std::string& relative,
                                   ContainerSurvey& survey) {
  fs::path current(base);
  for (const fs::path& part : fs::path(relative)) {
    std::optional<fs::path> next = FindEntry(current, part.string());
    if (!next) {
      NoteUnlistable(current, survey);
      return std::nullopt;
    }
    current = *next;
  }
  return current;
}

// Opening without reading leaves the access time alone; O_NONBLOCK keeps a
// FIFO from blocking the survey.
void NoteUnopenable(const fs::path& file, ContainerSurvey& survey) {
  const int fd = open(file.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd >= 0) {
    close(fd);
    return;
  }
  NoteOnce(survey.unreadable, file.string() + ": " + std::strerror(errno));
}

void SurveyKind(const std::string& userFolder, const char* ContainerLayout::*member,
                const std::string& chosen, ContainerSurvey& survey) {
  for (const ContainerLayout& layout : kContainerLayouts) {
    std::optional<fs::path> folder = WalkNoting(userFolder, layout.*member, survey);
    if (!folder || !IsDirectory(*folder)) continue;
    std::optional<fs::path> file = FindEntry(*folder, "index.dat");
    if (!file) {
      NoteUnlistable(*folder, survey);
      continue;
    }
    if (folder->string() == chosen)
      NoteUnopenable(*file, survey);
    else
      NoteOnce(survey.passedOver, file->string());
  }
}

// Paths of cached files are handed to other programs, whose working folder
// is not ours.
std::string Absolute(const std::string& path) {
  std::error_code error;
  const fs::path absolute = fs::absolute(path, error);
  if (error) return path;
  // Only "." steps are dropped: undoing a ".." on the text would be wrong
  // where the step before it is a symbolic link.
  fs::path tidy;
  for (const fs::path& step : absolute)
    if (step != "." && !step.empty()) tidy /= step;
  return tidy.string();
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

namespace {

// UserFolderOf, asking `userName()` for the user's name only where a
// prefix's users are to be chosen from: looking a name up in the user
// database can cost more than finding the folder.
template <typename UserName>
std::optional<std::string> FindUserFolder(const std::string& root, UserName userName) {
  if (!IsDirectory(root)) return std::nullopt;
  std::optional<std::string> users = ResolveCaseInsensitive(root, "drive_c/users");
  if (!users) return root;  // a Windows user folder itself
  if (const std::string user = userName(); !user.empty()) {
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

}  // namespace

std::optional<std::string> UserFolderOf(const std::string& root, const std::string& user) {
  return FindUserFolder(root, [&user] { return user; });
}

std::string DefaultWinePrefix() {
  std::string prefix;
  if (const char* wine = std::getenv("WINEPREFIX"); wine && *wine) {
    prefix = wine;
  } else if (const char* home = std::getenv("HOME"); home && *home) {
    prefix = std::string(home) + "/.wine";
  } else {
    return {};
  }
  return Absolute(prefix);
}

std::optional<std::string> DefaultUserFolder() {
  const std::string prefix = DefaultWinePrefix();
  if (prefix.empty()) return std::nullopt;
  return FindUserFolder(prefix, CurrentUserName);
}

std::optional<std::string> ProfileUserFolder(const std::string& profile) {
  return FindUserFolder(Absolute(profile), CurrentUserName);
}

ContainerFolders LocateContainers(const std::string& userFolder) {
  ContainerFolders folders;
  folders.cookies = LocateContainer(userFolder, &ContainerLayout::cookies);
  folders.history = LocateContainer(userFolder, &ContainerLayout::history);
  folders.content = LocateContainer(userFolder, &ContainerLayout::content);
  return folders;
}

std::string LocateContainer(const std::string& userFolder, const char* ContainerLayout::*kind) {
  for (const ContainerLayout& layout : kContainerLayouts) {
    std::optional<std::string> folder = ResolveCaseInsensitive(userFolder, layout.*kind);
    if (folder && IsDirectory(*folder) && FindEntry(*folder, "index.dat")) return *folder;
  }
  return {};
}

ContainerSurvey SurveyContainers(const std::string& userFolder) {
  ContainerSurvey survey;
  survey.folders = LocateContainers(userFolder);
  SurveyKind(userFolder, &ContainerLayout::cookies, survey.folders.cookies, survey);
  SurveyKind(userFolder, &ContainerLayout::history, survey.folders.history, survey);
  SurveyKind(userFolder, &ContainerLayout::content, survey.folders.content, survey);
  return survey;
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
