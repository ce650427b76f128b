#include "platform/sources/BrowserProvider.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/TempDir.h"
#include "platform/wininet/ContainerLocator.h"

namespace sources {
namespace {

namespace fs = std::filesystem;
using namespace sources::testing;

std::uint64_t Joined(FILETIME time) {
  return std::uint64_t{time.dwHighDateTime} << 32 | time.dwLowDateTime;
}

std::vector<std::string> Walk(urlcache::Provider& provider, urlcache::Container container) {
  std::vector<std::string> urls;
  auto cursor = provider.Open(container);
  urlcache::EntryView view;
  for (; cursor && cursor->Current(view); cursor->Advance()) urls.emplace_back(view.url);
  return urls;
}

TEST(BrowserProviderTest, DeliversTheStoredEntriesAsTheyAreWithoutCopies) {
  ProfileRead read;
  SourceEntry file;
  file.url = "https://a.test/big.mp4";
  file.localFileName = "/v/firefox/AB/big[1].mp4";
  file.entryType = kNormalEntry;
  file.hitCount = 7;
  file.size = 0x100000005ULL;
  file.lastModified = 0x01d0000012345678ULL;
  file.expire = 3;
  file.lastAccess = 0x01d0000087654321ULL;
  file.lastSync = 4;
  file.headerInfo = "HTTP/1.1 200 OK\r\n";
  read.entries.content = {file};
  read.entries.history.push_back({});
  read.entries.history[0].url = "Visited: firefox@https://a.test/";
  BrowserProvider provider({}, std::move(read));

  auto cursor = provider.Open(urlcache::Container::kContent);
  ASSERT_NE(cursor, nullptr);
  urlcache::EntryView view;
  ASSERT_TRUE(cursor->Current(view));
  const SourceEntry& stored = provider.read().entries.content[0];
  EXPECT_EQ(view.url.data(), stored.url.data());
  EXPECT_EQ(view.localFile.data(), stored.localFileName.data());
  EXPECT_EQ(view.header.data(), stored.headerInfo.data());
  EXPECT_EQ(view.extension, "mp4");
  EXPECT_EQ(view.cacheEntryType, kNormalEntry);
  EXPECT_EQ(view.hitRate, 7u);
  EXPECT_EQ(view.sizeLow, 5u);
  EXPECT_EQ(view.sizeHigh, 1u);
  EXPECT_EQ(Joined(view.lastModified), file.lastModified);
  EXPECT_EQ(Joined(view.expire), 3u);
  EXPECT_EQ(Joined(view.lastAccess), file.lastAccess);
  EXPECT_EQ(Joined(view.lastSync), 4u);
  cursor->Advance();
  EXPECT_FALSE(cursor->Current(view));
  cursor->Advance();  // past the end stays at the end
  EXPECT_FALSE(cursor->Current(view));

  // A history entry has no local file, so no extension either.
  auto history = provider.Open(urlcache::Container::kHistory);
  ASSERT_TRUE(history && history->Current(view));
  EXPECT_TRUE(view.localFile.empty());
  EXPECT_TRUE(view.extension.empty());
  EXPECT_EQ(view.sizeLow, 0u);
  EXPECT_EQ(provider.Open(urlcache::Container::kCookies), nullptr);
}

TEST(BrowserProviderTest, AFileNameWithoutExtensionGivesNoneEvenBelowADottedFolder) {
  ProfileRead read;
  read.entries.content.push_back({});
  read.entries.content[0].localFileName = "/v/a.b/index[1]";
  BrowserProvider provider({}, std::move(read));
  urlcache::EntryView view;
  auto cursor = provider.Open(urlcache::Container::kContent);
  ASSERT_TRUE(cursor && cursor->Current(view));
  EXPECT_TRUE(view.extension.empty());
}

class MachineSourcesTest : public ::testing::Test {
 protected:
  void SetUp() override {
    FirefoxProfileSpec firefox;
    firefox.name = "default";
    firefox.folder = "p.default";
    firefox.visits = {{"https://f.test/", 2, 1700000000000000}};
    firefox.cookies = {{"f.test", "/", "sid", "secret", -1, 1800000000000000}};
    WriteFirefoxProfiles(home / ".mozilla/firefox", {firefox});
    ChromiumProfileSpec chromium;
    chromium.visits = {{"https://c.test/", 1, 1700000000000000}};
    WriteChromiumUserData(home / ".config/chromium", {chromium});
    Cache2EntrySpec entry;
    entry.key = ":https://f.test/logo.png";
    entry.body = "png";
    entry.responseHead = ResponseHead(200, "image/png");
    WriteCache2Entry(home / ".cache/mozilla/firefox/p.default/cache2", "entries/AAAA", entry);
  }

  fixture::TempDir home;
};

TEST_F(MachineSourcesTest, WinInetFirstThenFirefoxThenChromium) {
  const fs::path prefix = home / "prefix";
  fs::copy(std::string(SITELORE_SHARED_DIR) + "/fixtures/wine-basic/prefix", prefix,
           fs::copy_options::recursive);
  auto sources = MakeMachineProvider({home.path(), "", ""}, "/view");
  ASSERT_NE(sources, nullptr);
  urlcache::SetUrlCacheProfile(prefix.string());
  const auto history = Walk(*sources, urlcache::Container::kHistory);
  urlcache::SetUrlCacheProfile("");

  ASSERT_EQ(history.size(), 4u);
  EXPECT_EQ(history[0].rfind("Visited: ", 0), 0u);  // the Wine prefix's own two
  EXPECT_EQ(history[1].find("firefox@"), std::string::npos);
  EXPECT_EQ(history[2], "Visited: firefox@https://f.test/");
  EXPECT_EQ(history[3], "Visited: chromium@https://c.test/");
  EXPECT_EQ(Walk(*sources, urlcache::Container::kContent).back(), "https://f.test/logo.png");

  const auto infos = sources->Infos();
  ASSERT_EQ(infos.size(), 3u);
  EXPECT_EQ(infos[0].kind, "wininet");
  EXPECT_EQ(infos[1].kind + " " + infos[1].label, "firefox firefox");
  EXPECT_EQ(infos[2].kind + " " + infos[2].label, "chromium chromium");
  EXPECT_EQ(infos[2].profileDir, home / ".config/chromium/Default");
}

TEST_F(MachineSourcesTest, ProfilesAreReadOnceAtTheFirstWalkAndKeptWithTheirProblems) {
  const std::string places = home / ".mozilla/firefox/p.default/places.sqlite";
  auto sources = MakeMachineProvider({home.path(), "", ""}, "/view");
  // Damage found at the first walk, not at construction.
  fs::remove(places);
  fs::remove(places + "-wal");
  WriteFile(places, std::string(4096, 'g'));
  auto browsers = sources->Browsers();
  ASSERT_EQ(browsers.size(), 2u);
  ASSERT_EQ(browsers[0]->read().problems.size(), 1u);
  EXPECT_EQ(browsers[0]->read().problems[0].rfind(places, 0), 0u);
  EXPECT_TRUE(browsers[0]->read().entries.history.empty());
  EXPECT_EQ(browsers[0]->read().entries.cookies.size(), 1u);
  EXPECT_EQ(Walk(*sources, urlcache::Container::kHistory),
            std::vector<std::string>{"Visited: chromium@https://c.test/"});
}

std::string ReadAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST_F(MachineSourcesTest, BrowserTracesAreWrittenIntoTheViewFolderOnlyWhenAsked) {
  const std::string view = home / "view";
  fs::create_directory(view);
  auto sources = MakeMachineProvider({home.path(), "", ""}, view);
  auto browsers = sources->Browsers();
  ASSERT_EQ(browsers.size(), 2u);
  const SourceEntry& logo = browsers[0]->read().entries.content.at(0);
  const SourceEntry& cookie = browsers[0]->read().entries.cookies.at(0);
  EXPECT_TRUE(fs::is_empty(view));
  EXPECT_EQ(sources->MaterialiseCost(logo.localFileName), fs::file_size(logo.sourceFile));

  EXPECT_EQ(sources->Materialise(logo.localFileName), urlcache::LocalFile::kReady);
  EXPECT_EQ(ReadAll(logo.localFileName), "png");
  EXPECT_EQ(sources->MaterialiseCost(logo.localFileName), 0u);
  EXPECT_EQ(sources->Materialise(cookie.localFileName), urlcache::LocalFile::kReady);
  const std::string sheet = ReadAll(cookie.localFileName);
  EXPECT_NE(sheet.find("sid"), std::string::npos);
  EXPECT_EQ(sheet.find("secret"), std::string::npos);

  // Other files are left alone; a name in the view folder that no trace
  // holds is missing.
  EXPECT_EQ(sources->Materialise(home / "elsewhere.png"), urlcache::LocalFile::kNotOurs);
  EXPECT_EQ(sources->Materialise(view + "-other/x.png"), urlcache::LocalFile::kNotOurs);
  EXPECT_EQ(sources->Materialise(view + "/firefox/nothing.png"), urlcache::LocalFile::kMissing);
  EXPECT_FALSE(fs::exists(view + "/firefox/nothing.png"));
}

TEST(ViewFolderNameTest, UnderTheRuntimeFolderPerProcess) {
  const char* saved = std::getenv("XDG_RUNTIME_DIR");
  const std::string keep = saved ? saved : "";
  setenv("XDG_RUNTIME_DIR", "/run/user/1000", 1);
  EXPECT_EQ(ViewFolderName(), "/run/user/1000/sitelore/" + std::to_string(getpid()));
  unsetenv("XDG_RUNTIME_DIR");
  const fs::path elsewhere = ViewFolderName();
  EXPECT_EQ(elsewhere.filename(), std::to_string(getpid()));
  EXPECT_EQ(elsewhere.parent_path().filename(), "sitelore-" + std::to_string(getuid()));
  if (saved) setenv("XDG_RUNTIME_DIR", keep.c_str(), 1);
}

}  // namespace
}  // namespace sources
