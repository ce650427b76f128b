#include "platform/sources/sqlite/DatabaseImage.h"

#include <gtest/gtest.h>

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
