#include "platform/sources/sqlite/DatabaseImage.h"

#include <algorithm>
#include <cstring>
#include <map>

namespace sources::sqlite {

namespace {

constexpr std::size_t kWalHeaderSize = 32;
constexpr std::size_t kFrameHeaderSize = 24;
constexpr std::uint32_t kWalMagicLittle = 0x377f0682;
constexpr std::uint32_t kWalMagicBig = 0x377f0683;
constexpr unsigned char kJournalMagic[8] = {0xd9, 0xd5, 0x05, 0xf9, 0x20, 0xa1, 0x63, 0xd7};
constexpr std::size_t kJournalHeaderFields = 28;

std::uint32_t BigEndian32(std::string_view bytes, std::size_t at) {
  auto b = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
  };
  return b(0) << 24 | b(1) << 16 | b(2) << 8 | b(3);
}

std::uint32_t LittleEndian32(std::string_view bytes, std::size_t at) {
  auto b = [&](std::size_t i) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i]));
  };
  return b(3) << 24 | b(2) << 16 | b(1) << 8 | b(0);
}

bool ValidPageSize(std::uint32_t size) {
  return size >= 512 && size <= 65536 && (size & (size - 1)) == 0;
}

// SQLite's WAL checksum: running sums over pairs of 32-bit words in the byte
// order the magic names. `bytes.size()` is a multiple of 8.
struct WalChecksum {
  bool bigEndian = true;
  std::uint32_t s0 = 0;
  std::uint32_t s1 = 0;

  void Add(std::string_view bytes) {
    for (std::size_t i = 0; i + 8 <= bytes.size(); i += 8) {
      std::uint32_t x0 = bigEndian ? BigEndian32(bytes, i) : LittleEndian32(bytes, i);
      std::uint32_t x1 = bigEndian ? BigEndian32(bytes, i + 4) : LittleEndian32(bytes, i + 4);
      s0 += x0 + s1;
      s1 += x1 + s0;
    }
  }
};

struct WalHeader {
  bool valid = false;
  bool bigEndian = true;
  std::uint32_t pageSize = 0;
  std::uint32_t salt1 = 0;
  std::uint32_t salt2 = 0;
  WalChecksum checksum;
};

WalHeader ReadWalHeader(std::string_view wal) {
  WalHeader header;
  if (wal.size() < kWalHeaderSize) return header;
  std::uint32_t magic = BigEndian32(wal, 0);
  if (magic != kWalMagicLittle && magic != kWalMagicBig) return header;
  header.bigEndian = magic == kWalMagicBig;
  header.pageSize = BigEndian32(wal, 8);
  header.salt1 = BigEndian32(wal, 16);
  header.salt2 = BigEndian32(wal, 20);
  header.checksum.bigEndian = header.bigEndian;
  header.checksum.Add(wal.substr(0, 24));
  header.valid = ValidPageSize(header.pageSize) && header.checksum.s0 == BigEndian32(wal, 24) &&
                 header.checksum.s1 == BigEndian32(wal, 28);
  return header;
}

}  // namespace

std::uint32_t PageSizeOfImage(std::string_view image) {
  if (image.size() < 100) return 0;
  std::uint32_t size = static_cast<std::uint32_t>(static_cast<unsigned char>(image[16])) << 8 |
                       static_cast<unsigned char>(image[17]);
  if (size == 1) size = 65536;
  return ValidPageSize(size) ? size : 0;
}

WalSummary ApplyWal(std::string& image, std::string_view wal) {
  WalSummary summary;
  WalHeader header = ReadWalHeader(wal);
  if (!header.valid) return summary;
  const std::uint32_t imagePageSize = PageSizeOfImage(image);
  if (!image.empty() && imagePageSize != header.pageSize) return summary;
  // SQLite reads a log only for a database in WAL mode (header byte 18 is 2);
  // beside a rollback-mode database it is a leftover.
  if (!image.empty() && image[18] != 2) return summary;
  summary.headerValid = true;
  summary.pageSize = header.pageSize;

  const std::size_t frameSize = kFrameHeaderSize + header.pageSize;
  // Pages past the main file's end reach it through the log, so a commit that
  // claims more pages than both hold together is damage.
  const std::size_t imagePages = image.size() / header.pageSize;
  WalChecksum running = header.checksum;
  std::map<std::uint32_t, std::size_t> pending;    // page -> frame offset, current transaction
  std::map<std::uint32_t, std::size_t> committed;  // page -> frame offset
  std::uint32_t frames = 0;
  for (std::size_t at = kWalHeaderSize; wal.size() - at >= frameSize; at += frameSize) {
    std::uint32_t page = BigEndian32(wal, at);
    std::uint32_t commitSize = BigEndian32(wal, at + 4);
    if (page == 0 || BigEndian32(wal, at + 8) != header.salt1 ||
        BigEndian32(wal, at + 12) != header.salt2)
      break;
    running.Add(wal.substr(at, 8));
    running.Add(wal.substr(at + kFrameHeaderSize, header.pageSize));
    if (running.s0 != BigEndian32(wal, at + 16) || running.s1 != BigEndian32(wal, at + 20)) break;
    ++frames;
    if (commitSize > imagePages + frames) break;
    pending[page] = at + kFrameHeaderSize;
    if (commitSize != 0) {
      for (const auto& [p, offset] : pending) committed[p] = offset;
      pending.clear();
      summary.framesApplied = frames;
      summary.databasePages = commitSize;
      ++summary.commits;
    }
  }
  if (summary.commits == 0) return summary;

  image.resize(static_cast<std::size_t>(summary.databasePages) * header.pageSize, '\0');
  for (const auto& [page, offset] : committed) {
    if (page > summary.databasePages) continue;
    std::memcpy(image.data() + static_cast<std::size_t>(page - 1) * header.pageSize,
                wal.data() + offset, header.pageSize);
  }
  return summary;
}

bool JournalIsHot(std::string_view journal) {
  return journal.size() >= kJournalHeaderFields &&
         std::memcmp(journal.data(), kJournalMagic, sizeof kJournalMagic) == 0;
}

std::uint32_t RollBackJournal(std::string& image, std::string_view journal) {
  std::uint32_t restored = 0;
  std::uint32_t originalPages = 0;
  std::size_t restoredEnd = 0;
  bool first = true;
  std::size_t at = 0;
  while (journal.size() - at >= kJournalHeaderFields &&
         std::memcmp(journal.data() + at, kJournalMagic, sizeof kJournalMagic) == 0) {
    std::uint32_t records = BigEndian32(journal, at + 8);
    std::uint32_t nonce = BigEndian32(journal, at + 12);
    std::uint32_t pages = BigEndian32(journal, at + 16);
    std::uint32_t sectorSize = BigEndian32(journal, at + 20);
    std::uint32_t pageSize = BigEndian32(journal, at + 24);
    if (!ValidPageSize(pageSize) || sectorSize < 512 || sectorSize > 65536 ||
        (sectorSize & (sectorSize - 1)) != 0)
      break;
    if (first) {
      originalPages = pages;
      first = false;
    }
    const std::size_t recordSize = 8 + static_cast<std::size_t>(pageSize);
    at += sectorSize;
    if (at > journal.size()) break;
    // 0xffffffff: the writer did not count; the records run to the end.
    std::size_t count = records == 0xffffffff ? (journal.size() - at) / recordSize : records;
    bool intact = true;
    for (std::size_t i = 0; i < count; ++i, at += recordSize) {
      if (journal.size() - at < recordSize) {
        intact = false;
        break;
      }
      std::uint32_t page = BigEndian32(journal, at);
      std::string_view data = journal.substr(at + 4, pageSize);
      // Only pages the database had when the transaction began are saved,
      // and those past the file's end now are all in the journal.
      const std::size_t end = static_cast<std::size_t>(page) * pageSize;
      if (page > originalPages || end > image.size() + journal.size()) {
        intact = false;
        break;
      }
      std::uint32_t sum = nonce;
      for (std::size_t k = pageSize - 200; k > 0 && k < pageSize; k -= 200)
        sum += static_cast<unsigned char>(data[k]);
      if (sum != BigEndian32(journal, at + 4 + pageSize) || page == 0) {
        intact = false;
        break;
      }
      std::size_t offset = static_cast<std::size_t>(page - 1) * pageSize;
      if (image.size() < offset + pageSize) image.resize(offset + pageSize, '\0');
      std::memcpy(image.data() + offset, data.data(), pageSize);
      ++restored;
      restoredEnd = std::max(restoredEnd, offset + pageSize);
    }
    if (!intact || records == 0xffffffff) break;
    // The next segment's header starts at the next sector boundary.
    at = (at + sectorSize - 1) / sectorSize * sectorSize;
  }
  // Cut to the size the transaction began with; never grow past what the
  // file and the journal hold (a damaged header may claim any size).
  std::uint32_t pageSize = PageSizeOfImage(image);
  if (restored > 0 && pageSize != 0 && originalPages != 0)
    image.resize(std::min(static_cast<std::size_t>(originalPages) * pageSize,
                          std::max(image.size(), restoredEnd)),
                 '\0');
  return restored;
}

void MarkAsRollbackMode(std::string& image) {
  if (image.size() < 100) return;
  image[18] = 1;
  image[19] = 1;
}

}  // namespace sources::sqlite
