// The seam behind the WinINet URL-cache calls: providers, each a source of
// cache entries (one browser's store), read from the folder they were
// constructed with. The calls in wininet_posix.cpp turn a search pattern into
// the containers it names and apply the buffer protocol and the entry-type
// filter on top of the provider installed here.
//
// Where a new source goes: a provider of its own under
// platform/sources/<name>/ (the WinINet containers on disk are
// DiskUrlCache.h here), constructed with the folder(s) it reads and
// delivering its entries per container in the one EntryView record; the
// program chains the sources with a CompositeProvider in a fixed order.
#pragma once

#include <windows.h>

#include "platform/wininet/EntryStats.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace urlcache {

// The containers of a URL cache, in the order a walk of all three takes.
enum class Container : std::uint8_t { kCookies, kHistory, kContent };
inline constexpr Container kAllContainers[] = {Container::kCookies, Container::kHistory,
                                               Container::kContent};

// One entry as a provider delivers it. The views stay valid until the cursor
// that filled it moves on or is destroyed. Empty local file, header and
// extension are delivered as absent (null pointers).
struct EntryView : EntryStats {
  std::string_view url;
  std::string_view localFile;  // full local path
  std::string_view header;
  std::string_view extension;
};

// A walk over entries, in delivery order. Damage or a failing read ends the
// walk (Current gives false); it never throws for bad input.
class Cursor {
 public:
  virtual ~Cursor() = default;
  // Fills `entry` with the entry at the current position; false at the end.
  virtual bool Current(EntryView& entry) = 0;
  // Moves to the next entry.
  virtual void Advance() = 0;
  // The entries from the position to the end, counted without delivering
  // them; the cursor stands at the end afterwards. A walk that throws ends
  // there: what came before it is counted.
  virtual std::size_t CountRest();
};

// What became of a local file name handed to Provider::Materialise.
enum class LocalFile : std::uint8_t {
  kNotOurs,  // not a name this source gave out: left as it stands
  kReady,    // the file is there and holds the trace's current content
  kMissing,  // the trace is to be taken for a file that no longer exists
};

// A source of cache entries.
class Provider {
 public:
  virtual ~Provider() = default;
  // Starts a walk over the entries of `container`; null when the source has
  // none there.
  virtual std::unique_ptr<Cursor> Open(Container container) = 0;

  // Makes the local file `localPath` of an entry this source delivered exist
  // before it is used, as WinINet keeps its own cache files on disk. A
  // source whose files are already on disk has nothing to do (kNotOurs).
  virtual LocalFile Materialise(const std::string& localPath);
  // Roughly how many bytes Materialise(localPath) would read now: 0 when it
  // has nothing to do. Lets a caller decide whether to wait for it in place.
  virtual std::uint64_t MaterialiseCost(const std::string& localPath);
};

// Walks `cursors` one after the other; null ones are skipped.
std::unique_ptr<Cursor> ChainCursors(std::vector<std::unique_ptr<Cursor>> cursors);

// Several sources as one: each container's entries come source after
// source, in the order the sources were added. A source that fails to open
// (null, or an exception) or whose walk ends early does not hide the
// entries of the others.
class CompositeProvider : public Provider {
 public:
  void Add(std::unique_ptr<Provider> provider);
  // Adds a source that is not owned; it must outlive this provider's use.
  void Add(Provider& provider);

  std::unique_ptr<Cursor> Open(Container container) override;
  // The answer of the first source that does not answer kNotOurs.
  LocalFile Materialise(const std::string& localPath) override;
  std::uint64_t MaterialiseCost(const std::string& localPath) override;

 private:
  std::vector<std::unique_ptr<Provider>> owned_;
  std::vector<Provider*> sources_;
};

// The provider behind the WinINet calls: the one installed with SetProvider,
// else the WinINet containers on disk of the profile set with
// SetUrlCacheProfile (the default location when none is set).
Provider& CurrentProvider();

// Installs `provider` (not owned; it must outlive its use), or the default
// again for null.
void SetProvider(Provider* provider);

// Makes the local file `localPath` of an entry that CurrentProvider()
// delivered ready to be opened, previewed or shown: our counterpart of
// RetrieveUrlCacheEntryFile, keyed by the path the entry gave. True when the
// path may be used as it stands (a file already on disk, such as WinINet's,
// or one written now); false when the trace is to behave as a missing file.
// An exception of the provider counts as false.
bool RetrieveLocalFile(const std::string& localPath);

// CurrentProvider().MaterialiseCost(localPath); 0 on an exception.
std::uint64_t LocalFileCost(const std::string& localPath);

}  // namespace urlcache
