#include "platform/sources/view/CookieSheet.h"

#include <ctime>

#include "platform/sources/naming/ContentNames.h"

namespace sources::view {

namespace {

constexpr FileTime kTicksPerSecond = 10000000;

// Length of the UTF-8 sequence starting at `at`, 0 when it is not a valid
// one.
std::size_t Utf8SequenceAt(std::string_view text, std::size_t at) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[at + i]); };
  const unsigned char lead = byte(0);
  std::size_t length = lead < 0x80                    ? 1
                       : lead >= 0xc2 && lead <= 0xdf ? 2
                       : (lead & 0xf0) == 0xe0        ? 3
                       : lead >= 0xf0 && lead <= 0xf4 ? 4
                                                      : 0;
  if (length == 0 || at + length > text.size()) return 0;
  for (std::size_t i = 1; i < length; ++i)
    if ((byte(i) & 0xc0) != 0x80) return 0;
  if (length == 3 && ((lead == 0xe0 && byte(1) < 0xa0) || (lead == 0xed && byte(1) > 0x9f)))
    return 0;  // overlong, or a surrogate
  if (length == 4 && ((lead == 0xf0 && byte(1) < 0x90) || (lead == 0xf4 && byte(1) > 0x8f)))
    return 0;
  return length;
}

// Control bytes become "?", invalid UTF-8 becomes U+FFFD.
std::string Printable(std::string_view text) {
  std::string printable;
  for (std::size_t at = 0; at < text.size();) {
    const std::size_t length = Utf8SequenceAt(text, at);
    const unsigned char c = static_cast<unsigned char>(text[at]);
    if (length == 0) {
      printable += "\xef\xbf\xbd";
      ++at;
    } else if (length == 1 && (c < 0x20 || c == 0x7f)) {
      printable += '?';
      ++at;
    } else {
      printable.append(text.substr(at, length));
      at += length;
    }
  }
  return printable;
}

std::string TimeText(FileTime time) {
  if (time < kUnixEpochAsFileTime) return "unknown";
  const std::time_t seconds =
      static_cast<std::time_t>((time - kUnixEpochAsFileTime) / kTicksPerSecond);
  std::tm utc{};
  char text[64];
  if (!gmtime_r(&seconds, &utc) ||
      std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &utc) == 0)
    return "unknown";
  return text;
}

// 0, 1 and 2 mean the same in both stores; Chromium's -1 ("unspecified")
// and Firefox's unset marker say nothing.
const char* SameSiteText(const std::optional<int>& sameSite) {
  if (!sameSite) return nullptr;
  switch (*sameSite) {
    case 0:
      return "None";
    case 1:
      return "Lax";
    case 2:
      return "Strict";
    default:
      return nullptr;
  }
}

void AddLine(std::string& text, const char* label, const std::string& value) {
  text += "  ";
  text += label;
  text.append(16 - std::char_traits<char>::length(label), ' ');
  text += value;
  text += '\n';
}

}  // namespace

std::map<std::string, std::vector<CookieRow>> CookiesByEntryUrl(const std::vector<CookieRow>& rows,
                                                                const std::string& label) {
  std::map<std::string, std::vector<CookieRow>> byEntry;
  for (const CookieRow& row : rows)
    byEntry[CookieEntryUrl(label, row.host, row.port, row.path)].push_back(row);
  return byEntry;
}

std::string CookieSheetText(const std::string& entryUrl, const std::vector<CookieRow>& cookies) {
  std::string text = Printable(entryUrl) + "\n";
  text += std::to_string(cookies.size()) + (cookies.size() == 1 ? " cookie" : " cookies") +
          "; values are not read and not shown.\n";
  for (const CookieRow& cookie : cookies) {
    text += "\n" + Printable(cookie.name) + "\n";
    AddLine(text, "domain", Printable(cookie.host));
    AddLine(text, "path", Printable(cookie.path));
    AddLine(text, "expires",
            cookie.expiry == 0 ? "at the end of the session" : TimeText(cookie.expiry));
    AddLine(text, "secure", cookie.secure ? "yes" : "no");
    AddLine(text, "HttpOnly", cookie.httpOnly ? "yes" : "no");
    if (const char* sameSite = SameSiteText(cookie.sameSite)) AddLine(text, "same-site", sameSite);
    AddLine(text, "created", TimeText(cookie.creation));
    AddLine(text, "last accessed", TimeText(cookie.lastAccess));
  }
  return text;
}

}  // namespace sources::view
