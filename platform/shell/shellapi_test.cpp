#include <dirent.h>
#include <shellapi.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "platform/shell/DesktopLauncher.h"
#include "platform/shell/testing/FakeDesktop.h"
#include "platform/shell/testing/RecordingLauncher.h"
#include "platform/testing/TempDir.h"
#include "platform/wininet/UrlCacheService.h"

namespace {

namespace fs = std::filesystem;
using shell::LaunchRequest;
using shell::LaunchResult;

std::intptr_t Result(HINSTANCE instance) {
  return reinterpret_cast<std::intptr_t>(instance);
}

SHELLEXECUTEINFOA OpenRequest(const char* target) {
  SHELLEXECUTEINFOA info{};
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_DDEWAIT;
  info.lpVerb = "open";
  info.lpFile = target;
  info.nShow = SW_SHOWNORMAL;
  return info;
}

class ShellExecuteTest : public ::testing::Test {
 protected:
  shell::RecordingLauncher launcher;
  shell::ScopedLauncher scoped{launcher};
};

TEST_F(ShellExecuteTest, OpenHandsFileAndDirectoryToLauncher) {
  HINSTANCE result =
      ShellExecuteA(nullptr, "open", "/cache/A1/pic[1].jpg", "", "/cache/A1/", SW_SHOWNORMAL);
  EXPECT_GT(Result(result), 32);
  ASSERT_EQ(launcher.requests.size(), 1u);
  EXPECT_EQ(launcher.requests[0],
            (LaunchRequest{LaunchRequest::kOpen, "/cache/A1/pic[1].jpg", "/cache/A1/", {}}));
}

TEST_F(ShellExecuteTest, DefaultVerbsOpenOthersAreRefused) {
  for (const char* verb : {static_cast<const char*>(nullptr), "", "open", "Open", "OPEN"}) {
    EXPECT_GT(Result(ShellExecuteA(nullptr, verb, "x", nullptr, nullptr, SW_SHOWNORMAL)), 32);
  }
  EXPECT_EQ(launcher.requests.size(), 5u);
  launcher.requests.clear();
  for (const char* verb : {"print", "edit", "explore", "runas", "opened"}) {
    EXPECT_EQ(Result(ShellExecuteA(nullptr, verb, "x", nullptr, nullptr, SW_SHOWNORMAL)),
              SE_ERR_NOASSOC)
        << verb;
  }
  EXPECT_TRUE(launcher.requests.empty());
}

TEST_F(ShellExecuteTest, EmptyTargetOpensNothing) {
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", "", "", "/tmp", SW_SHOWNORMAL)), SE_ERR_FNF);
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", nullptr, "", "/tmp", SW_SHOWNORMAL)), SE_ERR_FNF);
  SHELLEXECUTEINFOA info = OpenRequest("");
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(ShellExecuteExA(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  EXPECT_EQ(Result(info.hInstApp), SE_ERR_FNF);
  EXPECT_TRUE(launcher.requests.empty());
}

TEST_F(ShellExecuteTest, ExOpensAndHandsOutNoProcess) {
  SHELLEXECUTEINFOA info = OpenRequest("http://www.brightmoor.example/tidewell/");
  info.hProcess = reinterpret_cast<HANDLE>(0x1234);
  ASSERT_TRUE(ShellExecuteExA(&info));
  EXPECT_GT(Result(info.hInstApp), 32);
  EXPECT_EQ(info.hProcess, nullptr);
  ASSERT_EQ(launcher.requests.size(), 1u);
  EXPECT_EQ(
      launcher.requests[0],
      (LaunchRequest{LaunchRequest::kOpen, "http://www.brightmoor.example/tidewell/", "", {}}));
}

TEST_F(ShellExecuteTest, ExRefusesMissingOrWrongSizedRecord) {
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(ShellExecuteExA(nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  SHELLEXECUTEINFOA info = OpenRequest("/a");
  info.cbSize = 60;
  EXPECT_FALSE(ShellExecuteExA(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  EXPECT_TRUE(launcher.requests.empty());
}

TEST_F(ShellExecuteTest, LauncherFailuresBecomeWindowsResults) {
  struct Case {
    LaunchResult launch;
    std::intptr_t instance;
    DWORD error;
  };
  for (Case c : {Case{LaunchResult::kFileNotFound, SE_ERR_FNF, ERROR_FILE_NOT_FOUND},
                 Case{LaunchResult::kPathNotFound, SE_ERR_PNF, ERROR_PATH_NOT_FOUND},
                 Case{LaunchResult::kNoHandler, SE_ERR_NOASSOC, ERROR_NO_ASSOCIATION},
                 Case{LaunchResult::kAccessDenied, SE_ERR_ACCESSDENIED, ERROR_ACCESS_DENIED},
                 Case{LaunchResult::kFailed, SE_ERR_OOM, ERROR_NOT_ENOUGH_MEMORY}}) {
    launcher.openResult = c.launch;
    EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", "/a", "", "", SW_SHOWNORMAL)), c.instance);
    SHELLEXECUTEINFOA info = OpenRequest("/a");
    SetLastError(ERROR_SUCCESS);
    EXPECT_FALSE(ShellExecuteExA(&info));
    EXPECT_EQ(GetLastError(), c.error);
    EXPECT_EQ(Result(info.hInstApp), c.instance);
  }
}

// A URL cache whose traces below "/view/" are written on demand, and whose
// "/view/gone" cannot be.
class OnDemandCache : public urlcache::Provider {
 public:
  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container) override { return nullptr; }
  urlcache::LocalFile Materialise(const std::string& path) override {
    asked.push_back(path);
    if (path.rfind("/view/", 0) != 0) return urlcache::LocalFile::kNotOurs;
    return path == "/view/gone" ? urlcache::LocalFile::kMissing : urlcache::LocalFile::kReady;
  }
  std::vector<std::string> asked;
};

TEST_F(ShellExecuteTest, ATraceIsWrittenOutBeforeItIsOpenedAndOneThatCannotBeIsMissing) {
  OnDemandCache cache;
  urlcache::SetProvider(&cache);
  EXPECT_GT(Result(ShellExecuteA(nullptr, "open", "/view/a.png", "", "/view/", SW_SHOWNORMAL)), 32);
  EXPECT_GT(Result(ShellExecuteA(nullptr, "open", "/cache/A1/b.png", "", "", SW_SHOWNORMAL)), 32);
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", "/view/gone", "", "/view/", SW_SHOWNORMAL)),
            SE_ERR_FNF);
  SHELLEXECUTEINFOA info = OpenRequest("/view/gone");
  SetLastError(ERROR_SUCCESS);
  EXPECT_FALSE(ShellExecuteExA(&info));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  urlcache::SetProvider(nullptr);
  EXPECT_EQ(cache.asked, (std::vector<std::string>{"/view/a.png", "/cache/A1/b.png", "/view/gone",
                                                   "/view/gone"}));
  ASSERT_EQ(launcher.requests.size(), 2u);
  EXPECT_EQ(launcher.requests[0].target, "/view/a.png");
  EXPECT_EQ(launcher.requests[1].target, "/cache/A1/b.png");
}

TEST(LooksLikeAddressTest, SchemesOnly) {
  for (const char* address :
       {"http://a/", "HTTPS://A", "mailto:x@y", "file:///tmp/a", "a+b.c-d:x"}) {
    EXPECT_TRUE(shell::LooksLikeAddress(address)) << address;
  }
  for (const char* other : {"", "/tmp/a:b", "c:\\x", "C:", "-x:y", "a b:c", "1ab:c", "pic.jpg"}) {
    EXPECT_FALSE(shell::LooksLikeAddress(other)) << other;
  }
}

// The real launcher, with a recording xdg-open first on PATH.
class DesktopLauncherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(scratch.path().empty());
    root = fs::canonical(scratch.path());
    fs::create_directories(root / "bin");
    record = (root / "xdg-open.record").string();
    ASSERT_TRUE(shell::testing::WriteRecordingProgram((root / "bin/xdg-open").string(), record));
    const char* path = ::getenv("PATH");
    oldPath = path != nullptr ? path : "";
    ::setenv("PATH", ((root / "bin").string() + ":" + oldPath).c_str(), 1);
  }
  void TearDown() override { ::setenv("PATH", oldPath.c_str(), 1); }

  fs::path MakeFile(const fs::path& folder, const std::string& name) {
    fs::create_directories(folder);
    std::ofstream(folder / name) << "GIF89a";
    return folder / name;
  }

  fixture::TempDir scratch;
  fs::path root;
  std::string record;
  std::string oldPath;
  shell::DesktopLauncher desktop;
  shell::ScopedLauncher scoped{desktop};
};

// The children of this process that are still around, zombies included.
int ChildCount() {
  int count = 0;
  DIR* proc = ::opendir("/proc");
  if (proc == nullptr) return -1;
  std::string self = std::to_string(::getpid());
  while (dirent* entry = ::readdir(proc)) {
    std::ifstream stat(std::string("/proc/") + entry->d_name + "/stat");
    std::string line;
    if (!std::getline(stat, line)) continue;
    // pid (comm) state ppid ...; comm may hold spaces and parentheses.
    size_t close = line.rfind(')');
    if (close == std::string::npos) continue;
    std::string rest = line.substr(close + 2);
    size_t space = rest.find(' ');
    if (space != std::string::npos &&
        rest.substr(space + 1, rest.find(' ', space + 1) - space - 1) == self) {
      ++count;
    }
  }
  ::closedir(proc);
  return count;
}

TEST_F(DesktopLauncherTest, HostileFileNameArrivesIntactInItsFolder) {
  fs::path folder = root / "cache $(touch pwned) 'A1'";
  fs::path file = MakeFile(folder, "-rf ; echo \"x\" $(touch pwned) `id`\nnext line.gif");
  std::string folderText = folder.string() + "/";
  int childrenBefore = ChildCount();
  HINSTANCE result =
      ShellExecuteA(nullptr, "open", file.c_str(), "", folderText.c_str(), SW_SHOWNORMAL);
  ASSERT_GT(Result(result), 32);
  EXPECT_EQ(ChildCount(), childrenBefore) << "the launcher is not left as our child";

  auto start = shell::testing::WaitForRecord(record);
  ASSERT_TRUE(start.has_value());
  ASSERT_EQ(start->arguments.size(), 1u);
  EXPECT_EQ(start->arguments[0], file.string());
  EXPECT_EQ(start->workingDirectory, folder.string());
  EXPECT_FALSE(fs::exists(root / "pwned"));
  EXPECT_FALSE(fs::exists(folder / "pwned"));
}

TEST_F(DesktopLauncherTest, RelativeNameWithLeadingDashIsOneArgument) {
  fs::path folder = root / "files";
  MakeFile(folder, "-n $(touch pwned);x");
  HINSTANCE result = ShellExecuteA(nullptr, nullptr, "-n $(touch pwned);x", nullptr, folder.c_str(),
                                   SW_SHOWNORMAL);
  ASSERT_GT(Result(result), 32);
  auto start = shell::testing::WaitForRecord(record);
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(start->arguments, std::vector<std::string>{"-n $(touch pwned);x"});
  EXPECT_EQ(start->workingDirectory, folder.string());
  EXPECT_FALSE(fs::exists(folder / "pwned"));
}

TEST_F(DesktopLauncherTest, AddressOpensFromCallersDirectory) {
  SHELLEXECUTEINFOA info = OpenRequest("http://www.brightmoor.example/tidewell/?a=1&b=$(x)");
  ASSERT_TRUE(ShellExecuteExA(&info));
  EXPECT_EQ(info.hProcess, nullptr);
  auto start = shell::testing::WaitForRecord(record);
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(start->arguments,
            std::vector<std::string>{"http://www.brightmoor.example/tidewell/?a=1&b=$(x)"});
  EXPECT_EQ(start->workingDirectory, fs::current_path().string());
}

TEST_F(DesktopLauncherTest, MissingFileFolderOrLauncherFailQuietly) {
  fs::path file = MakeFile(root / "files", "a.gif");
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", (root / "files/gone.gif").c_str(), "",
                                 (root / "files").c_str(), SW_SHOWNORMAL)),
            SE_ERR_FNF);
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", file.c_str(), "", (root / "nowhere").c_str(),
                                 SW_SHOWNORMAL)),
            SE_ERR_PNF);
  ::setenv("PATH", (root / "files").c_str(), 1);
  EXPECT_EQ(Result(ShellExecuteA(nullptr, "open", file.c_str(), "", "", SW_SHOWNORMAL)),
            SE_ERR_NOASSOC);
}

}  // namespace
