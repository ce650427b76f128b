#include "platform/shell/Launcher.h"

#include "platform/shell/DesktopLauncher.h"

namespace shell {

namespace {
Launcher* installed = nullptr;
}

Launcher& CurrentLauncher() {
  if (installed != nullptr) return *installed;
  static DesktopLauncher desktop;
  return desktop;
}

void SetLauncher(Launcher* launcher) {
  installed = launcher;
}

ScopedLauncher::ScopedLauncher(Launcher& launcher) : previous_(installed) {
  installed = &launcher;
}

ScopedLauncher::~ScopedLauncher() {
  installed = previous_;
}

}  // namespace shell
