#include "platform/sources/sqlite/SqliteSnapshot.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <sqlite3.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>

#include "platform/sources/testing/SqliteWriter.h"
#include "platform/testing/TempDir.h"

namespace sources::sqlite {
namespace {

using testing::QueryValue;
using testing::SqliteWriter;
namespace fs = std::filesystem;

std::set<std::string> Listing(const std::string& dir) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(dir)) names.insert(entry.path().filename());
  return names;
}

std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream bytes;
  bytes << in.rdbuf();
  return bytes.str();
}

TEST(SqliteSnapshotTest, AnAbsentDatabaseIsAbsentAndAFolderIsUnreadable) {
  fixture::TempDir dir;
  EXPECT_EQ(OpenSnapshot(dir / "none.sqlite").status, Snapshot::Status::kAbsent);
  fs::create_directory(dir / "folder.sqlite");
  EXPECT_EQ(OpenSnapshot(dir / "folder.sqlite").status, Snapshot::Status::kUnreadable);
  fs::create_symlink(dir / "x", dir / "link.sqlite");
  EXPECT_EQ(OpenSnapshot(dir / "link.sqlite").status, Snapshot::Status::kUnreadable);
}

TEST(SqliteSnapshotTest, ReadsTheLogWithoutCreatingOrChangingAnyFile) {
  fixture::TempDir dir;
  const std::string path = dir / "places.sqlite";
  {
    SqliteWriter writer(path, SqliteWriter::Mode::kWal);
    writer.Exec("CREATE TABLE t(v); INSERT INTO t VALUES ('only in the log');");
  }
  fs::remove(path + "-shm");
  const auto before = Listing(dir.path());
  const std::string wal = Slurp(path + "-wal");

  Snapshot snapshot = OpenSnapshot(path);
  ASSERT_EQ(snapshot.status, Snapshot::Status::kOpen) << snapshot.problem;
  EXPECT_TRUE(snapshot.walApplied);
  EXPECT_EQ(QueryValue(snapshot.database->Handle(), "SELECT v FROM t"), "only in the log");
  // The image is read-only: nothing can be written through it.
  EXPECT_NE(sqlite3_exec(snapshot.database->Handle(), "INSERT INTO t VALUES (1)", nullptr, nullptr,
                         nullptr),
            SQLITE_OK);
  EXPECT_EQ(Listing(dir.path()), before);
  EXPECT_EQ(Slurp(path + "-wal"), wal);
}

// A writer that died inside a transaction after spilling pages into the
// database file leaves a hot journal: the snapshot shows the state before.
TEST(SqliteSnapshotTest, AHotJournalIsRolledBackInMemory) {
  fixture::TempDir dir;
  const std::string path = dir / "History";
  {
    SqliteWriter writer(path, SqliteWriter::Mode::kRollback);
    writer.Exec("CREATE TABLE urls(id INTEGER PRIMARY KEY, url TEXT, pad BLOB)");
    writer.Exec("INSERT INTO urls(url, pad) VALUES ('http://kept.test/', zeroblob(3000))");
  }
  const std::string committed = Slurp(path);
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db,
                 "PRAGMA cache_size=2; BEGIN; UPDATE urls SET url='http://torn.test/';"
                 "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i+1 FROM n WHERE i<400) "
                 "INSERT INTO urls(url, pad) SELECT 'http://uncommitted.test/', "
                 "zeroblob(3000) FROM n;",
                 nullptr, nullptr, nullptr);
    _exit(0);
  }
  int status = 0;
  waitpid(child, &status, 0);
  ASSERT_GT(fs::file_size(path + "-journal"), 0u);
  ASSERT_NE(Slurp(path), committed) << "the writer spilled nothing into the database file";

  const std::string journal = Slurp(path + "-journal");
  SnapshotOptions quick;
  quick.settle = std::chrono::milliseconds(1);
  Snapshot snapshot = OpenSnapshot(path, quick);
  ASSERT_EQ(snapshot.status, Snapshot::Status::kOpen) << snapshot.problem;
  EXPECT_TRUE(snapshot.journalRolledBack);
  EXPECT_EQ(QueryValue(snapshot.database->Handle(), "SELECT group_concat(url) FROM urls"),
            "http://kept.test/");
  EXPECT_EQ(QueryValue(snapshot.database->Handle(), "PRAGMA quick_check"), "ok");
  EXPECT_EQ(Slurp(path + "-journal"), journal);
}

// A browser keeps writing while we copy: every snapshot opens and holds whole
// transactions only (each adds one row to both tables).
TEST(SqliteSnapshotTest, EverySnapshotOfADatabaseBeingWrittenIsConsistent) {
  constexpr int kTransactions = 3000;
  fixture::TempDir dir;
  const std::string path = dir / "busy.sqlite";
  {
    SqliteWriter writer(path, SqliteWriter::Mode::kWal);
    writer.Exec("CREATE TABLE a(v BLOB); CREATE TABLE b(v BLOB);");
  }
  pid_t child = fork();
  ASSERT_GE(child, 0);
  if (child == 0) {
    sqlite3* db = nullptr;
    sqlite3_open(path.c_str(), &db);
    sqlite3_exec(db, "PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=16;", nullptr, nullptr,
                 nullptr);
    // Paced and capped, so that the database stays small however slowly
    // the snapshots are taken (sanitizer builds are many times slower).
    for (int transaction = 0; transaction < kTransactions; ++transaction) {
      sqlite3_exec(db,
                   "BEGIN; INSERT INTO a VALUES (randomblob(700));"
                   "INSERT INTO b VALUES (randomblob(700)); COMMIT;",
                   nullptr, nullptr, nullptr);
      usleep(500);
    }
    for (;;) pause();
  }
  SnapshotOptions options;
  options.attempts = 50;
  options.settle = std::chrono::milliseconds(1);
  long last = 0;
  int opened = 0;
  for (int i = 0; i < 60; ++i) {
    Snapshot snapshot = OpenSnapshot(path, options);
    if (snapshot.status != Snapshot::Status::kOpen) {
      ADD_FAILURE() << snapshot.problem;
      continue;
    }
    ++opened;
    sqlite3* db = snapshot.database->Handle();
    const std::string a = QueryValue(db, "SELECT count(*) FROM a");
    EXPECT_EQ(a, QueryValue(db, "SELECT count(*) FROM b"));
    EXPECT_EQ(QueryValue(db, "PRAGMA quick_check"), "ok");
    EXPECT_GE(std::stol(a.empty() ? "-1" : a), last);
    last = std::stol(a.empty() ? "0" : a);
    usleep(2000);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);
  EXPECT_EQ(opened, 60);
  EXPECT_GT(last, 0);
}

TEST(SqliteSnapshotTest, FirefoxRowsThatLiveOnlyInTheLogComeBack) {
  const std::string profile = std::string(SITELORE_SHARED_DIR) +
                              "/fixtures/browsers-basic/home/.mozilla/firefox/q7x4k2m9.default-esr";
  Snapshot places = OpenSnapshot(profile + "/places.sqlite");
  ASSERT_EQ(places.status, Snapshot::Status::kOpen) << places.problem;
  EXPECT_EQ(QueryValue(places.database->Handle(),
                       "SELECT group_concat(url, ' ') FROM (SELECT url FROM moz_places WHERE id "
                       "IN (SELECT place_id FROM moz_historyvisits) ORDER BY id)"),
            "http://www.gamma.test:8931/ http://media.delta.test:8931/watch.html "
            "http://epsilon.test:8931/redirect http://epsilon.test:8931/landing.html");
  EXPECT_EQ(QueryValue(places.database->Handle(), "SELECT title FROM moz_places WHERE id=6"),
            "Delta Watch");

  Snapshot cookies = OpenSnapshot(profile + "/cookies.sqlite");
  ASSERT_EQ(cookies.status, Snapshot::Status::kOpen) << cookies.problem;
  EXPECT_EQ(QueryValue(cookies.database->Handle(), "SELECT host || path || name FROM moz_cookies"),
            "epsilon.test/e");
}

}  // namespace
}  // namespace sources::sqlite
