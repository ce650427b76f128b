#include "platform/sources/TraceExtraction.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "platform/common/UniqueFd.h"
#include "platform/sources/view/ViewFiles.h"

namespace sources {
namespace {

// Reads our own file written into the view folder, never through a link.
bool ReadViewFile(const std::string& path, std::string& bytes) {
  UniqueFd file(open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (file.fd < 0 || fstat(file.fd, &st) != 0 || !S_ISREG(st.st_mode)) return false;
  bytes.assign(static_cast<std::size_t>(st.st_size), '\0');
  std::size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t got = read(file.fd, bytes.data() + done, bytes.size() - done);
    if (got < 0 && errno == EINTR) continue;
    if (got <= 0) return false;
    done += static_cast<std::size_t>(got);
  }
  return true;
}

// Where the trace at `localPath` goes below `dir`: <label>/ and its place
// below the view folder, without a leading folder of the label's own.
std::vector<std::string> ExtractedName(const std::string& viewFolder, const std::string& localPath,
                                       const std::string& label) {
  std::vector<std::string> components = view::SafeComponentsBelow(viewFolder, localPath);
  if (components.empty()) return {};
  if (components.size() > 1 && components.front() == label) components.erase(components.begin());
  components.insert(components.begin(), label);
  return components;
}

bool ExtractOne(MachineSources& machine, const std::string& localPath, const std::string& label,
                const std::string& dir) {
  std::string bytes;
  if (localPath.empty() || machine.Materialise(localPath) != urlcache::LocalFile::kReady ||
      !ReadViewFile(localPath, bytes))
    return false;
  return view::WriteViewFile(dir, ExtractedName(machine.ViewFolder(), localPath, label), bytes);
}

bool MakeFolder(const std::string& dir) {
  if (mkdir(dir.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  return lstat(dir.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

}  // namespace

bool ExtractTraces(MachineSources& machine, const std::string& dir,
                   std::vector<ExtractedSource>& extracted) {
  if (dir.empty() || !MakeFolder(dir)) return false;
  for (const BrowserProvider* browser : machine.Browsers()) {
    ExtractedSource& source = extracted.emplace_back();
    source.label = browser->profile().label;
    source.folder = dir + "/" + source.label;
    const SourceEntries& entries = browser->read().entries;
    for (const auto* list : {&entries.content, &entries.cookies})
      for (const SourceEntry& entry : *list)
        ++(ExtractOne(machine, entry.localFileName, source.label, dir) ? source.written
                                                                       : source.missing);
  }
  return true;
}

}  // namespace sources
