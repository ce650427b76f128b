// Finds the current user's WinINet containers on disk: in a Wine prefix or in
// a Windows user folder copied or mounted here, with any letter case.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace urlcache {

// Folders of the three containers; empty when that container is not found.
struct ContainerFolders {
  std::string cookies;
  std::string history;
  std::string content;

  bool Any() const { return !cookies.empty() || !history.empty() || !content.empty(); }
};

// The Windows user folder that `root` names: `root` itself when it holds a
// container; for a Wine prefix (a folder with drive_c) its users/`user`
// folder, or the one user folder other than Public when `user`'s is missing.
// Null when none is found.
std::optional<std::string> UserFolderOf(const std::string& root, const std::string& user);

// $WINEPREFIX (default ~/.wine), made absolute against the current folder
// once, here, so that every path derived from it stays valid wherever it is
// handed. Empty when neither WINEPREFIX nor HOME is set.
std::string DefaultWinePrefix();

// DefaultWinePrefix() resolved as above for $USER.
std::optional<std::string> DefaultUserFolder();

// A profile given by the user (a user folder or a Wine prefix), made
// absolute, resolved as above for $USER.
std::optional<std::string> ProfileUserFolder(const std::string& profile);

// Where one layout keeps the three containers, relative to the user folder.
struct ContainerLayout {
  const char* cookies;
  const char* history;
  const char* content;
};

// The layouts in the order LocateContainers tries them: Wine, Vista/7, XP.
extern const ContainerLayout kContainerLayouts[3];

// The containers of a user folder: for each, the first layout (Wine, Vista/7,
// XP) whose folder exists and holds an index.dat, matched without regard to
// letter case. The paths name the folders as they are spelled on disk.
ContainerFolders LocateContainers(const std::string& userFolder);
// One of them, `kind` naming it in a layout (&ContainerLayout::cookies, ...),
// as LocateContainers finds it.
std::string LocateContainer(const std::string& userFolder, const char* ContainerLayout::*kind);

// What a search for the containers of a user folder met on its way, for
// callers that must say why a container is missing.
struct ContainerSurvey {
  ContainerFolders folders;  // as LocateContainers finds them
  // "path: reason" for each folder or index.dat that exists but cannot be
  // listed or opened; the search goes on past it.
  std::vector<std::string> unreadable;
  // index.dat files of later layouts, passed over because an earlier
  // layout's container of the same kind is read instead.
  std::vector<std::string> passedOver;
};
ContainerSurvey SurveyContainers(const std::string& userFolder);

// Finds `relative` ("a/b/c") below `base`, matching each component without
// regard to ASCII letter case. Null when some component is missing.
std::optional<std::string> ResolveCaseInsensitive(const std::string& base,
                                                  const std::string& relative);

// Reads the profile the disk service is pointed at: empty means the default
// location, else a Windows user folder or a Wine prefix.
std::string UrlCacheProfile();
void SetUrlCacheProfile(std::string profile);

}  // namespace urlcache
