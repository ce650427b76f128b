// Small helpers for reading rows from a snapshot whose schema varies with the
// browser's version.
#pragma once

#include <sqlite3.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "platform/sources/BrowserRows.h"

namespace sources::sqlite {

// The column names of `table`; empty when it does not exist.
std::vector<std::string> ColumnsOf(sqlite3* db, const std::string& table);

// The number of rows in `table`, for reserving room; 0 when it cannot be
// counted.
std::int64_t RowCount(sqlite3* db, const std::string& table);

// "SELECT c1, c2, ... FROM table <tail>" where a wanted column the table lacks
// is selected as NULL, so that column positions stay fixed ("rowid" is
// always there).
std::string SelectAvailable(sqlite3* db, const std::string& table,
                            const std::vector<std::string>& wanted, const std::string& tail);

// Runs `sql` and calls `row` for each result row; false (with `problem`) when
// the statement cannot be prepared or a step fails.
bool ForEachRow(sqlite3* db, const std::string& sql, const std::function<void(sqlite3_stmt*)>& row,
                std::string& problem);

std::string ColumnText(sqlite3_stmt* statement, int column);

// How a browser stores a cookie's times.
struct CookieTimeFormat {
  FileTime (*expiry)(std::int64_t);
  FileTime (*other)(std::int64_t);  // creation and last access
};

// A cookie row from columns 0-9 of `statement`, in this order: id, host,
// path, name, expiry, creation, last access, secure, HttpOnly, same-site
// (NULL where the store keeps none). The value is never among them.
CookieRow CookieRowFrom(sqlite3_stmt* statement, const CookieTimeFormat& times);

}  // namespace sources::sqlite
