#include "platform/wininet/ContainerLocator.h"

#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

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
    // One container alone is found where all three are.
    using urlcache::ContainerLayout;
    EXPECT_EQ(urlcache::LocateContainer(user.path(), &ContainerLayout::cookies), folders.cookies);
    EXPECT_EQ(urlcache::LocateContainer(user.path(), &ContainerLayout::history), folders.history);
    EXPECT_EQ(urlcache::LocateContainer(user.path(), &ContainerLayout::content), folders.content);
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

// Paths of cached files go to other programs, which run in another folder.
TEST(ContainerLocator, RelativeWinePrefixAndProfileBecomeAbsolute) {
  TempDir parent;
  fs::create_directories(parent / "prefix/drive_c/users/someone");
  const fs::path before = fs::current_path();
  fs::current_path(parent.path());
  setenv("WINEPREFIX", "prefix", 1);
  setenv("USER", "someone", 1);
  const std::optional<std::string> fromEnvironment = urlcache::DefaultUserFolder();
  const std::optional<std::string> fromProfile = urlcache::ProfileUserFolder("./prefix/");
  fs::current_path(before);
  unsetenv("WINEPREFIX");
  EXPECT_EQ(fromEnvironment, parent / "prefix/drive_c/users/someone");
  EXPECT_EQ(fromProfile, parent / "prefix/drive_c/users/someone");
}

// A ".." after a symbolic link leads to where the link points, so it stays.
TEST(ContainerLocator, DotDotAfterALinkIsKept) {
  TempDir parent;
  fs::create_directories(parent / "real/inner");
  fs::create_directories(parent / "real/prefix/drive_c/users/someone");
  fs::create_symlink(parent / "real/inner", parent / "link");
  setenv("USER", "someone", 1);
  const std::string profile = parent / "link/../prefix";
  EXPECT_EQ(urlcache::ProfileUserFolder(profile), profile + "/drive_c/users/someone");
}

TEST(ContainerSurvey, NamesContainersOfLaterLayoutsAsPassedOver) {
  TempDir user;
  Touch(user / "Local Settings/Temporary Internet Files/Content.IE5/index.dat");
  Touch(user / "AppData/Local/Microsoft/Windows/INetCache/Content.IE5/index.dat");
  const urlcache::ContainerSurvey survey = urlcache::SurveyContainers(user.path());
  EXPECT_EQ(survey.folders.content, user / "AppData/Local/Microsoft/Windows/INetCache/Content.IE5");
  EXPECT_EQ(survey.passedOver,
            std::vector<std::string>{
                user / "Local Settings/Temporary Internet Files/Content.IE5/index.dat"});
  EXPECT_TRUE(survey.unreadable.empty());
}

TEST(ContainerSurvey, NamesAContainerThatCannotBeOpened) {
  TempDir user;
  const std::string folder = user / fixture::ContainerPath(ProfileLayout::Wine, 1);
  fs::create_directories(folder);
  fs::create_symlink("index.dat", folder + "/index.dat");  // a link to itself
  const urlcache::ContainerSurvey survey = urlcache::SurveyContainers(user.path());
  EXPECT_EQ(survey.folders.history, folder);
  ASSERT_EQ(survey.unreadable.size(), 1u);
  EXPECT_EQ(survey.unreadable[0].rfind(folder + "/index.dat: ", 0), 0u) << survey.unreadable[0];
}

TEST(ContainerSurvey, NamesAFolderThatCannotBeListed) {
  if (geteuid() == 0) GTEST_SKIP() << "permissions do not bind root";
  TempDir user;
  fs::create_directories(user / "AppData/Local");
  chmod((user / "AppData/Local").c_str(), 0);
  const urlcache::ContainerSurvey survey = urlcache::SurveyContainers(user.path());
  EXPECT_EQ(survey.unreadable,
            std::vector<std::string>{user / "AppData/Local" + ": Permission denied"});
}

}  // namespace
