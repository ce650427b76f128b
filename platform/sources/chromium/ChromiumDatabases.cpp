#include "platform/sources/chromium/ChromiumDatabases.h"

#include "platform/sources/sqlite/Rows.h"

namespace sources::chromium {

using sqlite::ColumnText;
using sqlite::ForEachRow;

bool ReadUrls(sqlite3* db, std::vector<HistoryRow>& rows, std::string& problem) {
  const char* sql =
      "SELECT u.id, u.url, u.visit_count, count(v.id), u.last_visit_time, max(v.visit_time) "
      "FROM urls u LEFT JOIN visits v ON v.url = u.id GROUP BY u.id "
      "HAVING u.visit_count > 0 OR count(v.id) > 0 ORDER BY u.id";
  return ForEachRow(
      db, sql,
      [&](sqlite3_stmt* s) {
        HistoryRow row;
        row.id = sqlite3_column_int64(s, 0);
        row.url = ColumnText(s, 1);
        std::int64_t counted = sqlite3_column_int64(s, 2);
        if (counted <= 0) counted = sqlite3_column_int64(s, 3);
        row.visitCount = static_cast<std::uint32_t>(counted);
        std::int64_t last = sqlite3_column_int64(s, 4);
        if (last <= 0) last = sqlite3_column_int64(s, 5);
        row.lastVisit = FileTimeFrom1601Micros(last);
        rows.push_back(std::move(row));
      },
      problem);
}

bool ReadCookies(sqlite3* db, std::vector<CookieRow>& rows, std::string& problem) {
  const std::string sql = sqlite::SelectAvailable(
      db, "cookies",
      {"rowid", "host_key", "path", "name", "expires_utc", "creation_utc", "last_access_utc",
       "is_secure", "is_httponly", "samesite", "source_port"},
      "ORDER BY rowid");
  return ForEachRow(
      db, sql,
      [&](sqlite3_stmt* s) {
        CookieRow row;
        row.id = sqlite3_column_int64(s, 0);
        row.host = ColumnText(s, 1);
        row.path = ColumnText(s, 2);
        row.name = ColumnText(s, 3);
        row.expiry = FileTimeFrom1601Micros(sqlite3_column_int64(s, 4));
        row.creation = FileTimeFrom1601Micros(sqlite3_column_int64(s, 5));
        row.lastAccess = FileTimeFrom1601Micros(sqlite3_column_int64(s, 6));
        row.secure = sqlite3_column_int(s, 7) != 0;
        row.httpOnly = sqlite3_column_int(s, 8) != 0;
        if (sqlite3_column_type(s, 9) != SQLITE_NULL) row.sameSite = sqlite3_column_int(s, 9);
        if (sqlite3_column_type(s, 10) != SQLITE_NULL) row.port = sqlite3_column_int(s, 10);
        rows.push_back(std::move(row));
      },
      problem);
}

}  // namespace sources::chromium
