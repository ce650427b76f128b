#include "platform/sources/firefox/FirefoxDatabases.h"

#include <limits>

#include "platform/sources/sqlite/Rows.h"

namespace sources::firefox {

using sqlite::ColumnText;
using sqlite::ForEachRow;

bool ReadPlaces(sqlite3* db, std::vector<HistoryRow>& rows, std::string& problem) {
  // Bookmarks are places too: only a visit makes a place history.
  const char* sql =
      "SELECT p.id, p.url, p.visit_count, count(*), p.last_visit_date, max(v.visit_date) "
      "FROM moz_places p JOIN moz_historyvisits v ON v.place_id = p.id "
      "GROUP BY p.id ORDER BY p.id";
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
        row.lastVisit = FileTimeFromUnixMicros(last);
        rows.push_back(std::move(row));
      },
      problem);
}

namespace {

// Current schemas store the expiry in milliseconds, older ones in seconds.
FileTime ExpiryTime(std::int64_t expiry) {
  constexpr std::int64_t kMillisecondsFromHere = 100000000000;  // 1973 in ms, 5138 in s
  if (expiry >= kMillisecondsFromHere)
    return expiry > std::numeric_limits<std::int64_t>::max() / 1000
               ? 0
               : FileTimeFromUnixMicros(expiry * 1000);
  return FileTimeFromUnixSeconds(expiry);
}

}  // namespace

bool ReadCookies(sqlite3* db, std::vector<CookieRow>& rows, std::string& problem) {
  const std::string sql =
      sqlite::SelectAvailable(db, "moz_cookies",
                              {"id", "host", "path", "name", "expiry", "creationTime",
                               "lastAccessed", "isSecure", "isHttpOnly", "sameSite"},
                              "ORDER BY id");
  return ForEachRow(
      db, sql,
      [&](sqlite3_stmt* s) {
        CookieRow row;
        row.id = sqlite3_column_int64(s, 0);
        row.host = ColumnText(s, 1);
        row.path = ColumnText(s, 2);
        row.name = ColumnText(s, 3);
        row.expiry = ExpiryTime(sqlite3_column_int64(s, 4));
        row.creation = FileTimeFromUnixMicros(sqlite3_column_int64(s, 5));
        row.lastAccess = FileTimeFromUnixMicros(sqlite3_column_int64(s, 6));
        row.secure = sqlite3_column_int(s, 7) != 0;
        row.httpOnly = sqlite3_column_int(s, 8) != 0;
        if (sqlite3_column_type(s, 9) != SQLITE_NULL) row.sameSite = sqlite3_column_int(s, 9);
        rows.push_back(std::move(row));
      },
      problem);
}

}  // namespace sources::firefox
