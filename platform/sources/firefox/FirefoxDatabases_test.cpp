#include "platform/sources/firefox/FirefoxDatabases.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

#include <stdexcept>

namespace sources::firefox {
namespace {

class PlacesTest : public ::testing::Test {
 protected:
  PlacesTest() {
    sqlite3_open(":memory:", &db_);
    Exec(
        "CREATE TABLE moz_places(id INTEGER PRIMARY KEY, url LONGVARCHAR, visit_count INTEGER,"
        " last_visit_date INTEGER);"
        "CREATE TABLE moz_historyvisits(id INTEGER PRIMARY KEY, place_id INTEGER,"
        " visit_date INTEGER);");
  }
  ~PlacesTest() override { sqlite3_close(db_); }

  void Exec(const std::string& sql) {
    if (sqlite3_exec(db_, sql.c_str(), nullptr, nullptr, nullptr) != SQLITE_OK)
      throw std::runtime_error(sqlite3_errmsg(db_));
  }

  std::vector<HistoryRow> Read() {
    std::vector<HistoryRow> rows;
    std::string problem;
    EXPECT_TRUE(ReadPlaces(db_, rows, problem)) << problem;
    return rows;
  }

  sqlite3* db_ = nullptr;
};

TEST_F(PlacesTest, VisitedPlacesByIdWithCountsAndTimesFromTheVisitsWhereThePlaceHasNone) {
  // Visits are written out of place order, and some point nowhere.
  Exec(
      "INSERT INTO moz_places VALUES (2, 'https://kept.test/', 3, 1700000000000000);"
      "INSERT INTO moz_places VALUES (5, 'https://bookmark.test/', 0, NULL);"
      "INSERT INTO moz_places VALUES (9, 'https://counted.test/', 0, NULL);"
      "INSERT INTO moz_places VALUES (40, 'https://undated.test/', NULL, 0);"
      "INSERT INTO moz_historyvisits(place_id, visit_date) VALUES"
      " (40, NULL), (9, 1600000000000000), (2, 1), (99, 5), (NULL, 6),"
      " (9, NULL), (9, 1600000002000000), (2, 2), (2, 3);");
  const std::vector<HistoryRow> rows = Read();
  ASSERT_EQ(rows.size(), 3u);
  EXPECT_EQ(rows[0].id, 2);
  EXPECT_EQ(rows[0].url, "https://kept.test/");
  EXPECT_EQ(rows[0].visitCount, 3u);
  EXPECT_EQ(rows[0].lastVisit, FileTimeFromUnixMicros(1700000000000000));
  EXPECT_EQ(rows[1].id, 9);
  EXPECT_EQ(rows[1].visitCount, 3u);
  EXPECT_EQ(rows[1].lastVisit, FileTimeFromUnixMicros(1600000002000000));
  EXPECT_EQ(rows[2].id, 40);
  EXPECT_EQ(rows[2].visitCount, 1u);
  EXPECT_EQ(rows[2].lastVisit, 0u);
}

TEST_F(PlacesTest, NoVisitsTableIsAProblemNotAnEmptyHistory) {
  Exec("DROP TABLE moz_historyvisits;");
  std::vector<HistoryRow> rows;
  std::string problem;
  EXPECT_FALSE(ReadPlaces(db_, rows, problem));
  EXPECT_NE(problem.find("moz_historyvisits"), std::string::npos) << problem;
}

}  // namespace
}  // namespace sources::firefox
