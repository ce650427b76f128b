#include "platform/sources/naming/ContentNames.h"

#include <gtest/gtest.h>

namespace sources {
namespace {

const MimeGlobs& Globs() {
  static const MimeGlobs globs = MimeGlobs::FromText(
      "<mime-info>"
      "<mime-type type=\"image/png\"><comment>PNG</comment><glob pattern=\"*.png\"/></mime-type>"
      "<mime-type type=\"application/javascript\"><alias type=\"text/javascript\"/>"
      "<glob pattern=\"*.js\"/><glob pattern=\"*.jsm\"/></mime-type>"
      "<mime-type type=\"text/x-readme\"><glob pattern=\"README*\"/></mime-type>"
      "</mime-info>");
  return globs;
}

std::string Name(const std::string& url, const std::string& type = "") {
  return CachedFileName(
      url,
      type.empty() ? "HTTP/1.1 200 OK\r\n" : "HTTP/1.1 200 OK\r\ncontent-TYPE:  " + type + "\r\n",
      Globs());
}

TEST(MimeGlobsTest, TheFirstSimpleGlobOfATypeOrOfItsAliasGivesTheExtension) {
  EXPECT_EQ(Globs().ExtensionOf("image/png"), "png");
  EXPECT_EQ(Globs().ExtensionOf("Text/JavaScript; charset=utf-8"), "js");
  EXPECT_EQ(Globs().ExtensionOf("text/x-readme"), "");
  EXPECT_EQ(Globs().ExtensionOf("video/unknown"), "");
}

TEST(MimeGlobsTest, TheSystemTableGivesThePackageOrder) {
  MimeGlobs system;
  if (system.size() == 0) GTEST_SKIP() << "shared-mime-info is not installed";
  EXPECT_EQ(system.ExtensionOf("image/bmp"), "bmp");
  EXPECT_EQ(system.ExtensionOf("video/mpeg"), "mpeg");
  EXPECT_EQ(system.ExtensionOf("text/html"), "html");
  EXPECT_EQ(system.ExtensionOf("image/jpeg"), "jpg");
}

TEST(ContentNamesTest, TheLastSegmentGivesNameAndExtension) {
  EXPECT_EQ(Name("http://a.test/img/photo.jpg"), "photo[1].jpg");
  EXPECT_EQ(Name("http://a.test/app.js?v=3#top"), "app[1].js");
  EXPECT_EQ(Name("http://a.test/img/pixel", "image/png; q=1"), "pixel[1].png");
  EXPECT_EQ(Name("http://a.test/img/pixel"), "pixel[1]");
  EXPECT_EQ(Name("http://a.test/", "text/javascript"), "index[1].js");
  EXPECT_EQ(Name("http://a.test", "image/png"), "index[1].png");
  EXPECT_EQ(Name("http://a.test/dir/?x=/y.png"), "index[1]");
}

TEST(ContentNamesTest, HostileSegmentsBecomeOneSafeComponent) {
  EXPECT_EQ(Name("http://a.test/.."), "_.[1]");
  EXPECT_EQ(Name("http://a.test/.hidden"), "_hidden[1]");
  EXPECT_EQ(Name("http://a.test/a%2Fb%00c.png"), "a_2Fb_00c[1].png");
  EXPECT_EQ(Name(std::string("http://a.test/x\0y\\z:w.gif", 25)), "x_y_z_w[1].gif");
  EXPECT_EQ(Name("http://a.test/" + std::string(300, 'n') + ".html"),
            std::string(80, 'n') + "[1].html");
  EXPECT_EQ(Name("http://a.test/file.not-an-ext"), "file.not-an-ext[1]");
}

TEST(ContentNamesTest, CookieAndHistoryUrlsFollowTheWinInetForms) {
  EXPECT_EQ(HistoryEntryUrl("firefox", "https://a.test/"), "Visited: firefox@https://a.test/");
  EXPECT_EQ(CookieEntryUrl("chrome", ".a.test", 8443, "/x"), "Cookie:chrome@a.test:8443/x");
  EXPECT_EQ(CookieEntryUrl("chrome", "a.test", 443, "/"), "Cookie:chrome@a.test/");
  EXPECT_EQ(CookieEntryUrl("chrome", "a.test", 80, "/"), "Cookie:chrome@a.test/");
  EXPECT_EQ(CookieEntryUrl("firefox", "a.test", -1, "/"), "Cookie:firefox@a.test/");
  EXPECT_EQ(CookieFileName("brave", ".a.test", 2), "brave@a.test[2].txt");
  EXPECT_EQ(CookieFileName("brave", "../x/y", 1), "brave@__x_y[1].txt");
}

}  // namespace
}  // namespace sources
