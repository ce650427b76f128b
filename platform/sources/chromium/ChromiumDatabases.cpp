#include "platform/sources/chromium/ChromiumDatabases.h"

#include "platform/common/LargeBuffer.h"
#include "platform/sources/sqlite/Rows.h"

namespace sources::chromium {

using sqlite::ColumnText;
using sqlite::ForEachRow;

bool ReadUrls(sqlite3* db, std::vector<HistoryRow>& rows, std::string& problem) {
  // Chromium keeps visit_count and last_visit_time in step with the visits
  // table; joining it would cost more than the rest of the scan.
  const char* sql =
      "SELECT id, url, visit_count, last_visit_time FROM urls WHERE visit_count > 0 ORDER BY id";
  platform::ReserveOnHugePages(
      rows, rows.size() + static_cast<std::size_t>(sqlite::RowCount(db, "urls")));
  return ForEachRow(
      db, sql,
      [&](sqlite3_stmt* s) {
        HistoryRow row;
        row.id = sqlite3_column_int64(s, 0);
        row.url = ColumnText(s, 1);
        row.visitCount = static_cast<std::uint32_t>(sqlite3_column_int64(s, 2));
        row.lastVisit = FileTimeFrom1601Micros(sqlite3_column_int64(s, 3));
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
        CookieRow row = sqlite::CookieRowFrom(s, {FileTimeFrom1601Micros, FileTimeFrom1601Micros});
        if (sqlite3_column_type(s, 10) != SQLITE_NULL) row.port = sqlite3_column_int(s, 10);
        rows.push_back(std::move(row));
      },
      problem);
}

}  // namespace sources::chromium
