// Finding a name in a folder without regard to ASCII letter case, as Windows
// file names and registry key names are found.
#pragma once

#include <optional>
#include <string>

namespace platform {

// The spelling under which `name` stands in `folder`: `name` itself when an
// entry of that exact spelling exists, else the entry that differs from it
// only in ASCII letter case and sorts first (so that the answer does not
// depend on the order the folder lists its entries in). None when there is
// no such entry or the folder cannot be read.
std::optional<std::string> FindNameIgnoringCase(const std::string& folder, const std::string& name);

}  // namespace platform
