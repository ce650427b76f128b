#include "platform/wininet/DiskUrlCache.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <filesystem>
#include <map>
#include <memory>
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

// A container's bytes, read into memory that is not zero-filled first.
struct ContainerBytes {
  platform::LargeBuffer data;
  std::size_t size = 0;
};

class Snapshot {
 public:
  Snapshot(std::string folder, ContainerBytes bytes)
      : folder_(std::move(folder)), index_(std::move(bytes.data), bytes.size) {
    ResolveDirectories();
  }

  const IndexDat& Index() const { return index_; }

  // Full local path of a record's file; empty when it names none.
  void LocalPath(const UrlRecord& record, std::string& path) const {
    path.clear();
    if (!record.hasLocalName) return;
    const std::string& prefix =
        record.directoryIndex < prefixes_.size() ? prefixes_[record.directoryIndex] : ownPrefix_;
    if (prefix.empty()) return;
    path.reserve(prefix.size() + record.localName.size());
    path.append(prefix).append(record.localName);
  }

 private:
  // The folder of each cache directory as spelled on disk, with the
  // separator after it; empty for an unsafe name. The index names its
  // folders in upper case; on disk they may be spelled otherwise. A folder
  // that is not there keeps the index's spelling.
  void ResolveDirectories() {
    for (const std::string& name : index_.DirectoryNames()) {
      if (name.empty()) {
        prefixes_.emplace_back();
        continue;
      }
      std::optional<std::string> onDisk = platform::FindNameIgnoringCase(folder_, name);
      prefixes_.push_back(folder_ + "/" + onDisk.value_or(name) + "/");
    }
  }

  std::string folder_;
  std::string ownPrefix_ = folder_ + "/";  // of a record beyond the table
  IndexDat index_;
  std::vector<std::string> prefixes_;
};

// Reads up to `count` bytes at `offset` into `into`; the bytes read, or
// nullopt on a read error. Short only at the end of the file.
std::optional<std::size_t> ReadAt(int fd, char* into, std::size_t count, off_t offset) {
  std::size_t used = 0;
  while (used < count) {
    const ssize_t got = pread(fd, into + used, count - used, offset + off_t(used));
    if (got < 0 && errno == EINTR) continue;
    if (got < 0) return std::nullopt;
    if (got == 0) break;
    used += static_cast<std::size_t>(got);
  }
  return used;
}

// Reads the container's header first and then at most the bytes that the
// header declares (and the file holds): a link to a huge or sparse file
// costs one header. A file without a known header is kept as its header's
// bytes, which hold no entries.
std::optional<ContainerBytes> ReadContainer(int fd, std::size_t fileSize) {
  ContainerBytes bytes;
  std::size_t size = std::min<std::size_t>(fileSize, IndexDat::kFirstBlock);
  bytes.data = platform::LargeBuffer(size);
  std::optional<std::size_t> got = ReadAt(fd, bytes.data.data(), size, 0);
  if (!got) return std::nullopt;
  bytes.size = *got;
  const std::size_t declared = IndexDat::DeclaredSize({bytes.data.data(), bytes.size});
  const std::size_t wanted = std::min({fileSize, declared, kMaxContainerBytes});
  if (wanted <= bytes.size) return bytes;
  platform::LargeBuffer whole(wanted);
  std::memcpy(whole.data(), bytes.data.data(), bytes.size);
  got = ReadAt(fd, whole.data() + bytes.size, wanted - bytes.size, off_t(bytes.size));
  if (!got) return std::nullopt;
  bytes.data = std::move(whole);
  bytes.size += *got;
  return bytes;
}

// Opens read-only without blocking (a FIFO put in the file's place must not
// hang the walk); O_NOATIME spares the access time where we may.
int OpenReadOnly(const std::string& path) {
  constexpr int kFlags = O_RDONLY | O_CLOEXEC | O_NONBLOCK;
  int fd = open(path.c_str(), kFlags | O_NOATIME);
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), kFlags);
  return fd;
}

class SnapshotCache {
 public:
  // The file is opened once and checked through its descriptor: whatever is
  // put in its place between a check and the open (a FIFO, a device) is
  // never read.
  std::shared_ptr<const Snapshot> Get(const std::string& folder) {
    std::optional<std::string> file = ResolveCaseInsensitive(folder, "index.dat");
    if (!file) return nullptr;
    const int fd = OpenReadOnly(*file);
    if (fd < 0) return nullptr;
    std::shared_ptr<const Snapshot> snapshot = GetOpened(folder, *file, fd);
    close(fd);
    return snapshot;
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

  // A snapshot is reused only while the file is unchanged.
  std::shared_ptr<const Snapshot> GetOpened(const std::string& folder, const std::string& file,
                                            int fd) {
    struct stat st {};
    if (fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) return nullptr;
    {
      std::lock_guard<std::mutex> lock(mutex_);
      auto cached = entries_.find(file);
      if (cached != entries_.end() && cached->second.identity == IdentityOf(st))
        return cached->second.snapshot;
    }
    std::optional<ContainerBytes> bytes = ReadContainer(fd, static_cast<std::size_t>(st.st_size));
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
  explicit DiskCursor(std::shared_ptr<const Snapshot> container)
      : container_(std::move(container)) {}

  // The record at a position is decoded once: the size probe and the real
  // call of one WinINet step both ask for it.
  bool Current(EntryView& entry) override {
    if (!decoded_ && !Decode()) return false;
    entry = current_;
    return true;
  }

  void Advance() override {
    if (position_ < container_->Index().EntryOffsets().size()) ++position_;
    decoded_ = false;
  }

  // Every listed record decodes, so the rest is the offsets left.
  std::size_t CountRest() override {
    const std::size_t end = container_->Index().EntryOffsets().size();
    const std::size_t count = end - position_;
    position_ = end;
    decoded_ = false;
    return count;
  }

 private:
  // Decodes the record at the position into current_; false at the end.
  bool Decode() {
    if (position_ >= container_->Index().EntryOffsets().size()) return false;
    container_->Index().ReadListedEntry(position_, record_);
    Fill(record_, current_);
    decoded_ = true;
    return true;
  }

  void Fill(const UrlRecord& record, EntryView& entry) {
    container_->LocalPath(record, localPath_);
    entry.url = record.url;
    entry.localFile = localPath_;
    entry.header = record.header;
    entry.extension = record.extension;
    static_cast<EntryStats&>(entry) = record;
  }

  std::shared_ptr<const Snapshot> container_;
  std::size_t position_ = 0;
  std::string localPath_;
  UrlRecord record_;   // reused: decoding sets every field
  EntryView current_;  // the decoded record at the position, while decoded_
  bool decoded_ = false;
};

// The name of `container`'s folder in a layout.
const char* ContainerLayout::*LayoutMember(Container container) {
  switch (container) {
    case Container::kCookies:
      return &ContainerLayout::cookies;
    case Container::kHistory:
      return &ContainerLayout::history;
    case Container::kContent:
      break;
  }
  return &ContainerLayout::content;
}

}  // namespace

std::unique_ptr<Cursor> DiskUrlCache::Open(Container container) {
  std::optional<std::string> userFolder =
      profile_.empty() ? DefaultUserFolder() : ProfileUserFolder(profile_);
  if (!userFolder) return nullptr;
  const std::string folder = LocateContainer(*userFolder, LayoutMember(container));
  if (folder.empty()) return nullptr;
  std::shared_ptr<const Snapshot> snapshot = Snapshots().Get(folder);
  if (!snapshot) return nullptr;
  return std::make_unique<DiskCursor>(std::move(snapshot));
}

void FlushSnapshots() {
  Snapshots().Flush();
}

}  // namespace urlcache
