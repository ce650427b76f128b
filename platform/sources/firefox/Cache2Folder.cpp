#include "platform/sources/firefox/Cache2Folder.h"

#include <algorithm>
#include <filesystem>

namespace sources::firefox {

namespace {

namespace fs = std::filesystem;

bool HoldsEntries(const std::string& name) {
  return name == "entries" || name == "doomed" || name.rfind("trash", 0) == 0;
}

void ListEntryFiles(const fs::path& folder, const std::string& relative, Cache2Folder& out) {
  std::error_code error;
  for (fs::directory_iterator it(folder, error); !error && it != fs::directory_iterator();
       it.increment(error)) {
    std::error_code statError;
    if (it->is_regular_file(statError) && !it->is_symlink(statError))
      out.entryFiles.push_back(relative + "/" + it->path().filename().string());
  }
  if (error) out.problems.push_back(folder.string() + ": cannot list: " + error.message());
}

}  // namespace

Cache2Folder ScanCache2Folder(const std::string& cache2) {
  Cache2Folder result;
  std::error_code error;
  fs::directory_iterator it(cache2, error);
  if (error) {
    if (error != std::errc::no_such_file_or_directory)
      result.problems.push_back(cache2 + ": cannot list: " + error.message());
    return result;
  }
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) break;
    const std::string name = it->path().filename();
    std::error_code statError;
    if (HoldsEntries(name) && it->is_directory(statError) && !it->is_symlink(statError))
      ListEntryFiles(it->path(), name, result);
  }
  std::sort(result.entryFiles.begin(), result.entryFiles.end());
  return result;
}

}  // namespace sources::firefox
