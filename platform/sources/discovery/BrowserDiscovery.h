// Finds every Firefox and Chromium-family profile under a home folder (the
// usual, XDG, Flatpak and Snap locations), each with its cache folder, and
// gives each a label unique among them.
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace sources {

enum class BrowserKind { kFirefox, kChromium };

struct BrowserProfile {
  BrowserKind kind = BrowserKind::kFirefox;
  std::string browser;  // "firefox", "chromium", "chrome", "brave", "edge", "vivaldi"
  std::string install;  // "", "flatpak" or "snap"
  std::string profileName;
  std::string profileDir;
  // Firefox: the cache2 folder; Chromium: the Cache_Data folder. It may not
  // exist.
  std::string cacheDir;
  // The browser, "-flatpak"/"-snap", and ".<profile name>" when the install
  // has more than one profile; never holds "@", ":", "/" or "\".
  std::string label;
};

struct DiscoveryRoots {
  std::string home;
  std::string configHome;  // empty: <home>/.config
  std::string cacheHome;   // empty: <home>/.cache
};

// Profiles in a stable order: Firefox installs (usual, Flatpak, Snap), then
// the Chromium family (Chromium, Google Chrome, Brave, Edge, Vivaldi; each
// usual, Flatpak, Snap), profiles of one install by folder name. Absent
// locations are skipped. Labels are assigned.
std::vector<BrowserProfile> DiscoverProfiles(const DiscoveryRoots& roots);

// The profile in `folder` when it holds a Firefox profile (places.sqlite or
// cookies.sqlite) or a Chromium one (History or Cookies), as discovery finds
// it from the home it sits in (so that a copied home gives its cache
// folder); without such a home, the profile alone with no cache folder.
// Labels are left to AssignLabels.
std::optional<BrowserProfile> BrowserProfileAt(const std::string& folder);

// The roots of the user running us: $HOME, $XDG_CONFIG_HOME, $XDG_CACHE_HOME.
DiscoveryRoots RootsFromEnvironment();

// Gives every profile its label, made unique by a "~<n>" suffix where two
// would be equal.
void AssignLabels(std::vector<BrowserProfile>& profiles);

// The Chromium profile folders of a user-data folder: those listed in its
// Local State (profile.info_cache) that exist, and any subfolder that holds a
// History file; sorted by name.
std::vector<std::string> ChromiumProfileFolders(const std::string& userData);

}  // namespace sources
