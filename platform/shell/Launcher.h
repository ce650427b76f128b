// The seam between the shell stand-ins and the desktop: everything that
// starts a program or asks another process to act goes through the current
// Launcher. The desktop launcher is the real one; tests install a
// RecordingLauncher and see what would have been started.
#pragma once

#include <functional>
#include <string>

namespace shell {

enum class LaunchResult {
  kStarted,       // the desktop's handler was started (not waited for)
  kFileNotFound,  // the local file does not exist
  kPathNotFound,  // the working directory does not exist
  kNoHandler,     // the desktop has no launcher (xdg-open not on PATH)
  kAccessDenied,  // the launcher could not be run
  kFailed,        // any other failure to start it
};

class Launcher {
 public:
  virtual ~Launcher() = default;

  // Hands `target` to the desktop's default application for it: a local
  // path (a relative one is taken from `directory`) or an address such as
  // "http://...". The target is passed on as one argument, unchanged.
  // `directory` (empty: the caller's) is the started program's working
  // directory. Returns once the handler has been started, never waiting for
  // it.
  virtual LaunchResult Open(const std::string& target, const std::string& directory) = 0;

  // Starts the application with the desktop-file id `applicationId`
  // ("org.gnome.eog.desktop") on the local file `path`. True when it started.
  virtual bool OpenWith(const std::string& applicationId, const std::string& path) = 0;

  // Asks the desktop's file manager to show its folder with `path`
  // selected, without waiting for its answer. `failed` runs later, from the
  // caller's event loop, once it is known that no file manager took the
  // request; it never runs when one did. False (and `failed` never runs)
  // when the request cannot even be made.
  virtual bool ShowInFolder(const std::string& path, std::function<void()> failed) = 0;
};

// The launcher the shell stand-ins use: the one installed with SetLauncher,
// else the desktop launcher.
Launcher& CurrentLauncher();

// Installs `launcher` (not owned; it must outlive its use), or the desktop
// launcher again for null.
void SetLauncher(Launcher* launcher);

// Installs a launcher for the lifetime of a scope, then puts back the one
// that was current before.
class ScopedLauncher {
 public:
  explicit ScopedLauncher(Launcher& launcher);
  ~ScopedLauncher();
  ScopedLauncher(const ScopedLauncher&) = delete;
  ScopedLauncher& operator=(const ScopedLauncher&) = delete;

 private:
  Launcher* previous_;
};

}  // namespace shell
