#include "platform/common/NameInFolder.h"

#include <sys/stat.h>

#include <filesystem>

#include "platform/common/AsciiCase.h"

namespace platform {

std::optional<std::string> FindNameIgnoringCase(const std::string& folder,
                                                const std::string& name) {
  struct stat status;
  if (::lstat((folder + "/" + name).c_str(), &status) == 0) return name;
  std::optional<std::string> match;
  std::error_code error;
  for (std::filesystem::directory_iterator it(folder, error), end; !error && it != end;
       it.increment(error)) {
    std::string candidate = it->path().filename().string();
    if (AsciiEqualIgnoringCase(candidate, name) && (!match || candidate < *match))
      match = std::move(candidate);
  }
  return match;
}

}  // namespace platform
