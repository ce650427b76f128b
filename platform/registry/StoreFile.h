// The file that keeps one product's registry keys, and the advisory lock that
// serialises everyone who writes it.
#pragma once

#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>

namespace regstore {

struct StorePath {
  std::string folder;
  std::string fileName;

  std::string Full() const { return folder + "/" + fileName; }
};

// $XDG_CONFIG_HOME/<vendor>/<product>.reg, where XDG_CONFIG_HOME (when unset
// or not absolute) is $HOME/.config. Reads the environment at each call.
// Vendor and product match existing names without regard to ASCII letter
// case, as key names do. Null when there is no home folder to go by.
std::optional<StorePath> StorePathFor(const std::string& vendor, const std::string& product);

// A store file held under its lock. The lock is an exclusive flock on a
// companion file that is never replaced, so it is held from Open until
// destruction across any number of replacements; a process that dies
// releases it. The lock is shared with child processes forked meanwhile.
class LockedStoreFile {
 public:
  ~LockedStoreFile();
  LockedStoreFile(const LockedStoreFile&) = delete;
  LockedStoreFile& operator=(const LockedStoreFile&) = delete;

  // Creates missing folders (mode 0700), waits for and takes the lock, and
  // removes temporary files that writers killed mid-write left behind.
  // Returns ERROR_SUCCESS with `result` set, else a Windows error code. In a
  // folder where the lock file cannot be made (read-only), the file is
  // opened for reading only, without the lock: Replace then refuses.
  static DWORD Open(const StorePath& path, std::unique_ptr<LockedStoreFile>& result);

  // Reads the whole file into `text`; `exists` is false when there is none.
  // Files over 16 MiB are refused with ERROR_BADDB; anything but a regular
  // file (a FIFO, a device, a folder) with ERROR_ACCESS_DENIED, unread.
  DWORD Read(std::string& text, bool& exists) const;

  // Replaces the file with `text`: written to a temporary file in the same
  // folder, flushed, then renamed over the old one, so the file is always
  // either the old one or the new one. Keeps the old file's mode (0600 for a
  // new file); follows a symbolic link to the file it names. A file that
  // already holds exactly `text` is left alone (nothing written, nothing
  // synced). A file that its mode makes read-only, or that is not a regular
  // file, is refused with ERROR_ACCESS_DENIED; a symbolic link whose target
  // does not exist is kept and refused with ERROR_PATH_NOT_FOUND.
  DWORD Replace(std::string_view text) const;

 private:
  LockedStoreFile(StorePath path, int lockFd);

  StorePath path_;
  int lockFd_;
};

}  // namespace regstore
