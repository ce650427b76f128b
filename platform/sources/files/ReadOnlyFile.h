// Reading a browser's files without touching them: opened read-only,
// non-blocking, never following a link, without updating the access time
// where the kernel lets us, and read only with bounded pread calls.
#pragma once

#include <sys/stat.h>

#include <cstdint>
#include <string>

namespace sources {

// Random access to a byte sequence of known size: a file, or bytes in memory
// (tests, fuzzers).
class ByteSource {
 public:
  virtual ~ByteSource() = default;
  virtual std::uint64_t Size() const = 0;
  // Fills `out` with exactly `length` bytes from `offset`; false (and `out`
  // unspecified) when that range is not all there or the read fails.
  virtual bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const = 0;
};

class MemoryBytes : public ByteSource {
 public:
  explicit MemoryBytes(std::string bytes) : bytes_(std::move(bytes)) {}
  std::uint64_t Size() const override { return bytes_.size(); }
  bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override;

 private:
  std::string bytes_;
};

// The buffers a WindowedBytes reads into. Kept across the files of a folder,
// they spare an allocation (and fresh memory) per file.
struct WindowBuffers {
  std::string head;
  std::string tail;
};

// A file's first and last bytes read ahead (one read when the file is
// small), so that parsing a cache entry's header and trailer costs one or two
// system calls; reads outside those windows go to the file.
class WindowedBytes : public ByteSource {
 public:
  WindowedBytes(const ByteSource& file, std::size_t headBytes, std::size_t tailBytes);
  // Reads into `buffers`, which must outlive this object.
  WindowedBytes(const ByteSource& file, std::size_t headBytes, std::size_t tailBytes,
                WindowBuffers& buffers);
  WindowedBytes(const WindowedBytes&) = delete;
  WindowedBytes& operator=(const WindowedBytes&) = delete;
  std::uint64_t Size() const override { return file_.Size(); }
  bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override;

 private:
  const ByteSource& file_;
  WindowBuffers own_;
  WindowBuffers& buffers_;
  std::uint64_t tailStart_ = 0;
};

// What identifies one version of a file: a changed value means the file was
// replaced or written.
struct FileIdentity {
  dev_t device = 0;
  ino_t inode = 0;
  off_t size = 0;
  std::int64_t mtimeNanos = 0;
  std::int64_t ctimeNanos = 0;
  bool operator==(const FileIdentity&) const = default;
};

FileIdentity IdentityOf(const struct stat& st);

// Identity of the file at `path` without following a final link; false when
// it is absent or not a regular file.
bool StatRegularFile(const std::string& path, FileIdentity& identity);

class ReadOnlyFile : public ByteSource {
 public:
  // Opens `path` for reading; IsOpen() is false when it is absent, a link, not
  // a regular file, or unreadable (Error() then holds errno).
  explicit ReadOnlyFile(const std::string& path);
  ~ReadOnlyFile() override;
  ReadOnlyFile(const ReadOnlyFile&) = delete;
  ReadOnlyFile& operator=(const ReadOnlyFile&) = delete;

  bool IsOpen() const { return fd_ >= 0; }
  int Error() const { return error_; }
  // The identity taken from the open descriptor when it was opened.
  const FileIdentity& Identity() const { return identity_; }

  std::uint64_t Size() const override { return static_cast<std::uint64_t>(identity_.size); }
  bool ReadAt(std::uint64_t offset, std::size_t length, std::string& out) const override;
  // The whole file as it was sized when opened; false when it is larger than
  // `limit` or shrank meanwhile. `room` more bytes are reserved behind it for
  // what the caller will add, in memory offered huge pages.
  bool ReadAll(std::uint64_t limit, std::string& out, std::size_t room = 0) const;

 private:
  int fd_ = -1;
  int error_ = 0;
  FileIdentity identity_;
};

}  // namespace sources
