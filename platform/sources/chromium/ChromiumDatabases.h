// History and cookies from snapshots of a Chromium profile's History and
// Cookies databases. Neither `value` nor `encrypted_value` is ever selected.
#pragma once

#include <string>
#include <vector>

#include "platform/sources/BrowserRows.h"

struct sqlite3;

namespace sources::chromium {

// One row per URL with at least one visit (visit_count > 0), by row id. False (with `problem`)
// when the tables cannot be read.
bool ReadUrls(sqlite3* db, std::vector<HistoryRow>& rows, std::string& problem);

// Every cookie by row id, without its value.
bool ReadCookies(sqlite3* db, std::vector<CookieRow>& rows, std::string& problem);

}  // namespace sources::chromium
