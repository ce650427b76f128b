// The real profiles of the fixture "browsers-basic" and writer-made ones
// with distinctive cookie values, written out whole into a view folder.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/sources/discovery/BrowserDiscovery.h"
#include "platform/sources/reader/ProfileReader.h"
#include "platform/sources/testing/ProfileWriter.h"
#include "platform/sources/view/ViewFiles.h"
#include "platform/sources/view/ViewFolder.h"
#include "platform/testing/FolderState.h"
#include "platform/testing/TempDir.h"

namespace sources::view {
namespace {

namespace fs = std::filesystem;

const std::string kFixture = std::string(SITELORE_SHARED_DIR) + "/fixtures/browsers-basic";

struct Written {
  std::vector<SourceEntry> content;
  std::vector<SourceEntry> cookies;
};

// Reads every profile under `home`, registers its traces and writes each one
// out; every write must succeed.
Written WriteEverything(const std::string& home, const ViewFolder& folder, ViewFiles& files) {
  MimeGlobs globs;
  ReadContext context{folder.Path(), &globs, {}};
  Written written;
  for (const BrowserProfile& profile : DiscoverProfiles({home, "", ""})) {
    ProfileRead read = ReadProfile(profile, context);
    for (SourceEntry& entry : read.entries.content) {
      EXPECT_TRUE(files.AddCachedFile(entry, profile.kind));
      EXPECT_TRUE(files.Materialise(entry.localFileName)) << entry.url;
      written.content.push_back(entry);
    }
    EXPECT_TRUE(files.AddCookieSheets(read.entries.cookies, read.cookies, profile.label));
    for (SourceEntry& entry : read.entries.cookies) {
      EXPECT_TRUE(files.Materialise(entry.localFileName)) << entry.url;
      written.cookies.push_back(entry);
    }
  }
  return written;
}

// The file the fixture's server sent for `url`.
std::string ServedFile(const std::string& url) {
  std::string rest = url.substr(url.find("://") + 3);
  rest = rest.substr(0, rest.find('?'));
  const std::size_t slash = rest.find('/');
  std::string host = rest.substr(0, slash).substr(0, rest.find(':'));
  std::string path = rest.substr(slash);
  if (path == "/") path = "/index.html";
  if (path == "/page") path = "/page.html";
  return kFixture + "/source/site/" + host + path;
}

TEST(ViewFixtureTest, EveryTraceOfTheRealProfilesIsWrittenAsServedAndTheProfilesStayUnchanged) {
  fixture::TempDir home, runtime;
  fs::copy(kFixture + "/home", home.path(), fs::copy_options::recursive);
  const auto before = fixture::FolderState(home.path());
  ViewFolder folder(runtime.path(), runtime.path(), getpid());
  ASSERT_TRUE(folder.Usable());
  ViewFiles files(folder.Path());
  const Written written = WriteEverything(home.path(), folder, files);
  EXPECT_EQ(fixture::FolderState(home.path()), before);

  ASSERT_EQ(written.content.size(), 30u);
  int images = 0;
  for (const SourceEntry& entry : written.content) {
    ASSERT_EQ(entry.localFileName.rfind(folder.Path() + "/", 0), 0u);
    const std::string body = fixture::FileBytes(entry.localFileName);
    if (entry.url.find("/redirect") != std::string::npos) {
      EXPECT_EQ(body, "");  // the 302 stores no body
      continue;
    }
    EXPECT_EQ(body, fixture::FileBytes(ServedFile(entry.url))) << entry.url;
    if (entry.url.find("/img/") != std::string::npos ||
        entry.url.find(".webp") != std::string::npos)
      ++images;
    if (entry.url.find("/page") != std::string::npos) {
      EXPECT_EQ(body.size(), 578u);
      EXPECT_EQ(body.rfind("<!", 0), 0u) << body.substr(0, 20);
    }
  }
  EXPECT_EQ(images, 10);  // photo.jpg twice, pixel, big.png, icon.webp in each browser

  std::string sheets;
  for (const SourceEntry& entry : written.cookies)
    sheets += fixture::FileBytes(entry.localFileName);
  for (const char* name : {"\ne\n", "\nsid\n", "\npref\n", "\ntrack\n"})
    EXPECT_NE(sheets.find(name), std::string::npos) << name;
  EXPECT_EQ(written.cookies.size(), 5u);
}

TEST(ViewFixtureTest, NoCookieValueReachesAnyFileWritten) {
  fixture::TempDir home, runtime;
  const std::vector<std::string> values = {"V4LUE-ff-persistent-71c2", "V4LUE-ff-second-9ad0",
                                           "V4LUE-cr-session-3e55", "V4LUE-cr-port-b810"};
  testing::FirefoxProfileSpec firefox;
  firefox.name = "p";
  firefox.folder = "p";
  firefox.cookies = {{"a.test", "/", "first", values[0], -1, 1900000000000000},
                     {".a.test", "/", "second", values[1], -1, 1900000000000000}};
  testing::WriteFirefoxProfiles(home / ".mozilla/firefox", {firefox});
  testing::ChromiumProfileSpec chromium;
  chromium.cookies = {{"b.test", "/", "session", values[2], -1, 0},
                      {"b.test", "/x", "ported", values[3], 8080, 1900000000000000}};
  testing::WriteChromiumUserData(home / ".config/chromium", {chromium});
  testing::Cache2EntrySpec cached;
  cached.key = ":https://a.test/page";
  cached.body = "page";
  cached.responseHead = testing::ResponseHead(200, "text/html", {"Set-Cookie: first=" + values[0]});
  testing::WriteCache2Entry(home / ".cache/mozilla/firefox/p/cache2", "entries/AB", cached);

  ViewFolder folder(runtime.path(), runtime.path(), getpid());
  ViewFiles files(folder.Path());
  const Written written = WriteEverything(home.path(), folder, files);
  ASSERT_EQ(written.cookies.size(), 3u);
  std::string everything;
  for (const auto& item : fs::recursive_directory_iterator(folder.Path()))
    if (item.is_regular_file())
      everything += item.path().string() + "\n" + fixture::FileBytes(item.path());
  for (const char* name : {"first", "second", "session", "ported"})
    EXPECT_NE(everything.find(name), std::string::npos) << name;
  for (const std::string& value : values)
    EXPECT_EQ(everything.find(value), std::string::npos) << value;
}

}  // namespace
}  // namespace sources::view
