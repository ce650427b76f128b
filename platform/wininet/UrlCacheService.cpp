#include "platform/wininet/UrlCacheService.h"

#include <atomic>
#include <exception>

#include "platform/wininet/ContainerLocator.h"
#include "platform/wininet/DiskUrlCache.h"

namespace urlcache {
namespace {

class ChainCursor : public Cursor {
 public:
  explicit ChainCursor(std::vector<std::unique_ptr<Cursor>> cursors) {
    // A chain of chains (the containers of a pattern, each a chain of
    // sources) walks as one chain of their cursors: one step less an entry.
    for (std::unique_ptr<Cursor>& cursor : cursors) {
      auto* chain = dynamic_cast<ChainCursor*>(cursor.get());
      if (chain && chain->index_ == 0) {
        for (std::unique_ptr<Cursor>& inner : chain->cursors_)
          if (inner) cursors_.push_back(std::move(inner));
      } else if (cursor) {
        cursors_.push_back(std::move(cursor));
      }
    }
  }

  bool Current(EntryView& entry) override {
    for (; index_ < cursors_.size(); ++index_)
      if (cursors_[index_] && CurrentOf(*cursors_[index_], entry)) return true;
    return false;
  }

  void Advance() override {
    if (index_ < cursors_.size() && cursors_[index_]) cursors_[index_]->Advance();
  }

  std::size_t CountRest() override {
    std::size_t count = 0;
    for (; index_ < cursors_.size(); ++index_)
      if (cursors_[index_]) count += cursors_[index_]->CountRest();
    return count;
  }

 private:
  // A source whose walk throws has ended; the next one goes on.
  static bool CurrentOf(Cursor& cursor, EntryView& entry) {
    try {
      return cursor.Current(entry);
    } catch (const std::exception&) {
      return false;
    }
  }

  std::vector<std::unique_ptr<Cursor>> cursors_;
  std::size_t index_ = 0;
};

// Reads the profile at every walk, so that SetUrlCacheProfile takes effect
// at the next one.
class DefaultProvider : public Provider {
 public:
  std::unique_ptr<Cursor> Open(Container container) override {
    return DiskUrlCache(UrlCacheProfile()).Open(container);
  }
};

std::atomic<Provider*> installed{nullptr};

}  // namespace

std::size_t Cursor::CountRest() {
  std::size_t count = 0;
  try {
    for (EntryView entry; Current(entry); Advance()) ++count;
  } catch (const std::exception&) {
    // The walk ended here.
  }
  return count;
}

std::unique_ptr<Cursor> ChainCursors(std::vector<std::unique_ptr<Cursor>> cursors) {
  return std::make_unique<ChainCursor>(std::move(cursors));
}

LocalFile Provider::Materialise(const std::string& /*localPath*/) {
  return LocalFile::kNotOurs;
}

std::uint64_t Provider::MaterialiseCost(const std::string& /*localPath*/) {
  return 0;
}

void CompositeProvider::Add(std::unique_ptr<Provider> provider) {
  sources_.push_back(provider.get());
  owned_.push_back(std::move(provider));
}

void CompositeProvider::Add(Provider& provider) {
  sources_.push_back(&provider);
}

std::unique_ptr<Cursor> CompositeProvider::Open(Container container) {
  std::vector<std::unique_ptr<Cursor>> cursors;
  cursors.reserve(sources_.size());
  for (Provider* source : sources_) {
    try {
      cursors.push_back(source->Open(container));
    } catch (const std::exception&) {
      // This source is left out of the walk; the others still deliver.
    }
  }
  return ChainCursors(std::move(cursors));
}

LocalFile CompositeProvider::Materialise(const std::string& localPath) {
  for (Provider* source : sources_) {
    try {
      const LocalFile answer = source->Materialise(localPath);
      if (answer != LocalFile::kNotOurs) return answer;
    } catch (const std::exception&) {
      // A source that fails here does not keep the others from answering.
    }
  }
  return LocalFile::kNotOurs;
}

std::uint64_t CompositeProvider::MaterialiseCost(const std::string& localPath) {
  for (Provider* source : sources_) {
    try {
      if (const std::uint64_t cost = source->MaterialiseCost(localPath)) return cost;
    } catch (const std::exception&) {
      // As in Materialise.
    }
  }
  return 0;
}

Provider& CurrentProvider() {
  static DefaultProvider disk;
  Provider* provider = installed.load();
  return provider ? *provider : disk;
}

void SetProvider(Provider* provider) {
  installed.store(provider);
}

bool RetrieveLocalFile(const std::string& localPath) {
  try {
    return CurrentProvider().Materialise(localPath) != LocalFile::kMissing;
  } catch (const std::exception&) {
    return false;
  }
}

std::uint64_t LocalFileCost(const std::string& localPath) {
  try {
    return CurrentProvider().MaterialiseCost(localPath);
  } catch (const std::exception&) {
    return 0;
  }
}

}  // namespace urlcache
