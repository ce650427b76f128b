#include "platform/sources/sqlite/SqliteSnapshot.h"

#include <sqlite3.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <optional>
#include <thread>

#include "platform/common/LargeBuffer.h"
#include "platform/sources/files/ReadOnlyFile.h"
#include "platform/sources/sqlite/DatabaseImage.h"

namespace sources::sqlite {

Database::~Database() {
  sqlite3_close(handle_);
}

namespace {

struct SidecarRead {
  bool present = false;
  FileIdentity identity;
  std::string bytes;
};

// Reads an optional file beside the database; false when it is there but
// could not be read whole (`problem` says why when retrying cannot help).
// The size of an optional file beside the database, up to `limit`; 0 when
// it is absent.
std::size_t SidecarSize(const std::string& path, std::uint64_t limit) {
  FileIdentity identity;
  if (!StatRegularFile(path, identity) || identity.size < 0) return 0;
  return static_cast<std::size_t>(
      std::min<std::uint64_t>(static_cast<std::uint64_t>(identity.size), limit));
}

bool ReadSidecar(const std::string& path, std::uint64_t limit, SidecarRead& read,
                 std::string& problem) {
  ReadOnlyFile file(path);
  if (!file.IsOpen()) {
    read.present = false;
    if (file.Error() == ENOENT) return true;
    problem = "cannot open " + path + ": " + std::strerror(file.Error());
    return false;
  }
  if (file.Size() > limit) {
    problem = path + " is too large to read";
    return false;
  }
  read.present = true;
  read.identity = file.Identity();
  return file.ReadAll(limit, read.bytes);
}

bool StillTheSame(const std::string& path, const SidecarRead& read) {
  FileIdentity now;
  bool present = StatRegularFile(path, now);
  return present == read.present && (!present || now == read.identity);
}

std::string WalHeaderOf(const std::string& walPath) {
  ReadOnlyFile wal(walPath);
  std::string header;
  if (wal.IsOpen() && !wal.ReadAt(0, 32, header)) header.clear();
  return header;
}

struct FileSet {
  SidecarRead database, wal, journal;
};

enum class ReadResult { kRead, kAbsent, kFailed, kChanged };

ReadResult ReadFileSet(const std::string& path, std::uint64_t limit, FileSet& set,
                       std::string& problem) {
  const std::string walPath = path + "-wal";
  const std::string journalPath = path + "-journal";
  // The log's header before and after the database is read: a checkpoint
  // that restarts the log meanwhile changes its salts.
  std::string walHeaderBefore = WalHeaderOf(walPath);
  ReadOnlyFile database(path);
  if (!database.IsOpen()) {
    if (database.Error() == ENOENT) return ReadResult::kAbsent;
    problem = std::string("cannot open: ") + std::strerror(database.Error());
    return ReadResult::kFailed;
  }
  set.database.present = true;
  set.database.identity = database.Identity();
  // Room for the pages the log or the journal adds, so that bringing the
  // image up to date does not move it.
  const std::size_t room = SidecarSize(walPath, limit) + SidecarSize(journalPath, limit);
  if (!database.ReadAll(limit, set.database.bytes, room)) {
    if (database.Size() > limit) {
      problem = "too large to read";
      return ReadResult::kFailed;
    }
    return ReadResult::kChanged;
  }
  if (!ReadSidecar(walPath, limit, set.wal, problem) ||
      !ReadSidecar(journalPath, limit, set.journal, problem))
    return problem.empty() ? ReadResult::kChanged : ReadResult::kFailed;
  if (!StillTheSame(path, set.database) || !StillTheSame(walPath, set.wal) ||
      !StillTheSame(journalPath, set.journal) || WalHeaderOf(walPath) != walHeaderBefore)
    return ReadResult::kChanged;
  return ReadResult::kRead;
}

Snapshot Unreadable(std::string problem) {
  Snapshot snapshot;
  snapshot.status = Snapshot::Status::kUnreadable;
  snapshot.problem = std::move(problem);
  return snapshot;
}

Snapshot Deserialize(std::string image) {
  if (image.empty()) return Unreadable("empty database");
  if (PageSizeOfImage(image) == 0 || std::memcmp(image.data(), "SQLite format 3", 16) != 0)
    return Unreadable("not an SQLite database");
  MarkAsRollbackMode(image);
  sqlite3* handle = nullptr;
  if (sqlite3_open_v2(":memory:", &handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_MEMORY, nullptr) !=
      SQLITE_OK) {
    sqlite3_close(handle);
    return Unreadable("cannot open an in-memory database");
  }
  auto* bytes = reinterpret_cast<unsigned char*>(image.data());
  const auto size = static_cast<sqlite3_int64>(image.size());
  // Moving a string this long hands its buffer over in place.
  auto database = std::make_unique<Database>(handle, std::move(image));
  // Read-only and not resizeable: SQLite reads the bytes where they are.
  if (sqlite3_deserialize(handle, "main", bytes, size, size, SQLITE_DESERIALIZE_READONLY) !=
      SQLITE_OK)
    return Unreadable("cannot open the image");
  // Pages are then read where they lie instead of copied into the page cache.
  sqlite3_exec(handle, ("PRAGMA mmap_size=" + std::to_string(size)).c_str(), nullptr, nullptr,
               nullptr);
  // A damaged image opens but fails its first read.
  if (sqlite3_exec(handle, "SELECT count(*) FROM sqlite_schema", nullptr, nullptr, nullptr) !=
      SQLITE_OK)
    return Unreadable(std::string("damaged database: ") + sqlite3_errmsg(handle));
  Snapshot snapshot;
  snapshot.status = Snapshot::Status::kOpen;
  snapshot.database = std::move(database);
  return snapshot;
}

}  // namespace

Snapshot OpenImage(std::string image, const std::string& wal, const std::string& journal) {
  bool rolledBack = false;
  bool walApplied = false;
  if (image.capacity() < image.size() + wal.size() + journal.size()) {
    std::string roomy;
    roomy.reserve(image.size() + wal.size() + journal.size());
    platform::OfferHugePages(roomy.data(), roomy.capacity());
    roomy.append(image);
    image = std::move(roomy);
  }
  if (JournalIsHot(journal)) rolledBack = RollBackJournal(image, journal) > 0;
  if (!wal.empty()) walApplied = ApplyWal(image, wal).commits > 0;
  Snapshot snapshot = Deserialize(std::move(image));
  snapshot.walApplied = walApplied;
  snapshot.journalRolledBack = rolledBack;
  return snapshot;
}

Snapshot OpenSnapshot(const std::string& path, const SnapshotOptions& options) {
  bool hotBefore = false;
  for (int attempt = 0; attempt < options.attempts; ++attempt) {
    if (attempt > 0) std::this_thread::sleep_for(options.settle);
    FileSet set;
    std::string problem;
    switch (ReadFileSet(path, options.maxFileBytes, set, problem)) {
      case ReadResult::kAbsent:
        return Snapshot{};
      case ReadResult::kFailed:
        return Unreadable(problem);
      case ReadResult::kChanged:
        continue;
      case ReadResult::kRead:
        break;
    }
    const bool hot = JournalIsHot(set.journal.bytes);
    // A hot journal may belong to a transaction being written right now:
    // look again once before rolling it back ourselves.
    if (hot && !hotBefore && attempt + 1 < options.attempts) {
      hotBefore = true;
      continue;
    }
    return OpenImage(std::move(set.database.bytes), set.wal.bytes,
                     hot ? set.journal.bytes : std::string());
  }
  return Unreadable("changed on every read");
}

}  // namespace sources::sqlite
