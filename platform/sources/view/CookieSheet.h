// The text of a cookie sheet, <label>@<host>[N].txt: what a browser keeps
// about each cookie of one host and path, for a person to read. Made from
// value-free rows: a cookie's value is never read, so it cannot appear.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "platform/sources/BrowserRows.h"

namespace sources::view {

// The rows of `rows` by the URL of the cookie entry they belong to (as
// CookieEntryUrl makes it for `label`: one per host, port and path), each
// list in the rows' order.
std::map<std::string, std::vector<CookieRow>> CookiesByEntryUrl(const std::vector<CookieRow>& rows,
                                                                const std::string& label);

// UTF-8 text, one block per cookie: name, domain, path, expiry, secure,
// HttpOnly, same-site where the store says it, created, last accessed. Times
// in UTC. Bytes that are not printable UTF-8 are replaced.
std::string CookieSheetText(const std::string& entryUrl, const std::vector<CookieRow>& cookies);

}  // namespace sources::view
