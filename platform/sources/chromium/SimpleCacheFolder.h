// What a Chromium cache folder (Cache_Data) holds: the simple cache's entry
// files, and the layouts we do not read, reported rather than shown empty.
#pragma once

#include <string>
#include <vector>

namespace sources::chromium {

struct SimpleCacheFolder {
  std::vector<std::string> entryFiles;  // "<16 hex>_0" names, sorted
  std::vector<std::string> problems;    // layouts found and not read
};

// Lists `folder` (absent: empty, no problem). The blockfile cache (an index
// starting C3 CA 03 C1, data_N or f_XXXXXX files), the SQL-backed cache
// (sqldb*) and sparse `_s` files are named in `problems`.
SimpleCacheFolder ScanSimpleCacheFolder(const std::string& folder);

}  // namespace sources::chromium
