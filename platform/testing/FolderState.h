// What a test compares to prove that a folder was left alone: every file and
// folder below it with its size, modification time and (files) bytes.
#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>
#include <string>

namespace fixture {

inline std::string FileBytes(const std::filesystem::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

// Path -> "size@seconds.nanoseconds" (":bytes" for a file) of everything
// below `root`; links are listed, not followed.
inline std::map<std::string, std::string> FolderState(const std::filesystem::path& root) {
  std::map<std::string, std::string> state;
  for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
    struct stat st {};
    lstat(entry.path().c_str(), &st);
    std::string value = std::to_string(st.st_size) + "@" + std::to_string(st.st_mtim.tv_sec) + "." +
                        std::to_string(st.st_mtim.tv_nsec);
    if (entry.is_regular_file()) value += ":" + FileBytes(entry.path());
    state[entry.path().string()] = value;
  }
  return state;
}

}  // namespace fixture
