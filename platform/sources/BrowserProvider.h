// The browser sources behind the URL-cache calls: one read profile as a
// provider, and the machine's sources (WinINet, then every Firefox profile,
// then every Chromium-family profile) chained in that fixed order.
#pragma once

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "platform/sources/discovery/BrowserDiscovery.h"
#include "platform/sources/reader/ProfileReader.h"
#include "platform/wininet/UrlCacheService.h"

namespace sources {

// The entries of one read profile. Cursors deliver views into the stored
// entries, so the provider must outlive every cursor it opened.
class BrowserProvider : public urlcache::Provider {
 public:
  BrowserProvider(BrowserProfile profile, ProfileRead read)
      : profile_(std::move(profile)), read_(std::move(read)) {}

  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container container) override;

  const BrowserProfile& profile() const { return profile_; }
  const ProfileRead& read() const { return read_; }

 private:
  BrowserProfile profile_;
  ProfileRead read_;
};

// Reads `profile` now; its problems stay with the provider.
std::unique_ptr<BrowserProvider> ReadBrowserProvider(const BrowserProfile& profile,
                                                     const ReadContext& context);

// What one source of a MachineSources is, for listings and reports.
struct SourceInfo {
  std::string kind;  // "wininet", "firefox" or "chromium"
  std::string label;
  std::string profileDir;
  std::string cacheDir;  // empty where the source has none of its own
  // Filled by Describe only.
  std::size_t entries[3]{};  // per container, in kAllContainers' order
  std::vector<std::string> problems;
};

// The sources a scan reads, in the order they were added. Browser profiles
// are read at the first walk (on the scanning thread, not at start-up) and
// kept for the life of this provider.
class MachineSources : public urlcache::Provider {
 public:
  // `viewFolder`: where local file names of browser entries point; nothing
  // is created there.
  explicit MachineSources(std::string viewFolder);
  ~MachineSources() override;

  // The WinINet containers of `profile` (a Windows user folder or Wine
  // prefix); empty for the profile the disk service is pointed at, read
  // again at every walk.
  void AddWinInet(std::string profile);
  void AddBrowser(BrowserProfile profile);

  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container container) override;

  // What each source is, without reading any.
  std::vector<SourceInfo> Infos() const;
  // Likewise with the entries each delivers per container and the problems
  // met reading it (reads the browser profiles if no walk has yet).
  std::vector<SourceInfo> Describe();
  // The read browser sources, in order (reads them if no walk has yet).
  std::vector<const BrowserProvider*> Browsers();

 private:
  // One source: WinINet when `winInet` is set, else a browser profile,
  // whose provider exists once it has been read.
  struct Slot {
    std::optional<std::string> winInet;
    BrowserProfile profile;
    std::unique_ptr<urlcache::Provider> provider;
  };

  void ReadBrowsersOnce();

  std::string viewFolder_;
  std::vector<Slot> slots_;
  std::once_flag read_;
};

// WinINet first (`winInetProfile`, empty for the disk service's profile),
// then every Firefox profile, then every Chromium-family profile discovered
// under `roots`.
std::unique_ptr<MachineSources> MakeMachineProvider(const DiscoveryRoots& roots,
                                                    const std::string& viewFolder,
                                                    const std::string& winInetProfile = "");

// Where this process names its view folder: $XDG_RUNTIME_DIR/sitelore/<pid>
// when that is set, else <temp>/sitelore-<uid>/<pid>. Only the name: the
// folder is made and removed by its owner.
std::string ViewFolderName();

}  // namespace sources
