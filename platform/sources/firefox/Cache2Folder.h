// The entry files of a Firefox cache2 folder: entries/, and doomed/ and
// trash*/ whose entries are on their way out but still on disk.
#pragma once

#include <string>
#include <vector>

namespace sources::firefox {

struct Cache2Folder {
  std::vector<std::string> entryFiles;  // paths relative to the cache2 folder, sorted
  std::vector<std::string> problems;
};

// Lists `cache2` (absent: empty, no problem). The index is not trusted: the
// folders are walked. Only regular files directly inside them count.
Cache2Folder ScanCache2Folder(const std::string& cache2);

}  // namespace sources::firefox
