// The store file on POSIX systems: flock for the writers' lock, mkstemp,
// fsync and rename for replacement in one step.
#include "platform/registry/StoreFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include "platform/common/NameInFolder.h"
#include "platform/registry/RegValueText.h"

namespace regstore {
namespace {

constexpr std::size_t kMaxStoreBytes = 16 << 20;
constexpr std::size_t kTempSuffixLength = 6;  // mkstemp's XXXXXX

DWORD ErrorFromErrno(int error, DWORD otherwise) {
  switch (error) {
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
      return ERROR_ACCESS_DENIED;
    case ENOENT:
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
      return ERROR_PATH_NOT_FOUND;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
      return ERROR_DISK_FULL;
    case ENOMEM:
      return ERROR_NOT_ENOUGH_MEMORY;
    default:
      return otherwise;
  }
}

std::optional<std::string> ConfigHome() {
  const char* xdg = std::getenv("XDG_CONFIG_HOME");
  if (xdg && xdg[0] == '/') return std::string(xdg);
  const char* home = std::getenv("HOME");
  if (home && home[0] == '/') return std::string(home) + "/.config";
  if (const passwd* user = getpwuid(getuid()); user && user->pw_dir && user->pw_dir[0] == '/') {
    return std::string(user->pw_dir) + "/.config";
  }
  return std::nullopt;
}

// The spelling of `name` found in `folder`: the name itself when it exists,
// else the first entry that differs from it only in ASCII letter case, else
// the name itself. Registry key names ignore case; file names do not.
std::string MatchCase(const std::string& folder, const std::string& name) {
  return platform::FindNameIgnoringCase(folder, name).value_or(name);
}

// Creates `folder` and its missing parents.
int MakeFolders(const std::string& folder) {
  for (std::size_t slash = folder.find('/', 1);; slash = folder.find('/', slash + 1)) {
    std::string prefix = folder.substr(0, slash);
    if (mkdir(prefix.c_str(), 0700) != 0 && errno != EEXIST) return errno;
    if (slash == std::string::npos) return 0;
  }
}

bool IsReadOnlyError(int error) {
  return error == EACCES || error == EPERM || error == EROFS;
}

// The file that replacements go to: the target of a symbolic link, so that
// the link survives. Null for a link whose target does not exist (or a
// loop): replacing it with a file would silently undo whatever put it there,
// and creating its target would write where nobody asked.
std::optional<StorePath> WriteTarget(const StorePath& path) {
  std::string full = path.Full();
  struct stat status;
  if (lstat(full.c_str(), &status) != 0 || !S_ISLNK(status.st_mode)) return path;
  char resolved[PATH_MAX];
  if (!realpath(full.c_str(), resolved)) return std::nullopt;
  std::string target = resolved;
  std::size_t slash = target.rfind('/');
  return StorePath{target.substr(0, slash), target.substr(slash + 1)};
}

std::string TempPrefix(const StorePath& target) {
  return "." + target.fileName + ".";
}

// Only lock holders write, so while the lock is held any temporary file is
// one that a killed writer left.
void RemoveLeftTempFiles(const StorePath& target) {
  DIR* folder = opendir(target.folder.c_str());
  if (!folder) return;
  std::string prefix = TempPrefix(target);
  while (dirent* entry = readdir(folder)) {
    std::string_view name = entry->d_name;
    if (name.size() == prefix.size() + kTempSuffixLength && name.starts_with(prefix)) {
      unlinkat(dirfd(folder), entry->d_name, 0);
    }
  }
  closedir(folder);
}

bool WriteAll(int fd, std::string_view text) {
  while (!text.empty()) {
    ssize_t written = write(fd, text.data(), text.size());
    if (written < 0 && errno == EINTR) continue;
    if (written <= 0) return false;
    text.remove_prefix(std::size_t(written));
  }
  return true;
}

// True when the regular file at `path` (of `status`) holds `text` byte for
// byte: writing it again would change nothing, as a registry write of the
// same value changes nothing.
bool HoldsExactly(const std::string& path, const struct stat& status, std::string_view text) {
  if (status.st_size < 0 || std::size_t(status.st_size) != text.size()) return false;
  int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return false;
  std::string held(text.size() + 1, '\0');  // one more: a file that grew meanwhile differs
  std::size_t used = 0;
  while (used < held.size()) {
    ssize_t count = read(fd, held.data() + used, held.size() - used);
    if (count < 0 && errno == EINTR) continue;
    if (count <= 0) break;
    used += std::size_t(count);
  }
  close(fd);
  return used == text.size() && std::string_view(held.data(), used) == text;
}

void SyncFolder(const std::string& folder) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  fsync(fd);
  close(fd);
}

}  // namespace

std::optional<StorePath> StorePathFor(const std::string& vendor, const std::string& product) {
  std::optional<std::string> home = ConfigHome();
  if (!home) return std::nullopt;
  std::string folder = *home + "/" + MatchCase(*home, vendor);
  return StorePath{folder, MatchCase(folder, product + ".reg")};
}

LockedStoreFile::LockedStoreFile(StorePath path, int lockFd)
    : path_(std::move(path)), lockFd_(lockFd) {}

LockedStoreFile::~LockedStoreFile() {
  if (lockFd_ >= 0) close(lockFd_);
}

DWORD LockedStoreFile::Open(const StorePath& path, std::unique_ptr<LockedStoreFile>& result) {
  if (int error = MakeFolders(path.folder)) return ErrorFromErrno(error, ERROR_CANTOPEN);
  std::string lockPath = path.folder + "/." + path.fileName + ".lock";
  // The lock file stays empty; flock needs only read access to it, so one
  // that another user made (root, say) still serves. No link is expected
  // there, and a FIFO must not block the open.
  constexpr int kLockFlags = O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK;
  int fd = open(lockPath.c_str(), kLockFlags | O_CREAT, 0644);
  const bool mayNotCreate = fd < 0 && IsReadOnlyError(errno);
  if (mayNotCreate) fd = open(lockPath.c_str(), kLockFlags);
  if (fd < 0 && mayNotCreate && (errno == ENOENT || IsReadOnlyError(errno))) {
    // A folder we may not write in: nobody can replace the file through us,
    // and a writer's rename is atomic, so reading needs no lock.
    result.reset(new LockedStoreFile(path, -1));
    return ERROR_SUCCESS;
  }
  if (fd < 0) return ErrorFromErrno(errno, ERROR_CANTOPEN);
  int locked;
  do {
    locked = flock(fd, LOCK_EX);
  } while (locked != 0 && errno == EINTR);
  if (locked != 0) {
    DWORD error = ErrorFromErrno(errno, ERROR_CANTOPEN);
    close(fd);
    return error;
  }
  result.reset(new LockedStoreFile(path, fd));
  if (std::optional<StorePath> target = WriteTarget(path)) RemoveLeftTempFiles(*target);
  return ERROR_SUCCESS;
}

DWORD LockedStoreFile::Read(std::string& text, bool& exists) const {
  text.clear();
  exists = false;
  // A link to the file is expected; a FIFO or device in its place is refused
  // before anything is read from it.
  int fd = open(path_.Full().c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY);
  if (fd < 0) return errno == ENOENT ? ERROR_SUCCESS : ErrorFromErrno(errno, ERROR_CANTREAD);
  struct stat status;
  if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
    close(fd);
    return ERROR_ACCESS_DENIED;
  }
  DWORD error = ERROR_SUCCESS;
  char buffer[8192];
  while (true) {
    ssize_t count = read(fd, buffer, sizeof buffer);
    if (count < 0 && errno == EINTR) continue;
    if (count < 0) error = ErrorFromErrno(errno, ERROR_CANTREAD);
    if (count <= 0) break;
    if (text.size() + std::size_t(count) > kMaxStoreBytes) {
      error = ERROR_BADDB;
      break;
    }
    text.append(buffer, std::size_t(count));
  }
  close(fd);
  exists = error == ERROR_SUCCESS;
  if (!exists) text.clear();
  return error;
}

DWORD LockedStoreFile::Replace(std::string_view text) const {
  std::optional<StorePath> resolved = WriteTarget(path_);
  if (!resolved) return ERROR_PATH_NOT_FOUND;
  const StorePath& target = *resolved;
  std::string targetPath = target.Full();
  mode_t mode = 0600;
  struct stat status;
  if (stat(targetPath.c_str(), &status) == 0) {
    if (!S_ISREG(status.st_mode)) return ERROR_ACCESS_DENIED;
    if (HoldsExactly(targetPath, status, text)) return ERROR_SUCCESS;
    if (lockFd_ < 0) return ERROR_ACCESS_DENIED;
    if (access(targetPath.c_str(), W_OK) != 0) return ErrorFromErrno(errno, ERROR_ACCESS_DENIED);
    mode = status.st_mode & 07777;
  } else if (lockFd_ < 0) {
    return ERROR_ACCESS_DENIED;
  }

  std::string tempPath = target.folder + "/" + TempPrefix(target) + "XXXXXX";
  int fd = mkostemp(tempPath.data(), O_CLOEXEC);
  if (fd < 0) return ErrorFromErrno(errno, ERROR_CANTWRITE);
  bool written = fchmod(fd, mode) == 0 && WriteAll(fd, text) && fsync(fd) == 0;
  int error = errno;
  if (close(fd) != 0 && written) {
    written = false;
    error = errno;
  }
  if (written && rename(tempPath.c_str(), targetPath.c_str()) != 0) {
    written = false;
    error = errno;
  }
  if (!written) {
    unlink(tempPath.c_str());
    return ErrorFromErrno(error, ERROR_CANTWRITE);
  }
  SyncFolder(target.folder);
  return ERROR_SUCCESS;
}

}  // namespace regstore
