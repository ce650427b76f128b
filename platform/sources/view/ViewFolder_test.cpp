#include "platform/sources/view/ViewFolder.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>

#include "platform/sources/testing/ProfileWriter.h"
#include "platform/testing/TempDir.h"

namespace sources::view {
namespace {

namespace fs = std::filesystem;

// The id of a process that has ended (and been reaped).
pid_t DeadPid() {
  const pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  return child;
}

mode_t ModeOf(const std::string& path) {
  struct stat st {};
  lstat(path.c_str(), &st);
  return st.st_mode & 07777;
}

TEST(ViewFolderTest, LivesInTheRuntimeFolderPrivatelyAndGoesWithItsOwner) {
  fixture::TempDir runtime, temp;
  std::string path;
  {
    ViewFolder folder(runtime.path(), temp.path(), getpid());
    ASSERT_TRUE(folder.Usable());
    path = folder.Path();
    EXPECT_EQ(path, runtime / ("sitelore/" + std::to_string(getpid())));
    EXPECT_EQ(ModeOf(path), 0700u);
    EXPECT_EQ(ModeOf(runtime / "sitelore"), 0700u);
    testing::WriteFile(path + "/firefox/AB/x[1].png", "x");
    ViewFolder moved(std::move(folder));
    EXPECT_EQ(moved.Path(), path);
  }
  EXPECT_FALSE(fs::exists(path));
  EXPECT_TRUE(fs::exists(runtime / "sitelore"));
}

TEST(ViewFolderTest, WithoutAUsableRuntimeFolderAPrivateTemporaryOneIsMade) {
  fixture::TempDir temp;
  testing::WriteFile(temp / "not-a-folder", "");
  for (const std::string& runtime :
       {std::string(), temp / "not-a-folder", std::string("relative")}) {
    std::string path;
    {
      ViewFolder folder(runtime, temp.path(), 4242);
      ASSERT_TRUE(folder.Usable()) << runtime;
      path = folder.Path();
      EXPECT_EQ(path.rfind(temp / "sitelore-view-4242-", 0), 0u) << path;
      EXPECT_EQ(ModeOf(path), 0700u);
    }
    EXPECT_FALSE(fs::exists(path));
  }
}

TEST(ViewFolderTest, NoWritablePlaceLeavesAnUnusableFolderWithAStablePath) {
  fixture::TempDir temp;
  testing::WriteFile(temp / "file", "");
  ViewFolder folder(temp / "file", temp / "file", 77);
  EXPECT_FALSE(folder.Usable());
  EXPECT_FALSE(folder.Path().empty());
  EXPECT_FALSE(fs::exists(folder.Path()));
}

TEST(ViewFolderTest, FoldersOfDeadProcessesAreSweptWithoutFollowingLinks) {
  fixture::TempDir runtime, temp, outside;
  testing::WriteFile(outside / "keep.txt", "keep");
  const std::string base = runtime / "sitelore";
  const pid_t dead = DeadPid();
  const std::string deadFolder = base + "/" + std::to_string(dead);
  testing::WriteFile(deadFolder + "/firefox/AB/x[1].png", "x");
  fs::create_directory_symlink(outside.path(), deadFolder + "/firefox/link");
  fs::create_symlink(outside / "keep.txt", deadFolder + "/sheet.txt");
  const std::string liveFolder = base + "/" + std::to_string(getppid());
  testing::WriteFile(liveFolder + "/x", "x");
  testing::WriteFile(base + "/notes/x", "x");
  // A link named like a dead process's folder is left alone, never followed.
  const std::string link = base + "/" + std::to_string(DeadPid());
  fs::create_directory_symlink(outside.path(), link);
  // Left by an earlier process that had our id: made afresh.
  testing::WriteFile(base + "/" + std::to_string(getpid()) + "/old.txt", "old");
  fs::permissions(base, fs::perms::owner_all, fs::perm_options::replace);

  ViewFolder folder(runtime.path(), temp.path(), getpid());
  ASSERT_TRUE(folder.Usable());
  EXPECT_EQ(folder.Path(), base + "/" + std::to_string(getpid()));
  EXPECT_FALSE(fs::exists(deadFolder));
  EXPECT_TRUE(fs::exists(liveFolder + "/x"));
  EXPECT_TRUE(fs::exists(base + "/notes/x"));
  EXPECT_FALSE(fs::exists(folder.Path() + "/old.txt"));
  EXPECT_TRUE(fs::is_symlink(link));
  EXPECT_EQ(fs::directory_iterator(outside.path())->path().filename(), "keep.txt");
  EXPECT_TRUE(fs::exists(outside / "keep.txt"));
}

TEST(ViewFolderTest, TemporaryFoldersOfDeadProcessesAreSweptOthersKept) {
  fixture::TempDir temp;
  const std::string dead = temp / ("sitelore-view-" + std::to_string(DeadPid()) + "-abcdef");
  const std::string live = temp / ("sitelore-view-" + std::to_string(getppid()) + "-abcdef");
  const std::string other = temp / "sitelore-abcdef";
  for (const auto& path : {dead, live, other}) testing::WriteFile(path + "/x", "x");
  ViewFolder folder("", temp.path(), getpid());
  EXPECT_FALSE(fs::exists(dead));
  EXPECT_TRUE(fs::exists(live));
  EXPECT_TRUE(fs::exists(other));
}

TEST(ViewFolderTest, ProcessLiveness) {
  EXPECT_TRUE(ProcessRuns(getpid()));
  EXPECT_TRUE(ProcessRuns(1));
  EXPECT_FALSE(ProcessRuns(DeadPid()));
  EXPECT_FALSE(ProcessRuns(0));
}

}  // namespace
}  // namespace sources::view
