#include "platform/wininet/DiskUrlCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <mutex>
#include <optional>
#include <vector>

#include "platform/common/AsciiCase.h"
#include "platform/common/NameInFolder.h"
#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/IndexDat.h"

namespace urlcache {
namespace {

// A container file larger than this is not a WinINet container (they end
// near 16 MB); reading stops there.
constexpr std::size_t kMaxContainerBytes = 256u << 20;

struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  timespec modified{};
  timespec changed{};

  bool operator==(const FileIdentity& o) const {
    return device == o.device && inode == o.inode && size == o.size &&
           modified.tv_sec == o.modified.tv_sec && modified.tv_nsec == o.modified.tv_nsec &&
           changed.tv_sec == o.changed.tv_sec && changed.tv_nsec == o.changed.tv_nsec;
  }
};

FileIdentity IdentityOf(const struct stat& st) {
  return FileIdentity{st.st_dev, st.st_ino, st.st_size, st.st_mtim, st.st_ctim};
}

class Snapshot {
 public:
  Snapshot(std::string folder, std::string bytes)
      : folder_(std::move(folder)), index_(std::move(bytes)) {
    ResolveDirectories();
  }

  const IndexDat& Index() const { return index_; }

  // Full local path of a record's file; empty when it names none.
  void LocalPath(const UrlRecord& record, std::string& path) const {
    path.clear();
    if (!record.hasLocalName) return;
    if (record.directoryIndex < directories_.size()) {
      const std::string& directory = directories_[record.directoryIndex];
      if (directory.empty()) return;
      path.append(directory);
    } else {
      path.append(folder_);
    }
    path.push_back('/');
    path.append(record.localName);
  }

 private:
  // Cache directories as spelled on disk; unsafe names stay empty.
  // The index names its folders in upper case; on disk they may be spelled
  // otherwise. A folder that is not there keeps the index's spelling.
  void ResolveDirectories() {
    for (const std::string& name : index_.DirectoryNames()) {
      if (name.empty()) {
        directories_.emplace_back();
        continue;
      }
      std::optional<std::string> onDisk = platform::FindNameIgnoringCase(folder_, name);
      directories_.push_back(folder_ + "/" + onDisk.value_or(name));
    }
  }

  std::string folder_;
  IndexDat index_;
  std::vector<std::string> directories_;
};

// Reads to the end of the file into a buffer of the size fstat gave; only a
// file that has grown since costs a larger buffer (the common case must not
// double 16 MB buffers just to learn that the end was reached).
std::optional<std::string> ReadWholeFile(int fd, std::size_t expected) {
  std::string bytes;
  bytes.resize(std::min(expected, kMaxContainerBytes));
  std::size_t used = 0;
  for (;;) {
    if (used == bytes.size()) {
      if (bytes.size() >= kMaxContainerBytes) break;
      char more[4096];
      const ssize_t got = read(fd, more, sizeof more);
      if (got < 0 && errno == EINTR) continue;
      if (got < 0) return std::nullopt;
      if (got == 0) break;
      bytes.append(more, std::min(static_cast<std::size_t>(got), kMaxContainerBytes - used));
      used = bytes.size();
      continue;
    }
    ssize_t got = read(fd, bytes.data() + used, bytes.size() - used);
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  bytes.resize(used);
  return bytes;
}

// Opens read-only; O_NOATIME spares the access time where we may.
int OpenReadOnly(const std::string& path) {
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  return fd;
}

class SnapshotCache {
 public:
  std::shared_ptr<const Snapshot> Get(const std::string& folder) {
    std::optional<std::string> file = ResolveCaseInsensitive(folder, "index.dat");
    if (!file) return nullptr;
    struct stat st {};
    if (stat(file->c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto cached = entries_.find(*file);
      if (cached != entries_.end() && cached->second.identity == IdentityOf(st))
        return cached->second.snapshot;
    }
    return Load(folder, *file);
  }

  void Flush() {
    std::lock_guard<std::mutex> lock(mutex_);
    entries_.clear();
  }

 private:
  struct Entry {
    FileIdentity identity;
    std::shared_ptr<const Snapshot> snapshot;
  };

  std::shared_ptr<const Snapshot> Load(const std::string& folder, const std::string& file) {
    int fd = OpenReadOnly(file);
    if (fd < 0) return nullptr;
    struct stat st {};
    std::optional<std::string> bytes;
    if (fstat(fd, &st) == 0 && S_ISREG(st.st_mode))
      bytes = ReadWholeFile(fd, static_cast<std::size_t>(st.st_size));
    close(fd);
    if (!bytes) return nullptr;
    auto snapshot = std::make_shared<const Snapshot>(folder, std::move(*bytes));
    std::lock_guard<std::mutex> lock(mutex_);
    if (entries_.size() >= kMaxEntries) entries_.clear();
    entries_[file] = Entry{IdentityOf(st), snapshot};
    return snapshot;
  }

  static constexpr std::size_t kMaxEntries = 8;
  std::mutex mutex_;
  std::map<std::string, Entry> entries_;
};

SnapshotCache& Snapshots() {
  static SnapshotCache cache;
  return cache;
}

class DiskCursor : public Cursor {
 public:
  explicit DiskCursor(std::vector<std::shared_ptr<const Snapshot>> containers)
      : containers_(std::move(containers)) {}

  // The record at a position is decoded once: the size probe and the real
  // call of one WinINet step both ask for it.
  bool Current(EntryView& entry) override {
    if (!decoded_ && !Decode()) return false;
    entry = current_;
    return true;
  }

  void Advance() override {
    if (container_ < containers_.size()) ++position_;
    decoded_ = false;
  }

 private:
  // Moves to the first intact record at or after the position and decodes
  // it into current_; false at the end.
  bool Decode() {
    while (container_ < containers_.size()) {
      const Snapshot& snapshot = *containers_[container_];
      const std::vector<std::uint32_t>& offsets = snapshot.Index().EntryOffsets();
      if (position_ >= offsets.size()) {
        ++container_;
        position_ = 0;
        continue;
      }
      UrlRecord record;
      if (snapshot.Index().ReadEntry(offsets[position_], record)) {
        Fill(snapshot, record, current_);
        decoded_ = true;
        return true;
      }
      ++position_;
    }
    return false;
  }

  void Fill(const Snapshot& snapshot, const UrlRecord& record, EntryView& entry) {
    snapshot.LocalPath(record, localPath_);
    entry.url = record.url;
    entry.localFile = localPath_;
    entry.header = record.header;
    entry.extension = record.extension;
    entry.cacheEntryType = record.cacheEntryType;
    entry.useCount = record.useCount;
    entry.hitRate = record.hitRate;
    entry.sizeLow = record.sizeLow;
    entry.sizeHigh = record.sizeHigh;
    entry.exemptDelta = record.exemptDelta;
    entry.lastModified = record.lastModified;
    entry.expire = record.expire;
    entry.lastAccess = record.lastAccess;
    entry.lastSync = record.lastSync;
  }

  std::vector<std::shared_ptr<const Snapshot>> containers_;
  std::size_t container_ = 0;
  std::size_t position_ = 0;
  std::string localPath_;
  EntryView current_;  // the decoded record at the position, while decoded_
  bool decoded_ = false;
};

bool PatternIs(const char* pattern, const char* prefix) {
  return AsciiEqualIgnoringCase(pattern, prefix);
}

}  // namespace

std::unique_ptr<Cursor> DiskUrlCache::Open(const char* pattern) {
  std::vector<const std::string ContainerFolders::*> selected;
  if (!pattern) {
    selected = {&ContainerFolders::cookies, &ContainerFolders::history, &ContainerFolders::content};
  } else if (*pattern == '\0') {
    selected = {&ContainerFolders::content};
  } else if (PatternIs(pattern, "Cookie:")) {
    selected = {&ContainerFolders::cookies};
  } else if (PatternIs(pattern, "Visited:")) {
    selected = {&ContainerFolders::history};
  } else {
    return nullptr;
  }
  const std::string profile = UrlCacheProfile();
  std::optional<std::string> userFolder =
      profile.empty() ? DefaultUserFolder() : ProfileUserFolder(profile);
  std::vector<std::shared_ptr<const Snapshot>> containers;
  if (userFolder) {
    const ContainerFolders folders = LocateContainers(*userFolder);
    for (auto member : selected) {
      const std::string& folder = folders.*member;
      if (folder.empty()) continue;
      if (auto snapshot = Snapshots().Get(folder)) containers.push_back(std::move(snapshot));
    }
  }
  return std::make_unique<DiskCursor>(std::move(containers));
}

void FlushSnapshots() {
  Snapshots().Flush();
}

}  // namespace urlcache
