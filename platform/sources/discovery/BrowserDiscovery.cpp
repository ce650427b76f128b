#include "platform/sources/discovery/BrowserDiscovery.h"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <set>

#include "platform/sources/files/ReadOnlyFile.h"
#include "platform/sources/firefox/ProfilesIni.h"

namespace sources {

namespace {

namespace fs = std::filesystem;

constexpr std::uint64_t kMaxLocalStateBytes = 16 << 20;

bool IsDirectory(const std::string& path) {
  std::error_code error;
  return fs::is_directory(fs::symlink_status(path, error)) ||
         (fs::is_symlink(fs::symlink_status(path, error)) && fs::is_directory(path, error));
}

bool IsFile(const std::string& path) {
  std::error_code error;
  return fs::is_regular_file(path, error);
}

struct FirefoxInstall {
  std::string install;
  std::vector<std::string> roots;
  std::string cacheRoot;
};

struct ChromiumBrowser {
  const char* browser;
  const char* folder;     // under ~/.config and ~/.cache
  const char* flatpakId;  // under ~/.var/app
};

constexpr ChromiumBrowser kChromiumFamily[] = {
    {"chromium", "chromium", "org.chromium.Chromium"},
    {"chrome", "google-chrome", "com.google.Chrome"},
    {"brave", "BraveSoftware/Brave-Browser", "com.brave.Browser"},
    {"edge", "microsoft-edge", "com.microsoft.Edge"},
    {"vivaldi", "vivaldi", "com.vivaldi.Vivaldi"},
};

std::string FirefoxCacheFolder(const firefox::ProfileListing& listing, const std::string& root,
                               const std::string& cacheRoot) {
  std::string relative = listing.relativePath;
  if (relative.empty() && listing.path.rfind(root + "/", 0) == 0)
    relative = listing.path.substr(root.size() + 1);
  if (!relative.empty()) {
    std::string usual = cacheRoot + "/" + relative + "/cache2";
    if (IsDirectory(usual) || !IsDirectory(listing.path + "/cache2")) return usual;
  }
  return listing.path + "/cache2";
}

void AddFirefoxInstall(const FirefoxInstall& install, std::vector<BrowserProfile>& out) {
  std::set<std::string> seen;
  for (const std::string& root : install.roots) {
    for (const auto& listing : firefox::ReadProfilesIni(root)) {
      if (!IsDirectory(listing.path)) continue;
      std::error_code error;
      std::string canonical = fs::weakly_canonical(listing.path, error).string();
      if (!seen.insert(error ? listing.path : canonical).second) continue;
      BrowserProfile profile;
      profile.kind = BrowserKind::kFirefox;
      profile.browser = "firefox";
      profile.install = install.install;
      profile.profileName =
          listing.name.empty() ? fs::path(listing.path).filename().string() : listing.name;
      profile.profileDir = listing.path;
      profile.cacheDir = FirefoxCacheFolder(listing, root, install.cacheRoot);
      out.push_back(std::move(profile));
    }
  }
}

void AddChromiumInstall(const char* browser, const std::string& install,
                        const std::string& userData, const std::string& cacheRoot,
                        std::vector<BrowserProfile>& out) {
  if (!IsDirectory(userData)) return;
  for (const std::string& folder : ChromiumProfileFolders(userData)) {
    BrowserProfile profile;
    profile.kind = BrowserKind::kChromium;
    profile.browser = browser;
    profile.install = install;
    profile.profileName = folder;
    profile.profileDir = userData + "/" + folder;
    profile.cacheDir = cacheRoot + "/" + folder + "/Cache/Cache_Data";
    out.push_back(std::move(profile));
  }
}

std::string LabelSafe(std::string text) {
  for (char& c : text)
    if (c == '@' || c == ':' || c == '/' || c == '\\' || static_cast<unsigned char>(c) < 0x20)
      c = '_';
  return text;
}

}  // namespace

std::vector<std::string> ChromiumProfileFolders(const std::string& userData) {
  std::set<std::string> folders;
  ReadOnlyFile localState(userData + "/Local State");
  std::string text;
  if (localState.IsOpen() && localState.ReadAll(kMaxLocalStateBytes, text)) {
    auto json = nlohmann::json::parse(text, nullptr, false);
    if (!json.is_discarded() && json.is_object() && json.contains("profile") &&
        json["profile"].is_object() && json["profile"].contains("info_cache") &&
        json["profile"]["info_cache"].is_object()) {
      for (const auto& [name, info] : json["profile"]["info_cache"].items()) {
        (void)info;
        if (name.find('/') == std::string::npos && name != "." && name != ".." &&
            IsDirectory(userData + "/" + name))
          folders.insert(name);
      }
    }
  }
  std::error_code error;
  for (fs::directory_iterator it(userData, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    if (IsFile(it->path() / "History")) folders.insert(it->path().filename().string());
  }
  return {folders.begin(), folders.end()};
}

DiscoveryRoots RootsFromEnvironment() {
  DiscoveryRoots roots;
  auto env = [](const char* name) {
    const char* value = std::getenv(name);
    return value && value[0] == '/' ? std::string(value) : std::string();
  };
  roots.home = env("HOME");
  roots.configHome = env("XDG_CONFIG_HOME");
  roots.cacheHome = env("XDG_CACHE_HOME");
  return roots;
}

std::vector<BrowserProfile> DiscoverProfiles(const DiscoveryRoots& roots) {
  std::vector<BrowserProfile> profiles;
  if (roots.home.empty()) return profiles;
  const std::string& home = roots.home;
  const std::string config = roots.configHome.empty() ? home + "/.config" : roots.configHome;
  const std::string cache = roots.cacheHome.empty() ? home + "/.cache" : roots.cacheHome;
  const std::string flatpakFirefox = home + "/.var/app/org.mozilla.firefox";
  const std::string snapFirefox = home + "/snap/firefox/common";

  AddFirefoxInstall(
      {"", {home + "/.mozilla/firefox", config + "/mozilla/firefox"}, cache + "/mozilla/firefox"},
      profiles);
  AddFirefoxInstall(
      {"flatpak",
       {flatpakFirefox + "/.mozilla/firefox", flatpakFirefox + "/config/mozilla/firefox"},
       flatpakFirefox + "/cache/mozilla/firefox"},
      profiles);
  AddFirefoxInstall(
      {"snap", {snapFirefox + "/.mozilla/firefox"}, snapFirefox + "/.cache/mozilla/firefox"},
      profiles);

  for (const auto& family : kChromiumFamily) {
    const std::string folder = family.folder;
    AddChromiumInstall(family.browser, "", config + "/" + folder, cache + "/" + folder, profiles);
    const std::string app = home + "/.var/app/" + family.flatpakId;
    AddChromiumInstall(family.browser, "flatpak", app + "/config/" + folder,
                       app + "/cache/" + folder, profiles);
    if (std::string(family.browser) == "chromium") {
      const std::string snap = home + "/snap/chromium/common";
      AddChromiumInstall("chromium", "snap", snap + "/chromium", snap + "/.cache/chromium",
                         profiles);
    }
  }
  AssignLabels(profiles);
  return profiles;
}

namespace {

// Far enough up for the deepest layout: <home>/.var/app/com.brave.Browser/
// config/BraveSoftware/Brave-Browser/<profile>.
constexpr int kMaxProfileDepth = 7;

// The outermost home wins: a Snap's common folder looks like a home of its
// own, but the profile is the Snap install's.
std::optional<BrowserProfile> FoundFromItsHome(const fs::path& folder) {
  std::error_code error;
  std::optional<BrowserProfile> found;
  fs::path home = folder.parent_path();
  for (int depth = 0; depth < kMaxProfileDepth && home != home.root_path();
       ++depth, home = home.parent_path()) {
    for (BrowserProfile& profile : DiscoverProfiles({home.string(), "", ""}))
      if (fs::equivalent(profile.profileDir, folder, error)) found = std::move(profile);
  }
  return found;
}

}  // namespace

std::optional<BrowserProfile> BrowserProfileAt(const std::string& folder) {
  std::error_code error;
  fs::path dir = fs::weakly_canonical(fs::absolute(folder, error), error);
  if (dir.has_parent_path() && !dir.has_filename()) dir = dir.parent_path();
  if (error || !IsDirectory(dir.string())) return std::nullopt;
  const bool firefox = IsFile(dir / "places.sqlite") || IsFile(dir / "cookies.sqlite");
  const bool chromium =
      IsFile(dir / "History") || IsFile(dir / "Cookies") || IsFile(dir / "Network" / "Cookies");
  if (!firefox && !chromium) return std::nullopt;
  if (auto found = FoundFromItsHome(dir)) return found;
  BrowserProfile profile;
  profile.kind = firefox ? BrowserKind::kFirefox : BrowserKind::kChromium;
  profile.browser = firefox ? "firefox" : "chromium";
  profile.profileName = dir.filename().string();
  profile.profileDir = dir.string();
  return profile;
}

void AssignLabels(std::vector<BrowserProfile>& profiles) {
  std::map<std::string, int> perInstall;
  auto installOf = [](const BrowserProfile& p) {
    return p.install.empty() ? p.browser : p.browser + "-" + p.install;
  };
  for (const auto& profile : profiles) ++perInstall[installOf(profile)];
  std::set<std::string> taken;
  for (auto& profile : profiles) {
    std::string label = installOf(profile);
    if (perInstall[label] > 1) label += "." + profile.profileName;
    label = LabelSafe(label);
    std::string unique = label;
    for (int n = 2; !taken.insert(unique).second; ++n) unique = label + "~" + std::to_string(n);
    profile.label = unique;
  }
}

}  // namespace sources
