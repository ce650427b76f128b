#include "platform/sources/testing/SqliteWriter.h"

#include <sqlite3.h>

#include <stdexcept>

namespace sources::testing {

SqliteWriter::SqliteWriter(const std::string& path, Mode mode) {
  if (sqlite3_open(path.c_str(), &db_) != SQLITE_OK)
    throw std::runtime_error("cannot open " + path);
  if (mode == Mode::kWal) {
    int on = 1;
    sqlite3_db_config(db_, SQLITE_DBCONFIG_NO_CKPT_ON_CLOSE, 1, &on);
    Exec("PRAGMA journal_mode=WAL; PRAGMA wal_autocheckpoint=0;");
  } else {
    Exec("PRAGMA journal_mode=DELETE;");
  }
}

SqliteWriter::~SqliteWriter() {
  sqlite3_close(db_);
}

void SqliteWriter::Exec(const std::string& sql) {
  char* error = nullptr;
  if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, &error) != SQLITE_OK) {
    std::string message = error ? error : "unknown error";
    sqlite3_free(error);
    throw std::runtime_error(message + " in: " + sql.substr(0, 200));
  }
}

void SqliteWriter::Checkpoint() {
  int logFrames = 0;
  int copied = 0;
  if (sqlite3_wal_checkpoint_v2(db_, "main", SQLITE_CHECKPOINT_FULL, &logFrames, &copied) !=
          SQLITE_OK ||
      logFrames != copied)
    throw std::runtime_error("checkpoint incomplete");
}

std::vector<std::vector<std::string>> QueryRows(sqlite3* db, const std::string& sql) {
  std::vector<std::vector<std::string>> rows;
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) return rows;
  while (sqlite3_step(statement) == SQLITE_ROW) {
    std::vector<std::string> row;
    for (int i = 0; i < sqlite3_column_count(statement); ++i) {
      const unsigned char* text = sqlite3_column_text(statement, i);
      row.emplace_back(text ? reinterpret_cast<const char*>(text) : "NULL");
    }
    rows.push_back(std::move(row));
  }
  sqlite3_finalize(statement);
  return rows;
}

std::string QueryValue(sqlite3* db, const std::string& sql) {
  auto rows = QueryRows(db, sql);
  return rows.empty() || rows[0].empty() ? std::string() : rows[0][0];
}

}  // namespace sources::testing
