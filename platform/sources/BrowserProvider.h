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
#include "platform/sources/view/ViewFiles.h"
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

// Reads `profile` now; its problems stay with the provider. With `files`,
// its cached files and cookie sheets are registered there to be written on
// demand (a name another trace holds moves to the next free "[N]").
std::unique_ptr<BrowserProvider> ReadBrowserProvider(const BrowserProfile& profile,
                                                     const ReadContext& context,
                                                     view::ViewFiles* files = nullptr);

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
// kept for the life of this provider. Their cached files and cookie sheets
// are written into the view folder only when Materialise asks for one.
class MachineSources : public urlcache::Provider {
 public:
  // `viewFolder`: where local file names of browser entries point. Its owner
  // makes it (a view::ViewFolder) and removes it; this provider only writes
  // the files asked for into it.
  explicit MachineSources(std::string viewFolder);
  ~MachineSources() override;

  // The WinINet containers of `profile` (a Windows user folder or Wine
  // prefix); empty for the profile the disk service is pointed at, read
  // again at every walk.
  void AddWinInet(std::string profile);
  void AddBrowser(BrowserProfile profile);

  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container container) override;
  // Writes the browser trace at `localPath` (reads the profiles if no walk
  // has yet). kNotOurs outside the view folder, so WinINet's files pass
  // untouched; kMissing for a name in it that no trace holds.
  urlcache::LocalFile Materialise(const std::string& localPath) override;
  std::uint64_t MaterialiseCost(const std::string& localPath) override;

  const std::string& ViewFolder() const { return viewFolder_; }

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
  view::ViewFiles files_;
  std::vector<Slot> slots_;
  std::once_flag read_;
};

// WinINet first (`winInetProfile`, empty for the disk service's profile),
// then every Firefox profile, then every Chromium-family profile discovered
// under `roots`.
std::unique_ptr<MachineSources> MakeMachineProvider(const DiscoveryRoots& roots,
                                                    const std::string& viewFolder,
                                                    const std::string& winInetProfile = "");

// A name for this process's view folder that makes nothing:
// $XDG_RUNTIME_DIR/sitelore/<pid> when that is set, else
// <temp>/sitelore-<uid>/<pid>. For readers that never write a trace out
// (the report without --extract); whoever writes makes a view::ViewFolder.
std::string ViewFolderName();

}  // namespace sources
