// Writes the browser traces out of the view folder into a folder the user
// names: the same bytes the window opens, one folder per source.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "platform/sources/BrowserProvider.h"

namespace sources {

// What extracting one browser source wrote.
struct ExtractedSource {
  std::string label;
  std::string folder;       // <dir>/<label>
  std::size_t written = 0;  // cached files and cookie sheets written there
  std::size_t missing = 0;  // traces that behave as missing files (not written)
};

// Materialises every cached file and cookie sheet of the browser sources of
// `machine` (reading them if no walk has yet) and writes a copy of each
// under `dir`/<label>/, at its place below the source's part of the view
// folder (a cookie sheet at its own name). `dir` is made 0700 when absent
// (its parent must exist); files are made as the view folder's are (0600,
// O_EXCL | O_NOFOLLOW under a temporary name, renamed into place), and a
// link standing at a name is refused. False when `dir` cannot be made or
// opened; the sources are then left out.
bool ExtractTraces(MachineSources& machine, const std::string& dir,
                   std::vector<ExtractedSource>& extracted);

}  // namespace sources
