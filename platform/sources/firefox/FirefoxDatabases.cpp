#include "platform/sources/firefox/FirefoxDatabases.h"

#include <algorithm>
#include <limits>

#include "platform/common/LargeBuffer.h"
#include "platform/sources/sqlite/Rows.h"

namespace sources::firefox {

using sqlite::ColumnText;
using sqlite::ForEachRow;

namespace {

struct PlaceVisits {
  std::int64_t placeId = 0;
  std::int64_t count = 0;
  std::int64_t last = 0;  // the latest non-NULL visit date; 0 when none
};

// The visit count and latest visit of each visited place, by place id, from
// one pass over the visits. The visits need not have an index on place_id,
// and joining and grouping them sorted every visit through a temporary tree,
// the dearest step of reading a large profile.
bool SummariseVisits(sqlite3* db, std::vector<PlaceVisits>& places, std::string& problem) {
  struct Visit {
    std::int64_t placeId;
    std::int64_t date;
    bool dated;
  };
  std::vector<Visit> visits;
  platform::ReserveOnHugePages(visits,
                               static_cast<std::size_t>(sqlite::RowCount(db, "moz_historyvisits")));
  if (!ForEachRow(
          db, "SELECT place_id, visit_date FROM moz_historyvisits WHERE place_id IS NOT NULL",
          [&](sqlite3_stmt* s) {
            visits.push_back({sqlite3_column_int64(s, 0), sqlite3_column_int64(s, 1),
                              sqlite3_column_type(s, 1) != SQLITE_NULL});
          },
          problem))
    return false;
  std::sort(visits.begin(), visits.end(),
            [](const Visit& a, const Visit& b) { return a.placeId < b.placeId; });
  std::size_t distinct = 0;
  for (std::size_t i = 0; i < visits.size(); ++i)
    distinct += i == 0 || visits[i].placeId != visits[i - 1].placeId;
  platform::ReserveOnHugePages(places, distinct);
  for (std::size_t i = 0; i < visits.size();) {
    PlaceVisits place{visits[i].placeId, 0, 0};
    bool dated = false;
    for (; i < visits.size() && visits[i].placeId == place.placeId; ++i) {
      ++place.count;
      if (visits[i].dated && (!dated || visits[i].date > place.last)) place.last = visits[i].date;
      dated = dated || visits[i].dated;
    }
    places.push_back(place);
  }
  return true;
}

}  // namespace

bool ReadPlaces(sqlite3* db, std::vector<HistoryRow>& rows, std::string& problem) {
  // Bookmarks are places too: only a visit makes a place history.
  std::vector<PlaceVisits> visited;
  if (!SummariseVisits(db, visited, problem)) return false;
  platform::ReserveOnHugePages(rows, rows.size() + visited.size());
  auto next = visited.begin();
  return ForEachRow(
      db, "SELECT id, url, visit_count, last_visit_date FROM moz_places ORDER BY id",
      [&](sqlite3_stmt* s) {
        const std::int64_t id = sqlite3_column_int64(s, 0);
        while (next != visited.end() && next->placeId < id) ++next;
        if (next == visited.end() || next->placeId != id) return;
        HistoryRow row;
        row.id = id;
        row.url = ColumnText(s, 1);
        std::int64_t counted = sqlite3_column_int64(s, 2);
        if (counted <= 0) counted = next->count;
        row.visitCount = static_cast<std::uint32_t>(counted);
        std::int64_t last = sqlite3_column_int64(s, 3);
        if (last <= 0) last = next->last;
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
        rows.push_back(sqlite::CookieRowFrom(s, {ExpiryTime, FileTimeFromUnixMicros}));
      },
      problem);
}

}  // namespace sources::firefox
