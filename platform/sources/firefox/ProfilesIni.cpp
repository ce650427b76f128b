#include "platform/sources/firefox/ProfilesIni.h"

#include <sstream>

#include "platform/sources/files/ReadOnlyFile.h"

namespace sources::firefox {

namespace {

constexpr std::uint64_t kMaxIniBytes = 1 << 20;

std::string Trimmed(std::string text) {
  while (!text.empty() && (text.back() == '\r' || text.back() == ' ' || text.back() == '\t'))
    text.pop_back();
  std::size_t start = text.find_first_not_of(" \t");
  return start == std::string::npos ? std::string() : text.substr(start);
}

bool ClimbsOut(const std::string& relative) {
  if (relative.empty() || relative.front() == '/') return true;
  std::stringstream parts(relative);
  std::string part;
  while (std::getline(parts, part, '/'))
    if (part == "..") return true;
  return false;
}

struct Section {
  bool isProfile = false;
  std::string name, path;
  bool relative = true;
};

void Finish(const std::string& root, const Section& section, std::vector<ProfileListing>& out) {
  if (!section.isProfile || section.path.empty()) return;
  ProfileListing listing;
  listing.name = section.name;
  if (section.relative) {
    if (ClimbsOut(section.path)) return;
    listing.relativePath = section.path;
    listing.path = root + "/" + section.path;
  } else {
    if (section.path.front() != '/') return;
    listing.path = section.path;
  }
  out.push_back(std::move(listing));
}

}  // namespace

std::vector<ProfileListing> ParseProfilesIni(const std::string& root, const std::string& text) {
  std::vector<ProfileListing> profiles;
  Section section;
  std::stringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    line = Trimmed(line);
    if (line.empty() || line[0] == ';' || line[0] == '#') continue;
    if (line.front() == '[') {
      Finish(root, section, profiles);
      section = Section{};
      section.isProfile = line.rfind("[Profile", 0) == 0;
      continue;
    }
    std::size_t equals = line.find('=');
    if (equals == std::string::npos) continue;
    std::string key = Trimmed(line.substr(0, equals));
    std::string value = Trimmed(line.substr(equals + 1));
    if (key == "Name") section.name = value;
    if (key == "Path") section.path = value;
    if (key == "IsRelative") section.relative = value != "0";
  }
  Finish(root, section, profiles);
  return profiles;
}

std::vector<ProfileListing> ReadProfilesIni(const std::string& root) {
  ReadOnlyFile file(root + "/profiles.ini");
  std::string text;
  if (!file.IsOpen() || !file.ReadAll(kMaxIniBytes, text)) return {};
  return ParseProfilesIni(root, text);
}

}  // namespace sources::firefox
