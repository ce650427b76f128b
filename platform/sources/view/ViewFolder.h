// The private folder that browser traces are shown from: our counterpart of
// WinINet's cache files on disk. $XDG_RUNTIME_DIR/sitelore/<pid>/ when that
// is set (and usable), else a mkdtemp folder "sitelore-view-<pid>-XXXXXX" in
// $TMPDIR or /tmp; mode 0700; removed with everything in it when its owner
// goes. Folders that processes no longer running left behind are swept when
// a new one is made.
#pragma once

#include <sys/types.h>

#include <string>

namespace sources::view {

class ViewFolder {
 public:
  // Reads XDG_RUNTIME_DIR and TMPDIR.
  static ViewFolder ForThisProcess();
  // `runtimeDir` may be empty (not set).
  ViewFolder(const std::string& runtimeDir, const std::string& tempDir, pid_t pid);
  ~ViewFolder();
  ViewFolder(ViewFolder&& other) noexcept;
  ViewFolder& operator=(ViewFolder&&) = delete;
  ViewFolder(const ViewFolder&) = delete;
  ViewFolder& operator=(const ViewFolder&) = delete;

  // Where the traces' local file names point; set even when the folder could
  // not be made, so that names stay stable and the traces behave as missing.
  const std::string& Path() const { return path_; }
  bool Usable() const { return usable_; }

 private:
  std::string path_;
  bool usable_ = false;
};

// Removes `name` in the folder `parentFd` and, for a folder, everything in
// it, never following a link (a link is removed, not its target); at most
// `depth` folder levels deep. True when it is gone.
bool RemoveTreeAt(int parentFd, const std::string& name, int depth);

// Whether a process with this id runs (of any user).
bool ProcessRuns(pid_t pid);

}  // namespace sources::view
