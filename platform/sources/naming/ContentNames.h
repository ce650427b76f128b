// The names under which browser traces are shown: the URLs of history and
// cookie entries, and the local file names of cached files and cookie sheets
// in the view folder. Names are built only from sanitised pieces: no path
// separator, no control byte, no leading dot.
#pragma once

#include <string>

#include "platform/sources/naming/MimeGlobs.h"

namespace sources {

// "Visited: <label>@<url>".
std::string HistoryEntryUrl(const std::string& label, const std::string& url);

// "Cookie:<label>@<host><path>", the host without its leading dot and with
// ":<port>" when the store recorded a port other than 80 or 443.
std::string CookieEntryUrl(const std::string& label, const std::string& host, int port,
                           const std::string& path);

// "<label>@<host>[<n>].txt" (host without its leading dot, sanitised).
std::string CookieFileName(const std::string& label, const std::string& host, int n);

// "<name>[1].<ext>": <name> is the URL path's last segment (query and
// fragment cut, unsafe bytes replaced, capped; "index" when empty); <ext> its
// extension, else the first glob of the response's Content-Type, else none.
std::string CachedFileName(const std::string& url, const std::string& responseHead,
                           const MimeGlobs& globs);

// The Content-Type of a response head, without parameters; empty when absent.
std::string ContentTypeOf(const std::string& responseHead);

// A single safe path component made from `text` (unsafe bytes become "_").
std::string SafeComponent(std::string_view text, std::size_t cap);

}  // namespace sources
