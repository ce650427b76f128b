// Writes SQLite databases for tests the way a browser leaves them: in WAL
// mode with rows still only in the log, or in rollback mode.
#pragma once

#include <string>
#include <vector>

struct sqlite3;

namespace sources::testing {

class SqliteWriter {
 public:
  enum class Mode { kWal, kRollback };
  // Creates or opens `path`. In kWal mode the log is never checkpointed on its
  // own, and closing leaves it as it is.
  SqliteWriter(const std::string& path, Mode mode);
  ~SqliteWriter();
  SqliteWriter(const SqliteWriter&) = delete;
  SqliteWriter& operator=(const SqliteWriter&) = delete;

  // Runs the statements; throws std::runtime_error with SQLite's message.
  void Exec(const std::string& sql);
  // Copies the log into the database file (a full checkpoint), so that the
  // next transaction starts a new log generation over the old frames.
  void Checkpoint();
  sqlite3* Handle() const { return db_; }

 private:
  sqlite3* db_ = nullptr;
};

// The rows of `sql` on `db`, each column as text ("NULL" for null).
std::vector<std::vector<std::string>> QueryRows(sqlite3* db, const std::string& sql);
// The first column of the first row, or "" when there is none or the query
// fails.
std::string QueryValue(sqlite3* db, const std::string& sql);

}  // namespace sources::testing
