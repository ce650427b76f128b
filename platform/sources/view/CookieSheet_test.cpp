#include "platform/sources/view/CookieSheet.h"

#include <gtest/gtest.h>

#include "platform/sources/naming/ContentNames.h"

namespace sources::view {
namespace {

// 2026-12-10 00:32:40 UTC.
constexpr FileTime kExpiry = kUnixEpochAsFileTime + 1796862760ULL * 10000000;
constexpr FileTime kCreated = kUnixEpochAsFileTime + 1796776360ULL * 10000000;

CookieRow Row(const std::string& host, const std::string& path, const std::string& name,
              int port = -1) {
  CookieRow row;
  row.host = host;
  row.path = path;
  row.name = name;
  row.port = port;
  row.creation = kCreated;
  row.lastAccess = kCreated;
  return row;
}

TEST(CookieSheetTest, ASheetTakesTheRowsOfItsHostPathAndPortOnly) {
  const std::vector<CookieRow> rows = {
      Row(".a.test", "/", "domain"), Row("a.test", "/", "host"),
      Row("a.test", "/img", "img"),  Row("a.test", "/", "port", 8931),
      Row("b.a.test", "/", "other"), Row("a.test", "/", "tls", 443),
  };
  const auto byEntry = CookiesByEntryUrl(rows, "firefox");
  auto names = [&](const std::string& url) {
    std::string list;
    if (auto found = byEntry.find(url); found != byEntry.end())
      for (const CookieRow& row : found->second) list += row.name + " ";
    return list;
  };
  EXPECT_EQ(names(CookieEntryUrl("firefox", "a.test", -1, "/")), "domain host tls ");
  EXPECT_EQ(names(CookieEntryUrl("firefox", "a.test", -1, "/img")), "img ");
  EXPECT_EQ(names(CookieEntryUrl("firefox", "a.test", 8931, "/")), "port ");
  EXPECT_EQ(names(CookieEntryUrl("firefox", "b.a.test", -1, "/")), "other ");
  EXPECT_EQ(byEntry.size(), 4u);
}

TEST(CookieSheetTest, EachCookieShowsItsFlagsAndTimesAndSameSiteOnlyWhereKnown) {
  CookieRow persistent = Row(".a.test", "/", "pref");
  persistent.expiry = kExpiry;
  persistent.secure = true;
  persistent.sameSite = 1;
  CookieRow session = Row("a.test", "/", "sid");
  session.httpOnly = true;
  session.sameSite = -1;  // Chromium's "unspecified"
  session.lastAccess = 0;
  const std::string text = CookieSheetText("Cookie:firefox@a.test/", {persistent, session});
  EXPECT_EQ(text,
            "Cookie:firefox@a.test/\n"
            "2 cookies; values are not read and not shown.\n"
            "\n"
            "pref\n"
            "  domain          .a.test\n"
            "  path            /\n"
            "  expires         2026-12-10 00:32:40 UTC\n"
            "  secure          yes\n"
            "  HttpOnly        no\n"
            "  same-site       Lax\n"
            "  created         2026-12-09 00:32:40 UTC\n"
            "  last accessed   2026-12-09 00:32:40 UTC\n"
            "\n"
            "sid\n"
            "  domain          a.test\n"
            "  path            /\n"
            "  expires         at the end of the session\n"
            "  secure          no\n"
            "  HttpOnly        yes\n"
            "  created         2026-12-09 00:32:40 UTC\n"
            "  last accessed   unknown\n");
}

TEST(CookieSheetTest, ControlBytesAndBrokenUtf8InStoredTextAreReplaced) {
  CookieRow row = Row("a.test", "/\xc3\xa9t\xc3\xa9", std::string("n\0a\nme\xff\xc3", 8));
  const std::string text = CookieSheetText("Cookie:x@a.test/", {row});
  EXPECT_NE(text.find("\nn?a?me\xef\xbf\xbd\xef\xbf\xbd\n"), std::string::npos) << text;
  EXPECT_NE(text.find("/\xc3\xa9t\xc3\xa9\n"), std::string::npos);
  EXPECT_EQ(text.find('\0'), std::string::npos);
}

}  // namespace
}  // namespace sources::view
