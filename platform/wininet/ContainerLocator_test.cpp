#include "platform/wininet/ContainerLocator.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>

#include "platform/testing/TempDir.h"
#include "platform/wininet/testing/IndexDatWriter.h"

namespace {

namespace fs = std::filesystem;
using fixture::ProfileLayout;
using fixture::TempDir;

void Touch(const std::string& path) {
  fs::create_directories(fs::path(path).parent_path());
  std::ofstream(path) << "x";
}

TEST(ContainerLocator, FindsEachLayoutAndPrefersTheFirst) {
  for (ProfileLayout layout : {ProfileLayout::Wine, ProfileLayout::Vista, ProfileLayout::XP}) {
    TempDir user;
    fixture::ProfileFixture spec;
    spec.layout = layout;
    ASSERT_TRUE(fixture::WriteProfile(user.path(), spec));
    const urlcache::ContainerFolders folders = urlcache::LocateContainers(user.path());
    EXPECT_EQ(folders.cookies, user / fixture::ContainerPath(layout, 0));
    EXPECT_EQ(folders.history, user / fixture::ContainerPath(layout, 1));
    EXPECT_EQ(folders.content, user / fixture::ContainerPath(layout, 2));
  }
  // Wine's content folder wins over an XP one in the same user folder.
  TempDir both;
  Touch(both / "Local Settings/Temporary Internet Files/Content.IE5/index.dat");
  Touch(both / "AppData/Local/Microsoft/Windows/INetCache/Content.IE5/index.dat");
  EXPECT_EQ(urlcache::LocateContainers(both.path()).content,
            both / "AppData/Local/Microsoft/Windows/INetCache/Content.IE5");
}

TEST(ContainerLocator, MatchesAnyLetterCaseAndNeedsAnIndexFile) {
  TempDir user;
  Touch(user / "appdata/LOCAL/microsoft/windows/inetcache/content.ie5/INDEX.DAT");
  fs::create_directories(user / "Cookies");  // a folder without index.dat is no container
  const urlcache::ContainerFolders folders = urlcache::LocateContainers(user.path());
  EXPECT_EQ(folders.content, user / "appdata/LOCAL/microsoft/windows/inetcache/content.ie5");
  EXPECT_EQ(folders.cookies, "");
  EXPECT_EQ(folders.history, "");
  EXPECT_TRUE(folders.Any());
  EXPECT_FALSE(urlcache::LocateContainers(user / "missing").Any());
}

TEST(ContainerLocator, UserFolderOfAWinePrefix) {
  TempDir prefix;
  fs::create_directories(prefix / "drive_c/users/Public");
  fs::create_directories(prefix / "drive_c/users/alice");
  // The named user, else the only other user than Public.
  EXPECT_EQ(urlcache::UserFolderOf(prefix.path(), "alice"), prefix / "drive_c/users/alice");
  EXPECT_EQ(urlcache::UserFolderOf(prefix.path(), "bob"), prefix / "drive_c/users/alice");
  fs::create_directories(prefix / "drive_c/users/carol");
  EXPECT_EQ(urlcache::UserFolderOf(prefix.path(), "bob"), std::nullopt);
  EXPECT_EQ(urlcache::UserFolderOf(prefix.path(), "CAROL"), prefix / "drive_c/users/carol");
  // A folder without drive_c is a user folder itself.
  EXPECT_EQ(urlcache::UserFolderOf(prefix / "drive_c/users/alice", "x"),
            prefix / "drive_c/users/alice");
  EXPECT_EQ(urlcache::UserFolderOf(prefix / "nowhere", "x"), std::nullopt);
}

TEST(ContainerLocator, DefaultFolderFollowsWinePrefixAndUser) {
  TempDir prefix;
  fs::create_directories(prefix / "drive_c/users/someone");
  setenv("WINEPREFIX", prefix.path().c_str(), 1);
  setenv("USER", "someone", 1);
  EXPECT_EQ(urlcache::DefaultUserFolder(), prefix / "drive_c/users/someone");
  unsetenv("WINEPREFIX");
  setenv("HOME", prefix.path().c_str(), 1);
  EXPECT_EQ(urlcache::DefaultUserFolder(), std::nullopt);  // no ~/.wine there
}

}  // namespace
