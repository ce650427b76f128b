// The profiles listed in a Firefox profiles root's profiles.ini.
#pragma once

#include <string>
#include <vector>

namespace sources::firefox {

struct ProfileListing {
  std::string name;          // Name=
  std::string path;          // the profile folder, absolute
  std::string relativePath;  // Path= when IsRelative=1, else empty
};

// The [ProfileN] sections of `root`/profiles.ini in file order; empty when the
// file is absent or unreadable. A section without Path=, or whose relative path
// climbs out of the root, is skipped.
std::vector<ProfileListing> ReadProfilesIni(const std::string& root);

// The same from the file's text (tests).
std::vector<ProfileListing> ParseProfilesIni(const std::string& root, const std::string& text);

}  // namespace sources::firefox
