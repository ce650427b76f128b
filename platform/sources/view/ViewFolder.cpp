#include "platform/sources/view/ViewFolder.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <vector>

#include "platform/common/UniqueFd.h"

namespace sources::view {

namespace {

// Our folders are <pid>/<label>/<entry>/<file>; anything deeper is not ours.
constexpr int kTreeDepth = 8;
constexpr const char* kTempPrefix = "sitelore-view-";

int OpenFolder(const std::string& path) {
  return open(path.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
}

// A folder of ours: a real folder (not a link) owned by us.
bool IsOwnFolder(int parentFd, const std::string& name) {
  struct stat st {};
  return fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISDIR(st.st_mode) &&
         st.st_uid == geteuid();
}

std::vector<std::string> NamesIn(int folderFd) {
  std::vector<std::string> names;
  int fd = dup(folderFd);
  if (fd < 0) return names;
  DIR* dir = fdopendir(fd);
  if (!dir) {
    close(fd);
    return names;
  }
  while (dirent* entry = readdir(dir)) {
    std::string name = entry->d_name;
    if (name != "." && name != "..") names.push_back(std::move(name));
  }
  closedir(dir);
  return names;
}

// The pid in "<digits>" (no prefix) or "<prefix><digits>-<anything>"; 0
// when the name is not of that form.
pid_t PidIn(const std::string& name, const std::string& prefix) {
  if (name.compare(0, prefix.size(), prefix) != 0) return 0;
  const std::size_t at = prefix.size();
  std::size_t end = name.find_first_not_of("0123456789", at);
  if (end == std::string::npos) end = name.size();
  const bool endsRight =
      prefix.empty() ? end == name.size() : end < name.size() && name[end] == '-';
  if (end == at || end - at > 9 || !endsRight) return 0;
  return static_cast<pid_t>(std::atol(name.substr(at, end - at).c_str()));
}

void SweepDeadFolders(int folderFd, const std::string& prefix, pid_t self) {
  for (const std::string& name : NamesIn(folderFd)) {
    const pid_t pid = PidIn(name, prefix);
    if (pid > 0 && pid != self && !ProcessRuns(pid) && IsOwnFolder(folderFd, name))
      RemoveTreeAt(folderFd, name, kTreeDepth);
  }
}

// <runtime>/sitelore/<pid>, made afresh; empty when it cannot be made ours.
std::string MakeRuntimeFolder(const std::string& runtimeDir, pid_t pid) {
  const std::string base = runtimeDir + "/sitelore";
  if (mkdir(base.c_str(), 0700) != 0 && errno != EEXIST) return {};
  UniqueFd baseFd(OpenFolder(base));
  struct stat st {};
  if (baseFd.fd < 0 || fstat(baseFd.fd, &st) != 0 || st.st_uid != geteuid() ||
      (st.st_mode & 077) != 0)
    return {};
  SweepDeadFolders(baseFd.fd, "", pid);
  const std::string name = std::to_string(pid);
  // One left by an earlier process that had our id.
  if (!RemoveTreeAt(baseFd.fd, name, kTreeDepth)) return {};
  if (mkdirat(baseFd.fd, name.c_str(), 0700) != 0) return {};
  return base + "/" + name;
}

std::string MakeTempFolder(const std::string& tempDir, pid_t pid) {
  UniqueFd tempFd(OpenFolder(tempDir));
  if (tempFd.fd >= 0) SweepDeadFolders(tempFd.fd, kTempPrefix, pid);
  std::string pattern = tempDir + "/" + kTempPrefix + std::to_string(pid) + "-XXXXXX";
  return mkdtemp(pattern.data()) ? pattern : std::string();
}

}  // namespace

bool ProcessRuns(pid_t pid) {
  return pid > 0 && (kill(pid, 0) == 0 || errno == EPERM);
}

bool RemoveTreeAt(int parentFd, const std::string& name, int depth) {
  struct stat st {};
  if (fstatat(parentFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  if (!S_ISDIR(st.st_mode)) return unlinkat(parentFd, name.c_str(), 0) == 0;
  if (depth <= 0) return false;
  UniqueFd folder(openat(parentFd, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (folder.fd < 0) return false;
  for (const std::string& inner : NamesIn(folder.fd)) RemoveTreeAt(folder.fd, inner, depth - 1);
  return unlinkat(parentFd, name.c_str(), AT_REMOVEDIR) == 0;
}

ViewFolder ViewFolder::ForThisProcess() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  const char* temp = std::getenv("TMPDIR");
  return ViewFolder(runtime ? runtime : "", temp && *temp ? temp : "/tmp", getpid());
}

ViewFolder::ViewFolder(const std::string& runtimeDir, const std::string& tempDir, pid_t pid) {
  if (!runtimeDir.empty() && runtimeDir.front() == '/') path_ = MakeRuntimeFolder(runtimeDir, pid);
  if (path_.empty()) path_ = MakeTempFolder(tempDir, pid);
  usable_ = !path_.empty();
  if (!usable_) path_ = tempDir + "/" + kTempPrefix + std::to_string(pid) + "-unavailable";
}

ViewFolder::ViewFolder(ViewFolder&& other) noexcept
    : path_(std::move(other.path_)), usable_(other.usable_) {
  other.usable_ = false;
}

ViewFolder::~ViewFolder() {
  if (!usable_) return;
  const std::size_t slash = path_.rfind('/');
  UniqueFd parent(OpenFolder(slash == 0 ? "/" : path_.substr(0, slash)));
  if (parent.fd >= 0) RemoveTreeAt(parent.fd, path_.substr(slash + 1), kTreeDepth);
}

}  // namespace sources::view
