#include "platform/sources/sqlite/Rows.h"

#include <algorithm>

namespace sources::sqlite {

std::vector<std::string> ColumnsOf(sqlite3* db, const std::string& table) {
  std::vector<std::string> columns;
  std::string problem;
  ForEachRow(
      db, "SELECT name FROM pragma_table_info('" + table + "')",
      [&](sqlite3_stmt* statement) { columns.push_back(ColumnText(statement, 0)); }, problem);
  return columns;
}

std::int64_t RowCount(sqlite3* db, const std::string& table) {
  std::int64_t count = 0;
  std::string problem;
  ForEachRow(
      db, "SELECT count(*) FROM \"" + table + "\"",
      [&](sqlite3_stmt* statement) { count = sqlite3_column_int64(statement, 0); }, problem);
  return count;
}

std::string SelectAvailable(sqlite3* db, const std::string& table,
                            const std::vector<std::string>& wanted, const std::string& tail) {
  const std::vector<std::string> present = ColumnsOf(db, table);
  std::string sql = "SELECT ";
  for (std::size_t i = 0; i < wanted.size(); ++i) {
    if (i > 0) sql += ", ";
    bool has = wanted[i] == "rowid" ||
               std::find(present.begin(), present.end(), wanted[i]) != present.end();
    sql += has ? "\"" + wanted[i] + "\"" : "NULL";
  }
  return sql + " FROM \"" + table + "\" " + tail;
}

bool ForEachRow(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& row,
                std::string& problem) {
  sqlite3_stmt* statement = nullptr;
  if (sqlite3_prepare_v2(db, sql.c_str(), -1, &statement, nullptr) != SQLITE_OK) {
    problem = sqlite3_errmsg(db);
    sqlite3_finalize(statement);
    return false;
  }
  int rc;
  while ((rc = sqlite3_step(statement)) == SQLITE_ROW) row(statement);
  if (rc != SQLITE_DONE) problem = sqlite3_errmsg(db);
  sqlite3_finalize(statement);
  return rc == SQLITE_DONE;
}

std::string ColumnText(sqlite3_stmt* statement, int column) {
  const unsigned char* text = sqlite3_column_text(statement, column);
  if (!text) return {};
  return std::string(reinterpret_cast<const char*>(text),
                     static_cast<std::size_t>(sqlite3_column_bytes(statement, column)));
}

CookieRow CookieRowFrom(sqlite3_stmt* s, const CookieTimeFormat& times) {
  CookieRow row;
  row.id = sqlite3_column_int64(s, 0);
  row.host = ColumnText(s, 1);
  row.path = ColumnText(s, 2);
  row.name = ColumnText(s, 3);
  row.expiry = times.expiry(sqlite3_column_int64(s, 4));
  row.creation = times.other(sqlite3_column_int64(s, 5));
  row.lastAccess = times.other(sqlite3_column_int64(s, 6));
  row.secure = sqlite3_column_int(s, 7) != 0;
  row.httpOnly = sqlite3_column_int(s, 8) != 0;
  if (sqlite3_column_type(s, 9) != SQLITE_NULL) row.sameSite = sqlite3_column_int(s, 9);
  return row;
}

}  // namespace sources::sqlite
