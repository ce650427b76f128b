// Bringing the bytes of an SQLite database file up to date in memory, as
// SQLite itself would on opening it: committed frames of its write-ahead log
// applied, or the saved pages of a hot rollback journal rolled back. Pure
// functions on bytes; damaged logs and journals cost what is damaged.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace sources::sqlite {

struct WalSummary {
  bool headerValid = false;
  std::uint32_t pageSize = 0;
  std::uint32_t framesApplied = 0;  // frames up to and including the last valid commit
  std::uint32_t commits = 0;
  std::uint32_t databasePages = 0;  // from the last valid commit frame; 0 without one
};

// Applies the frames of `wal` that belong to its current generation (salts
// equal to the header's, running checksum intact) up to the last commit frame
// to `image`, whose size becomes that commit's database size. A WAL whose
// header is damaged, whose page size differs from the image's, or that lies
// beside a database not in WAL mode, is left out. Returns what was applied.
WalSummary ApplyWal(std::string& image, std::string_view wal);

// True when `journal` starts with a valid rollback-journal header: a writer
// may have left the database half way through a transaction.
bool JournalIsHot(std::string_view journal);

// Writes the original pages that `journal` saved back into `image` and cuts
// the image to the database size the journal recorded. Stops at the first
// record whose checksum fails (it was never synced). Returns the number of
// pages restored.
std::uint32_t RollBackJournal(std::string& image, std::string_view journal);

// The page size from a database header (offsets 16-17; 1 means 65536); 0 when
// the header is missing or the value is not a valid page size.
std::uint32_t PageSizeOfImage(std::string_view image);

// Marks the image as a rollback-mode database (header bytes 18 and 19), which
// an in-memory open needs: a WAL-mode image would look for its log.
void MarkAsRollbackMode(std::string& image);

}  // namespace sources::sqlite
