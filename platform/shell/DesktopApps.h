// The applications that the desktop's MIME database associates with a file,
// as GIO reads them (shared-mime-info for the type, the desktop files and
// mimeapps.list of the XDG data and config folders for the applications).
#pragma once

#include <string>
#include <vector>

namespace shell {

struct DesktopApplication {
  std::string id;    // desktop-file id, for Launcher::OpenWith
  std::string name;  // the name to show
  std::string icon;  // an icon theme name, an absolute icon file, or empty
};

// The content type GIO gives the local file at `path` ("image/png"), from
// its name and, where that is not conclusive, its first bytes. Empty when the
// file cannot be queried (it does not exist, say).
std::string ContentTypeOfFile(const std::string& path);

// Every application associated with the content type of the file at `path`,
// the desktop's default first, in GIO's order. Empty when there is none or
// the file cannot be queried.
std::vector<DesktopApplication> ApplicationsForFile(const std::string& path);

}  // namespace shell
