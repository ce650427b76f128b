#include "platform/sources/sqlite/DatabaseImage.h"

#include <gtest/gtest.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "platform/sources/sqlite/SqliteSnapshot.h"
#include "platform/sources/testing/SqliteWriter.h"
#include "platform/testing/TempDir.h"

namespace sources::sqlite {
namespace {

using testing::QueryValue;
using testing::SqliteWriter;

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

std::string Count(const Snapshot& snapshot, const std::string& table) {
  if (!snapshot.database) return "no database";
  return QueryValue(snapshot.database->Handle(), "SELECT count(*) FROM " + table);
}

class WalTest : public ::testing::Test {
 protected:
  fixture::TempDir dir;
  std::string path = dir / "t.sqlite";

  Snapshot Open(const std::string& wal) { return OpenImage(Slurp(path), wal, ""); }
  std::string Wal() { return Slurp(path + "-wal"); }
};

TEST_F(WalTest, RowsOnlyInTheLogComeBackAndTheMainFileAloneLacksThem) {
  {
    SqliteWriter writer(path, SqliteWriter::Mode::kWal);
    writer.Exec("CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT)");
    writer.Checkpoint();
    writer.Exec("INSERT INTO t(v) VALUES ('a'), ('b'), ('c')");
  }
  EXPECT_EQ(Count(Open(Wal()), "t"), "3");
  EXPECT_EQ(Count(Open(""), "t"), "0");
}

TEST_F(WalTest, AnEmptyMainFileIsBuiltFromTheLogAlone) {
  {
    SqliteWriter writer(path, SqliteWriter::Mode::kWal);
    writer.Exec("CREATE TABLE t(v); INSERT INTO t VALUES (1), (2);");
  }
  // As a browser's first transaction can leave it: nothing in the main file yet.
  EXPECT_EQ(Count(OpenImage("", Wal(), ""), "t"), "2");
}

TEST_F(WalTest, StaleFramesOfAnEarlierGenerationAreIgnored) {
  {
    SqliteWriter writer(path, SqliteWriter::Mode::kWal);
    writer.Exec("CREATE TABLE t(k INTEGER PRIMARY KEY, v TEXT, pad BLOB)");
    writer.Exec(
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<300) "
        "INSERT INTO t SELECT i, 'old', zeroblob(900) FROM n");
    writer.Exec("UPDATE t SET v='older'");
    writer.Checkpoint();
    // Restarts the log: a few new frames, then the old generation's frames.
    writer.Exec("UPDATE t SET v='new' WHERE k <= 3");
  }
  std::string wal = Wal();
  std::string image = Slurp(path);
  WalSummary summary = ApplyWal(image, wal);
  ASSERT_TRUE(summary.headerValid);
  EXPECT_EQ(summary.commits, 1u);
  EXPECT_LT(32 + summary.framesApplied * (24 + summary.pageSize), wal.size());

  Snapshot snapshot = Open(wal);
  ASSERT_TRUE(snapshot.database);
  EXPECT_EQ(QueryValue(snapshot.database->Handle(), "SELECT group_concat(v) FROM t WHERE k<=4"),
            "new,new,new,older");
  EXPECT_EQ(QueryValue(snapshot.database->Handle(), "PRAGMA quick_check"), "ok");
}

class DamagedWalTest : public WalTest {
 protected:
  void SetUp() override {
    SqliteWriter writer(path, SqliteWriter::Mode::kWal);
    writer.Exec("CREATE TABLE t(v)");
    writer.Checkpoint();
    writer.Exec("INSERT INTO t VALUES (1)");
    writer.Exec("INSERT INTO t VALUES (2)");
  }
  // Offset of the last frame: the commit of the second insert.
  std::size_t LastFrame(const std::string& wal) {
    std::uint32_t pageSize = PageSizeOfImage(Slurp(path));
    return wal.size() - 24 - pageSize;
  }
};

TEST_F(DamagedWalTest, ALogCutInsideTheLastFrameKeepsTheEarlierCommit) {
  std::string wal = Wal();
  wal.resize(wal.size() - 100);
  EXPECT_EQ(Count(Open(wal), "t"), "1");
}

TEST_F(DamagedWalTest, AFlippedByteInTheLastCommitDropsOnlyThatCommit) {
  std::string wal = Wal();
  wal[LastFrame(wal) + 24 + 50] ^= 0x40;
  EXPECT_EQ(Count(Open(wal), "t"), "1");
}

TEST_F(DamagedWalTest, ADamagedHeaderLeavesTheLogOut) {
  std::string wal = Wal();
  wal[12] ^= 1;  // checkpoint sequence: the header checksum fails
  EXPECT_EQ(Count(Open(wal), "t"), "0");
  EXPECT_EQ(Count(Open(wal.substr(0, 20)), "t"), "0");
  EXPECT_EQ(Count(Open(std::string(4096, '\xff')), "t"), "0");
}

TEST_F(DamagedWalTest, ALogOfAnotherPageSizeIsLeftOut) {
  std::string wal = Wal();
  std::string image = Slurp(path);
  image[16] = 0x20;  // claims 8192-byte pages
  image[17] = 0;
  EXPECT_FALSE(ApplyWal(image, wal).headerValid);
}

TEST_F(DamagedWalTest, ALeftoverLogBesideARollbackModeDatabaseIsIgnored) {
  std::string image = Slurp(path);
  image[18] = 1;
  image[19] = 1;
  EXPECT_EQ(ApplyWal(image, Wal()).commits, 0u);
  EXPECT_EQ(Count(OpenImage(image, Wal(), ""), "t"), "0");
}

// Rewrites the frame checksums of `wal` after a test has
// changed a frame header, so that only the change itself is judged.
void Rechecksum(std::string& wal, std::uint32_t pageSize) {
  auto get = [&](std::size_t at) {
    return static_cast<std::uint32_t>(static_cast<unsigned char>(wal[at])) << 24 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(wal[at + 1])) << 16 |
           static_cast<std::uint32_t>(static_cast<unsigned char>(wal[at + 2])) << 8 |
           static_cast<unsigned char>(wal[at + 3]);
  };
  auto put = [&](std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) wal[at + i] = static_cast<char>(v >> (24 - 8 * i));
  };
  const bool bigEndian = static_cast<unsigned char>(wal[3]) == 0x83;
  auto word = [&](std::size_t at) {
    std::uint32_t v = get(at);
    return bigEndian ? v : __builtin_bswap32(v);
  };
  std::uint32_t s0 = get(24), s1 = get(28);
  auto add = [&](std::size_t from, std::size_t length) {
    for (std::size_t i = from; i < from + length; i += 8) {
      s0 += word(i) + s1;
      s1 += word(i + 4) + s0;
    }
  };
  for (std::size_t at = 32; at + 24 + pageSize <= wal.size(); at += 24 + pageSize) {
    add(at, 8);
    add(at + 24, pageSize);
    put(at + 16, s0);
    put(at + 20, s1);
  }
}

TEST_F(DamagedWalTest, ACommitClaimingAHugeDatabaseIsDamageNotAnAllocation) {
  std::string wal = Wal();
  std::uint32_t pageSize = PageSizeOfImage(Slurp(path));
  std::string untouched = wal;
  Rechecksum(untouched, pageSize);
  std::string scratch = Slurp(path);
  ASSERT_EQ(ApplyWal(scratch, untouched).commits, 2u);
  const std::size_t last = LastFrame(wal);
  wal[last + 4] = '\x7f';  // the commit's database size
  Rechecksum(wal, pageSize);
  std::string image = Slurp(path);
  WalSummary summary = ApplyWal(image, wal);
  EXPECT_EQ(summary.commits, 1u);
  EXPECT_LT(image.size(), 1u << 20);
  EXPECT_EQ(Count(Open(wal), "t"), "1");
}

TEST(DatabaseImageTest, AJournalClaimingHugePagesRestoresNothingPastTheStart) {
  std::string image(1024, '\0');
  std::memcpy(image.data(), "SQLite format 3", 16);
  image[16] = 2;  // 512-byte pages
  std::string journal("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
  journal += std::string("\0\0\0\1", 4);          // one record
  journal += std::string(4, '\0');                // nonce 0
  journal += std::string("\x7f\xff\xff\xff", 4);  // original size in pages
  journal += std::string("\0\0\x02\0", 4);        // sector size 512
  journal += std::string("\0\0\x02\0", 4);        // page size 512
  journal.resize(512, '\0');
  journal += std::string("\x7f\xff\xff\xf0", 4);  // page number
  journal += std::string(512, '\0');
  journal += std::string(4, '\0');  // checksum: nonce plus sampled zero bytes
  EXPECT_EQ(RollBackJournal(image, journal), 0u);
  EXPECT_EQ(image.size(), 1024u);
}

TEST(DatabaseImageTest, AGarbageJournalIsNotHotAndRollsNothingBack) {
  std::string image(4096, 'x');
  EXPECT_FALSE(JournalIsHot(""));
  EXPECT_FALSE(JournalIsHot(std::string(512, '\0')));
  std::string journal("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
  journal += std::string(20, '\xff');
  EXPECT_TRUE(JournalIsHot(journal));
  EXPECT_EQ(RollBackJournal(image, journal), 0u);
  EXPECT_EQ(image, std::string(4096, 'x'));
}

TEST(DatabaseImageTest, AnImageThatIsNoDatabaseIsReportedNotOpened) {
  Snapshot snapshot = OpenImage(std::string(8192, 'z'), "", "");
  EXPECT_EQ(snapshot.status, Snapshot::Status::kUnreadable);
  EXPECT_FALSE(snapshot.problem.empty());
}

}  // namespace
}  // namespace sources::sqlite
