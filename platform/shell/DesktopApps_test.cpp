#include "platform/shell/DesktopApps.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include <gio/gio.h>
#include <gtest/gtest.h>

#include "platform/shell/DesktopLauncher.h"
#include "platform/shell/testing/FakeDesktop.h"

namespace {

namespace fs = std::filesystem;
using shell::testing::FakeDesktop;

FakeDesktop* desktop = nullptr;

// Installs the private desktop before any test asks GIO anything.
class DesktopEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    desktop = new FakeDesktop();
    ASSERT_FALSE(desktop->root().empty());
    desktop->Activate();
  }
  void TearDown() override {
    delete desktop;
    desktop = nullptr;
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

std::string WriteFile(const std::string& name, const std::string& bytes) {
  fs::path path = fs::path(desktop->root()) / "files" / name;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << bytes;
  return path.string();
}

TEST(DesktopAppsTest, ListsEveryApplicationOfTheFilesType) {
  std::string file = WriteFile("page [1].trace", "trace");
  EXPECT_EQ(shell::ContentTypeOfFile(file), FakeDesktop::kTraceType);
  auto apps = shell::ApplicationsForFile(file);
  ASSERT_EQ(apps.size(), 2u);
  std::sort(apps.begin(), apps.end(), [](auto& a, auto& b) { return a.id < b.id; });
  EXPECT_EQ(apps[0].id, FakeDesktop::kAlphaId);
  EXPECT_EQ(apps[0].name, "Alpha Viewer");
  EXPECT_EQ(apps[0].icon, "image-x-generic");
  EXPECT_EQ(apps[1].id, FakeDesktop::kBetaId);
  EXPECT_EQ(apps[1].name, "Beta Viewer");
}

TEST(DesktopAppsTest, OtherTypesAndMissingFilesHaveNone) {
  EXPECT_TRUE(shell::ApplicationsForFile(WriteFile("other.bin", std::string("\0\1\2", 3))).empty());
  EXPECT_TRUE(shell::ApplicationsForFile(desktop->root() + "/files/gone.trace").empty());
  EXPECT_EQ(shell::ContentTypeOfFile(desktop->root() + "/files/gone.trace"), "");
  EXPECT_TRUE(shell::ApplicationsForFile("").empty());
}

TEST(DesktopLauncherTest, OpenWithStartsThatApplicationOnTheFile) {
  std::string file = WriteFile("it's $(x) ; y.trace", "trace");
  shell::DesktopLauncher launcher;
  ASSERT_TRUE(launcher.OpenWith(FakeDesktop::kBetaId, file));
  auto start = shell::testing::WaitForRecord(desktop->RecordOf("beta"));
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(start->arguments, std::vector<std::string>{file});
  EXPECT_FALSE(fs::exists(desktop->RecordOf("alpha")));
}

TEST(DesktopLauncherTest, UnknownApplicationOrNoFileManagerFail) {
  std::string file = WriteFile("a.trace", "trace");
  shell::DesktopLauncher launcher;
  EXPECT_FALSE(launcher.OpenWith("no-such-app.desktop", file));
  EXPECT_FALSE(launcher.OpenWith(FakeDesktop::kAlphaId, ""));
  // The private desktop's session bus address leads nowhere: the request
  // goes out and is refused once the main loop runs.
  bool refused = false;
  EXPECT_TRUE(launcher.ShowInFolder(file, [&] { refused = true; }));
  for (int wait = 0; !refused && wait < 2000; ++wait) {
    if (!g_main_context_iteration(nullptr, FALSE)) g_usleep(10'000);
  }
  EXPECT_TRUE(refused);
}

}  // namespace
