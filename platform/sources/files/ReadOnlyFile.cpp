#include "platform/sources/files/ReadOnlyFile.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "platform/common/LargeBuffer.h"

namespace sources {

bool MemoryBytes::ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const {
  if (offset > bytes_.size() || length > bytes_.size() - offset) return false;
  out.assign(bytes_, static_cast<std::size_t>(offset), length);
  return true;
}

WindowedBytes::WindowedBytes(const ByteSource& file, std::size_t headBytes, std::size_t tailBytes)
    : WindowedBytes(file, headBytes, tailBytes, own_) {}

WindowedBytes::WindowedBytes(const ByteSource& file, std::size_t headBytes, std::size_t tailBytes,
                             WindowBuffers& buffers)
    : file_(file), buffers_(buffers) {
  std::string& head = buffers_.head;
  std::string& tail = buffers_.tail;
  tail.clear();
  const std::uint64_t size = file.Size();
  if (size <= headBytes + tailBytes) {
    if (!file.ReadAt(0, static_cast<std::size_t>(size), head)) head.clear();
    tailStart_ = size;
    return;
  }
  if (!file.ReadAt(0, headBytes, head)) head.clear();
  tailStart_ = size - tailBytes;
  if (!file.ReadAt(tailStart_, tailBytes, tail)) {
    tail.clear();
    tailStart_ = size;
  }
}

bool WindowedBytes::ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const {
  const std::string& head = buffers_.head;
  const std::string& tail = buffers_.tail;
  if (offset <= head.size() && length <= head.size() - offset) {
    out.assign(head, static_cast<std::size_t>(offset), length);
    return true;
  }
  if (offset >= tailStart_ && offset - tailStart_ <= tail.size() &&
      length <= tail.size() - (offset - tailStart_)) {
    out.assign(tail, static_cast<std::size_t>(offset - tailStart_), length);
    return true;
  }
  return file_.ReadAt(offset, length, out);
}

FileIdentity IdentityOf(const struct stat& st) {
  FileIdentity id;
  id.device = st.st_dev;
  id.inode = st.st_ino;
  id.size = st.st_size;
  id.mtimeNanos = static_cast<std::int64_t>(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec;
  id.ctimeNanos = static_cast<std::int64_t>(st.st_ctim.tv_sec) * 1000000000 + st.st_ctim.tv_nsec;
  return id;
}

bool StatRegularFile(const std::string& path, FileIdentity& identity) {
  struct stat st {};
  if (lstat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return false;
  identity = IdentityOf(st);
  return true;
}

namespace {

int OpenWithoutTouching(const std::string& path) {
  const int flags = O_RDONLY | O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC;
  int fd = open(path.c_str(), flags | O_NOATIME);
  // O_NOATIME is allowed only on files we own.
  if (fd < 0 && errno == EPERM) fd = open(path.c_str(), flags);
  return fd;
}

}  // namespace

ReadOnlyFile::ReadOnlyFile(const std::string& path) {
  int fd = OpenWithoutTouching(path);
  if (fd < 0) {
    error_ = errno;
    return;
  }
  struct stat st {};
  if (fstat(fd, &st) != 0)
    error_ = errno;
  else if (!S_ISREG(st.st_mode))
    error_ = EINVAL;
  if (error_ != 0) {
    close(fd);
    return;
  }
  fd_ = fd;
  identity_ = IdentityOf(st);
}

ReadOnlyFile::~ReadOnlyFile() {
  if (fd_ >= 0) close(fd_);
}

bool ReadOnlyFile::ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const {
  if (fd_ < 0 || offset > Size() || length > Size() - offset) return false;
  out.resize(length);
  std::size_t done = 0;
  while (done < length) {
    ssize_t got = pread(fd_, out.data() + done, length - done, static_cast<off_t>(offset + done));
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

bool ReadOnlyFile::ReadAll(std::uint64_t limit, std::string& out, std::size_t room) const {
  if (Size() > limit) return false;
  const auto size = static_cast<std::size_t>(Size());
  std::string bytes;
  bytes.reserve(size + room);
  platform::OfferHugePages(bytes.data(), bytes.capacity());
  if (!ReadAt(0, size, bytes)) return false;
  out = std::move(bytes);
  return true;
}

}  // namespace sources
