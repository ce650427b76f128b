// Reading every profile must leave every byte, time and listing of the
// profile and cache folders as it was: the browser may be running.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "platform/sources/BrowserProvider.h"
#include "platform/sources/TraceExtraction.h"
#include "platform/sources/reader/ProfileReader.h"
#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/FolderState.h"
#include "platform/testing/TempDir.h"

namespace sources {
namespace {

namespace fs = std::filesystem;

void ReadEverything(const std::string& home) {
  MimeGlobs globs;
  ReadContext context{"/view", &globs, {}};
  std::size_t entries = 0;
  for (const auto& profile : DiscoverProfiles({home, "", ""})) {
    ProfileRead read = ReadProfile(profile, context);
    entries += read.entries.content.size() + read.entries.cookies.size();
  }
  EXPECT_GT(entries, 0u);
}

// Writes every cached file and cookie sheet out as the window opens them,
// into a view folder below `scratch`, and extracts them as the report does.
void OpenEverything(const std::string& home, const std::string& scratch) {
  fs::create_directories(scratch + "/view");
  auto machine = MakeMachineProvider({home, "", ""}, scratch + "/view");
  std::size_t ready = 0;
  for (const BrowserProvider* browser : machine->Browsers())
    for (const auto* list : {&browser->read().entries.content, &browser->read().entries.cookies})
      for (const SourceEntry& entry : *list)
        ready += machine->Materialise(entry.localFileName) == urlcache::LocalFile::kReady;
  EXPECT_GT(ready, 0u);
  std::vector<ExtractedSource> extracted;
  EXPECT_TRUE(ExtractTraces(*machine, scratch + "/out", extracted));
  ASSERT_FALSE(extracted.empty());
  EXPECT_GT(extracted[0].written, 0u);
}

TEST(ReadOnlyTest, TheRealProfilesAreUnchangedAfterAFullRead) {
  fixture::TempDir home;
  fs::copy(std::string(SITELORE_SHARED_DIR) + "/fixtures/browsers-basic/home", home.path(),
           fs::copy_options::recursive);
  const auto before = fixture::FolderState(home.path());
  ReadEverything(home.path());
  EXPECT_EQ(fixture::FolderState(home.path()), before);
}

TEST(ReadOnlyTest, TheRealProfilesAreUnchangedAfterEveryTraceIsWrittenOutAndExtracted) {
  fixture::TempDir home, scratch;
  fs::copy(std::string(SITELORE_SHARED_DIR) + "/fixtures/browsers-basic/home", home.path(),
           fs::copy_options::recursive);
  const auto before = fixture::FolderState(home.path());
  OpenEverything(home.path(), scratch.path());
  EXPECT_EQ(fixture::FolderState(home.path()), before);
}

TEST(ReadOnlyTest, WriterMadeProfilesWithLogsAndJournalsAreUnchangedAfterAFullRead) {
  fixture::TempDir home;
  testing::FirefoxProfileSpec firefox;
  firefox.name = "p";
  firefox.folder = "p";
  firefox.visits = {{"https://a.test/", 1, 1700000000000000}};
  firefox.cookies = {{"a.test", "/", "n", "v", -1, 1800000000000000}};
  testing::WriteFirefoxProfiles(home / ".mozilla/firefox", {firefox});
  testing::Cache2EntrySpec entry;
  entry.key = ":https://a.test/x.png";
  entry.body = "x";
  entry.responseHead = testing::ResponseHead(200, "image/png");
  testing::WriteCache2Entry(home / ".cache/mozilla/firefox/p/cache2", "entries/AB", entry);
  testing::ChromiumProfileSpec chromium;
  chromium.cookies = {{"a.test", "/", "n", "v", 8000, 0}};
  testing::WriteChromiumUserData(home / ".config/chromium", {chromium});
  // A journal left by a writer: read, never deleted or rolled back on disk.
  std::string journal("\xd9\xd5\x05\xf9\x20\xa1\x63\xd7", 8);
  journal += std::string(4, '\0') + std::string(4, '\1') + std::string(4, '\0') +
             std::string("\0\0\x02\0\0\0\x10\0", 8) + std::string(480, '\0');
  testing::WriteFile(home / ".config/chromium/Default/History-journal", journal);
  ASSERT_TRUE(fs::exists(home / ".mozilla/firefox/p/places.sqlite-wal"));

  const auto before = fixture::FolderState(home.path());
  ReadEverything(home.path());
  EXPECT_EQ(fixture::FolderState(home.path()), before);
  fixture::TempDir scratch;
  OpenEverything(home.path(), scratch.path());
  EXPECT_EQ(fixture::FolderState(home.path()), before);
}

}  // namespace
}  // namespace sources
