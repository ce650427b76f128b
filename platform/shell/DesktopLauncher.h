// The real launcher of a freedesktop.org desktop: xdg-open for the default
// application, GIO for a chosen one, the FileManager1 D-Bus interface for
// showing a file in its folder.
#pragma once

#include "platform/shell/Launcher.h"

namespace shell {

class DesktopLauncher : public Launcher {
 public:
  // Starts `xdg-open target`, found on PATH, detached: the program runs on
  // its own and leaves no zombie behind. A target that names no existing
  // local file is passed on only when it reads as an address
  // ("scheme:..."); otherwise kFileNotFound.
  LaunchResult Open(const std::string& target, const std::string& directory) override;

  // Launches through GIO's application info, detached.
  bool OpenWith(const std::string& applicationId, const std::string& path) override;

  // org.freedesktop.FileManager1.ShowItems on the session bus, both the
  // connection and the call made asynchronously on GLib's default main
  // context (which Qt's event loop runs). `failed` runs when there is no bus,
  // no file manager on it, or the file manager answers with an error; a file
  // manager that is merely slow to answer is left to show the folder.
  bool ShowInFolder(const std::string& path, std::function<void()> failed) override;
};

// True when `target` starts with a URI scheme of two or more characters
// ("http:", "file:", "mailto:"); single letters are left to drive-like names.
bool LooksLikeAddress(const std::string& target);

}  // namespace shell
