// History and cookies from snapshots of a Firefox profile's places.sqlite and
// cookies.sqlite. A cookie's value is never selected.
#pragma once

#include <string>
#include <vector>

#include "platform/sources/BrowserRows.h"

struct sqlite3;

namespace sources::firefox {

// One row per place with at least one visit, by place id. False (with
// `problem`) when the tables cannot be read.
bool ReadPlaces(sqlite3* db, std::vector<HistoryRow>& rows, std::string& problem);

// Every cookie by row id, without its value.
bool ReadCookies(sqlite3* db, std::vector<CookieRow>& rows, std::string& problem);

}  // namespace sources::firefox
