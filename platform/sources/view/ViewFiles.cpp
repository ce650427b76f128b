#include "platform/sources/view/ViewFiles.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>

#include "platform/common/UniqueFd.h"
#include "platform/sources/view/CookieSheet.h"
#include "platform/sources/view/StoredBody.h"

namespace sources::view {

namespace {

constexpr std::size_t kMaxComponent = 255;
// Reading a body while the browser rewrites its file: tries before the
// trace is taken for missing.
constexpr int kReadAttempts = 3;

bool SafeName(const std::string& name) {
  if (name.empty() || name.size() > kMaxComponent || name.front() == '.') return false;
  for (unsigned char c : name)
    if (c < 0x20 || c == 0x7f || c == '/' || c == '\\') return false;
  return true;
}

// "x[1].png" -> "x[2].png"; a name without "[N]" gets "[2]" before its
// extension.
std::string NextNumbered(const std::string& name) {
  const std::size_t close = name.rfind(']');
  const std::size_t open = close == std::string::npos ? std::string::npos : name.rfind('[', close);
  if (open != std::string::npos && close > open + 1 && close - open <= 10 &&
      name.find_first_not_of("0123456789", open + 1) == close) {
    const long n = std::stol(name.substr(open + 1, close - open - 1));
    return name.substr(0, open + 1) + std::to_string(n + 1) + name.substr(close);
  }
  const std::size_t dot = name.rfind('.');
  return dot == std::string::npos ? name + "[2]" : name.substr(0, dot) + "[2]" + name.substr(dot);
}

// Opens (making it 0700 when absent) each folder of `components` but the
// last, below `folder`, without following a link; -1 when that fails.
int OpenParentFolder(const std::string& folder, const std::vector<std::string>& components,
                     bool make) {
  int fd = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  for (std::size_t i = 0; fd >= 0 && i + 1 < components.size(); ++i) {
    if (make && mkdirat(fd, components[i].c_str(), 0700) != 0 && errno != EEXIST) {
      close(fd);
      return -1;
    }
    int inner = openat(fd, components[i].c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    close(fd);
    fd = inner;
  }
  return fd;
}

// Nothing, or a regular file, stands at `name`.
bool FreeOrRegular(int folderFd, const std::string& name) {
  struct stat st {};
  if (fstatat(folderFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return errno == ENOENT;
  return S_ISREG(st.st_mode);
}

bool WriteAll(int fd, const std::string& bytes) {
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t wrote = write(fd, bytes.data() + done, bytes.size() - done);
    if (wrote < 0 && errno == EINTR) continue;
    if (wrote <= 0) return false;
    done += static_cast<std::size_t>(wrote);
  }
  return true;
}

// A fresh temporary name in `folderFd`, opened for writing; -1 on failure.
int CreateTemporary(int folderFd, std::string& name) {
  static std::atomic<unsigned> counter{0};
  for (int attempt = 0; attempt < 16; ++attempt) {
    name = ".part-" + std::to_string(getpid()) + "-" + std::to_string(counter++);
    const int fd =
        openat(folderFd, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd >= 0 || errno != EEXIST) return fd;
  }
  return -1;
}

}  // namespace

std::vector<std::string> SafeComponentsBelow(const std::string& folder, const std::string& path) {
  if (folder.empty() || path.size() <= folder.size() + 1 ||
      path.compare(0, folder.size(), folder) != 0 || path[folder.size()] != '/')
    return {};
  std::vector<std::string> components;
  std::size_t at = folder.size() + 1;
  for (;;) {
    const std::size_t slash = path.find('/', at);
    std::string name = path.substr(at, slash == std::string::npos ? std::string::npos : slash - at);
    if (!SafeName(name) || name.find('\0') != std::string::npos) return {};
    components.push_back(std::move(name));
    if (slash == std::string::npos) return components;
    at = slash + 1;
  }
}

bool WriteViewFile(const std::string& folder, const std::vector<std::string>& components,
                   const std::string& bytes) {
  if (components.empty()) return false;
  UniqueFd parent(OpenParentFolder(folder, components, true));
  const std::string& name = components.back();
  if (parent.fd < 0 || !FreeOrRegular(parent.fd, name)) return false;
  std::string temporary;
  UniqueFd file(CreateTemporary(parent.fd, temporary));
  if (file.fd < 0) return false;
  bool written = WriteAll(file.fd, bytes);
  written = close(file.fd) == 0 && written;
  file.fd = -1;
  // rename() replaces whatever stands at the name without following it.
  if (!written || !FreeOrRegular(parent.fd, name) ||
      renameat(parent.fd, temporary.c_str(), parent.fd, name.c_str()) != 0) {
    unlinkat(parent.fd, temporary.c_str(), 0);
    return false;
  }
  return true;
}

void RemoveViewFile(const std::string& folder, const std::vector<std::string>& components) {
  if (components.empty()) return;
  UniqueFd parent(OpenParentFolder(folder, components, false));
  struct stat st {};
  if (parent.fd >= 0 &&
      fstatat(parent.fd, components.back().c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 &&
      S_ISREG(st.st_mode))
    unlinkat(parent.fd, components.back().c_str(), 0);
}

ViewFiles::ViewFiles(std::string viewFolder, DecodeLimits limits)
    : folder_(std::move(viewFolder)), limits_(limits) {}

bool ViewFiles::Claim(std::string& path, Trace trace) {
  std::vector<std::string> components = SafeComponentsBelow(folder_, path);
  if (components.empty()) return false;
  std::lock_guard lock(mutex_);
  std::string claimed = path;
  while (traces_.count(claimed) > 0) {
    components.back() = NextNumbered(components.back());
    if (!SafeName(components.back())) return false;
    claimed = claimed.substr(0, claimed.rfind('/') + 1) + components.back();
  }
  traces_.emplace(claimed, std::move(trace));
  path = std::move(claimed);
  return true;
}

bool ViewFiles::AddCachedFile(SourceEntry& entry, BrowserKind layout) {
  CachedFile file;
  file.url = entry.url;
  file.sourceFile = entry.sourceFile;
  file.layout = layout;
  return Claim(entry.localFileName, std::move(file));
}

bool ViewFiles::AddCookieSheets(std::vector<SourceEntry>& entries,
                                const std::vector<CookieRow>& rows, const std::string& label) {
  std::map<std::string, std::vector<CookieRow>> byEntry = CookiesByEntryUrl(rows, label);
  bool all = true;
  for (SourceEntry& entry : entries) {
    CookieSheet sheet;
    sheet.entryUrl = entry.url;
    if (auto found = byEntry.find(entry.url); found != byEntry.end())
      sheet.cookies = std::move(found->second);
    all = Claim(entry.localFileName, std::move(sheet)) && all;
  }
  return all;
}

bool ViewFiles::Owns(const std::string& path) const {
  std::lock_guard lock(mutex_);
  return traces_.count(path) > 0;
}

std::uint64_t ViewFiles::PendingBytes(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto found = traces_.find(path);
  if (found == traces_.end()) return 0;
  const auto* file = std::get_if<CachedFile>(&found->second);
  FileIdentity source;
  if (!file || IsCurrent(path, *file) || !StatRegularFile(file->sourceFile, source)) return 0;
  return static_cast<std::uint64_t>(source.size);
}

bool ViewFiles::IsCurrent(const std::string& path, const CachedFile& file) {
  FileIdentity now;
  struct stat st {};
  return file.written && StatRegularFile(file.sourceFile, now) && now == file.writtenFrom &&
         lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool ViewFiles::Materialise(const std::string& path) {
  std::lock_guard lock(mutex_);
  auto found = traces_.find(path);
  if (found == traces_.end()) return false;
  if (auto* file = std::get_if<CachedFile>(&found->second))
    return MaterialiseCachedFile(path, *file);
  return MaterialiseCookieSheet(path, std::get<CookieSheet>(found->second));
}

bool ViewFiles::CurrentBody(CachedFile& file, FileIdentity& identity, std::string& body) const {
  for (int attempt = 0; attempt < kReadAttempts; ++attempt) {
    ReadOnlyFile source(file.sourceFile);
    if (!source.IsOpen()) return false;
    std::string problem;
    std::optional<StoredBody> stored = ReadStoredBody(source, file.layout, kMaxStoredBody, problem);
    FileIdentity after;
    // Written while we read: read again.
    if (!StatRegularFile(file.sourceFile, after) || !(after == source.Identity())) continue;
    if (!stored || stored->url != file.url) return false;
    identity = source.Identity();
    return DecodeBody(ContentCodingsOf(stored->responseHead), stored->bytes, limits_, body) ==
           DecodeStatus::kDecoded;
  }
  return false;
}

bool ViewFiles::MaterialiseCachedFile(const std::string& path, CachedFile& file) {
  const std::vector<std::string> components = SafeComponentsBelow(folder_, path);
  if (IsCurrent(path, file)) return true;
  std::string body;
  FileIdentity identity;
  file.written = CurrentBody(file, identity, body) && WriteViewFile(folder_, components, body);
  if (!file.written) {
    RemoveViewFile(folder_, components);
    return false;
  }
  file.writtenFrom = identity;
  return true;
}

bool ViewFiles::MaterialiseCookieSheet(const std::string& path, CookieSheet& sheet) {
  struct stat st {};
  if (sheet.written && lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode)) return true;
  sheet.written = WriteViewFile(folder_, SafeComponentsBelow(folder_, path),
                                CookieSheetText(sheet.entryUrl, sheet.cookies));
  return sheet.written;
}

}  // namespace sources::view
