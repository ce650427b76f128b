#include "platform/sources/BrowserProvider.h"

#include <unistd.h>
#include <algorithm>

#include <cstdlib>
#include <exception>
#include <filesystem>

#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/DiskUrlCache.h"

namespace sources {
namespace {

DWORD Low(std::uint64_t value) {
  return static_cast<DWORD>(value & 0xffffffffu);
}

DWORD High(std::uint64_t value) {
  return static_cast<DWORD>(value >> 32);
}

FILETIME AsFileTime(FileTime time) {
  return FILETIME{Low(time), High(time)};
}

// The extension of the file name's last component, without the dot.
std::string_view ExtensionOf(std::string_view path) {
  const std::size_t slash = path.rfind('/');
  const std::string_view name = slash == std::string_view::npos ? path : path.substr(slash + 1);
  const std::size_t dot = name.rfind('.');
  return dot == std::string_view::npos ? std::string_view{} : name.substr(dot + 1);
}

class EntryListCursor : public urlcache::Cursor {
 public:
  explicit EntryListCursor(const std::vector<SourceEntry>& entries) : entries_(entries) {}

  bool Current(urlcache::EntryView& view) override {
    if (index_ >= entries_.size()) return false;
    Fill(entries_[index_], view);
    return true;
  }

  void Advance() override {
    if (index_ < entries_.size()) ++index_;
  }

 private:
  static void Fill(const SourceEntry& entry, urlcache::EntryView& view) {
    view = urlcache::EntryView{};
    view.url = entry.url;
    view.localFile = entry.localFileName;
    view.header = entry.headerInfo;
    view.extension = ExtensionOf(entry.localFileName);
    view.cacheEntryType = entry.entryType;
    view.hitRate = entry.hitCount;
    view.sizeLow = Low(entry.size);
    view.sizeHigh = High(entry.size);
    view.lastModified = AsFileTime(entry.lastModified);
    view.expire = AsFileTime(entry.expire);
    view.lastAccess = AsFileTime(entry.lastAccess);
    view.lastSync = AsFileTime(entry.lastSync);
  }

  const std::vector<SourceEntry>& entries_;
  std::size_t index_ = 0;
};

const std::vector<SourceEntry>& ListOf(const SourceEntries& entries,
                                       urlcache::Container container) {
  switch (container) {
    case urlcache::Container::kCookies:
      return entries.cookies;
    case urlcache::Container::kHistory:
      return entries.history;
    case urlcache::Container::kContent:
      break;
  }
  return entries.content;
}

// The WinINet containers of the profile the disk service is pointed at when
// the walk starts.
class CurrentDiskProfile : public urlcache::Provider {
 public:
  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container container) override {
    return urlcache::DiskUrlCache(urlcache::UrlCacheProfile()).Open(container);
  }
};

std::size_t CountEntries(urlcache::Provider& provider, urlcache::Container container) {
  try {
    // Counted up to where the walk ends, as a scan would have.
    auto cursor = provider.Open(container);
    return cursor ? cursor->CountRest() : 0;
  } catch (const std::exception&) {
    return 0;
  }
}

const char* KindName(BrowserKind kind) {
  return kind == BrowserKind::kFirefox ? "firefox" : "chromium";
}

}  // namespace

std::unique_ptr<urlcache::Cursor> BrowserProvider::Open(urlcache::Container container) {
  const std::vector<SourceEntry>& entries = ListOf(read_.entries, container);
  if (entries.empty()) return nullptr;
  return std::make_unique<EntryListCursor>(entries);
}

std::unique_ptr<BrowserProvider> ReadBrowserProvider(const BrowserProfile& profile,
                                                     const ReadContext& context,
                                                     view::ViewFiles* files) {
  ProfileRead read;
  try {
    read = ReadProfile(profile, context);
  } catch (const std::exception& error) {
    read = ProfileRead{};
    read.problems.push_back(profile.profileDir + ": " + error.what());
  }
  if (files) {
    // A name that cannot be registered stays as it is and behaves as a
    // missing file: Materialise refuses every unregistered name in the view
    // folder.
    for (SourceEntry& entry : read.entries.content) files->AddCachedFile(entry, profile.kind);
    files->AddCookieSheets(read.entries.cookies, read.cookies, profile.label);
  }
  return std::make_unique<BrowserProvider>(profile, std::move(read));
}

MachineSources::MachineSources(std::string viewFolder)
    : viewFolder_(std::move(viewFolder)), files_(viewFolder_) {}

MachineSources::~MachineSources() = default;

void MachineSources::AddWinInet(std::string profile) {
  Slot slot;
  slot.winInet = profile;
  if (profile.empty())
    slot.provider = std::make_unique<CurrentDiskProfile>();
  else
    slot.provider = std::make_unique<urlcache::DiskUrlCache>(std::move(profile));
  slots_.push_back(std::move(slot));
}

void MachineSources::AddBrowser(BrowserProfile profile) {
  Slot slot;
  slot.profile = std::move(profile);
  slots_.push_back(std::move(slot));
}

void MachineSources::ReadBrowsersOnce() {
  std::call_once(read_, [this] {
    // The desktop's MIME tables are read only when a browser's files need
    // names: a WinINet cache alone never pays for them.
    if (std::none_of(slots_.begin(), slots_.end(), [](const Slot& slot) { return !slot.winInet; }))
      return;
    const MimeGlobs globs;
    ReadContext context;
    context.viewFolder = viewFolder_;
    context.globs = &globs;
    for (Slot& slot : slots_)
      if (!slot.winInet) slot.provider = ReadBrowserProvider(slot.profile, context, &files_);
  });
}

urlcache::LocalFile MachineSources::Materialise(const std::string& localPath) {
  if (localPath.size() <= viewFolder_.size() ||
      localPath.compare(0, viewFolder_.size(), viewFolder_) != 0 ||
      localPath[viewFolder_.size()] != '/')
    return urlcache::LocalFile::kNotOurs;
  ReadBrowsersOnce();
  return files_.Materialise(localPath) ? urlcache::LocalFile::kReady
                                       : urlcache::LocalFile::kMissing;
}

std::uint64_t MachineSources::MaterialiseCost(const std::string& localPath) {
  return files_.PendingBytes(localPath);
}

std::unique_ptr<urlcache::Cursor> MachineSources::Open(urlcache::Container container) {
  ReadBrowsersOnce();
  std::vector<std::unique_ptr<urlcache::Cursor>> cursors;
  cursors.reserve(slots_.size());
  for (Slot& slot : slots_) {
    try {
      cursors.push_back(slot.provider->Open(container));
    } catch (const std::exception&) {
      // This source is left out of the walk; the others still deliver.
    }
  }
  return urlcache::ChainCursors(std::move(cursors));
}

std::vector<SourceInfo> MachineSources::Infos() const {
  std::vector<SourceInfo> infos;
  infos.reserve(slots_.size());
  for (const Slot& slot : slots_) {
    SourceInfo& info = infos.emplace_back();
    if (slot.winInet) {
      info.kind = info.label = "wininet";
      info.profileDir = slot.winInet->empty() ? urlcache::UrlCacheProfile() : *slot.winInet;
    } else {
      info.kind = KindName(slot.profile.kind);
      info.label = slot.profile.label;
      info.profileDir = slot.profile.profileDir;
      info.cacheDir = slot.profile.cacheDir;
    }
  }
  return infos;
}

std::vector<SourceInfo> MachineSources::Describe() {
  ReadBrowsersOnce();
  std::vector<SourceInfo> infos = Infos();
  for (std::size_t i = 0; i < slots_.size(); ++i) {
    for (std::size_t c = 0; c < std::size(urlcache::kAllContainers); ++c)
      infos[i].entries[c] = CountEntries(*slots_[i].provider, urlcache::kAllContainers[c]);
    if (!slots_[i].winInet)
      infos[i].problems = static_cast<const BrowserProvider&>(*slots_[i].provider).read().problems;
  }
  return infos;
}

std::vector<const BrowserProvider*> MachineSources::Browsers() {
  ReadBrowsersOnce();
  std::vector<const BrowserProvider*> browsers;
  for (const Slot& slot : slots_)
    if (!slot.winInet) browsers.push_back(static_cast<const BrowserProvider*>(slot.provider.get()));
  return browsers;
}

std::unique_ptr<MachineSources> MakeMachineProvider(const DiscoveryRoots& roots,
                                                    const std::string& viewFolder,
                                                    const std::string& winInetProfile) {
  auto sources = std::make_unique<MachineSources>(viewFolder);
  sources->AddWinInet(winInetProfile);
  // Discovery gives Firefox installs before the Chromium family.
  for (BrowserProfile& profile : DiscoverProfiles(roots)) sources->AddBrowser(std::move(profile));
  return sources;
}

std::string ViewFolderName() {
  const std::string pid = std::to_string(::getpid());
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && *runtime == '/') return std::string(runtime) + "/sitelore/" + pid;
  std::error_code error;
  std::string temp = std::filesystem::temp_directory_path(error).string();
  if (error || temp.empty()) temp = "/tmp";
  return temp + "/sitelore-" + std::to_string(::getuid()) + "/" + pid;
}

}  // namespace sources
