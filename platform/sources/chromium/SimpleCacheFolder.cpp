#include "platform/sources/chromium/SimpleCacheFolder.h"

#include <algorithm>
#include <filesystem>

#include "platform/sources/files/ReadOnlyFile.h"

namespace sources::chromium {

namespace {

namespace fs = std::filesystem;

bool IsHex(std::string_view text) {
  return text.find_first_not_of("0123456789abcdef") == std::string_view::npos;
}

bool IsEntryFile(const std::string& name, char stream) {
  return name.size() == 18 && name[16] == '_' && name[17] == stream &&
         IsHex(std::string_view(name).substr(0, 16));
}

bool IsBlockfileIndex(const std::string& path) {
  ReadOnlyFile index(path);
  std::string magic;
  return index.IsOpen() && index.ReadAt(0, 4, magic) && magic == "\xC3\xCA\x03\xC1";
}

bool IsBlockfileName(const std::string& name) {
  return (name.size() == 6 && name.rfind("data_", 0) == 0) ||
         (name.size() == 8 && name.rfind("f_", 0) == 0 && IsHex(name.substr(2)));
}

}  // namespace

SimpleCacheFolder ScanSimpleCacheFolder(const std::string& folder) {
  SimpleCacheFolder result;
  std::error_code error;
  fs::directory_iterator it(folder, error);
  if (error) {
    if (error != std::errc::no_such_file_or_directory)
      result.problems.push_back(folder + ": cannot list: " + error.message());
    return result;
  }
  std::size_t sparse = 0;
  bool blockfile = false;
  bool sqlBacked = false;
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    const std::string name = it->path().filename();
    if (IsEntryFile(name, '0')) result.entryFiles.push_back(name);
    if (IsEntryFile(name, 's')) ++sparse;
    if (IsBlockfileName(name) || (name == "index" && IsBlockfileIndex(it->path())))
      blockfile = true;
    if (name.rfind("sqldb", 0) == 0) sqlBacked = true;
  }
  if (error) result.problems.push_back(folder + ": cannot list: " + error.message());
  std::sort(result.entryFiles.begin(), result.entryFiles.end());
  if (blockfile)
    result.problems.push_back(folder + ": blockfile cache (data_N files), a layout not read");
  if (sqlBacked)
    result.problems.push_back(folder + ": SQL-backed cache (sqldb files), a layout not read");
  if (sparse > 0)
    result.problems.push_back(folder + ": " + std::to_string(sparse) +
                              " sparse (_s) media files, a layout not read");
  return result;
}

}  // namespace sources::chromium
