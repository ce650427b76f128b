// The store under faults: damaged files, writers that race, writes that fail
// and writers killed mid-write.
#include <windows.h>

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <csignal>
#include <string>

#include "platform/registry/RegistryTestSupport.h"

namespace {

using regtest::ReadText;
using regtest::TempConfigHome;
using regtest::WriteText;

constexpr char kTidewell[] = "Software\\Brightmoor\\Tidewell";
const std::string kStored =
    "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\r\n"
    "\"SecLevel\"=dword:00000002\r\n";

LSTATUS Open(HKEY& key) {
  key = nullptr;
  return RegCreateKeyExA(HKEY_CURRENT_USER, kTidewell, 0, nullptr, REG_OPTION_NON_VOLATILE,
                         KEY_ALL_ACCESS, nullptr, &key, nullptr);
}

LSTATUS SetDword(HKEY key, const std::string& name, DWORD number) {
  return RegSetValueExA(key, name.c_str(), 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
}

DWORD GetDword(HKEY key, const char* name) {
  DWORD number = 0, size = 4;
  RegQueryValueExA(key, name, nullptr, nullptr, reinterpret_cast<BYTE*>(&number), &size);
  return number;
}

// Temporary files that writers left in the store's folder.
int LeftTempFiles(const TempConfigHome& home) {
  return regtest::CountFiles(home.Folder(), ".Tidewell.reg.") -
         regtest::CountFiles(home.Folder(), ".Tidewell.reg.lock");
}

void LimitFileSize(rlim_t bytes) {
  rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(RegistryFaultTest, AFileThatCannotBeParsedIsRefusedAndKept) {
  const std::string damaged[] = {
      "REGEDIT4\r\n[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\r\n\"SecLevel\"=dword:"
      "zz\r\n",
      "Tidewell settings\n",
      "",
  };
  for (const std::string& text : damaged) {
    TempConfigHome home;
    WriteText(home.StoreFile(), text);
    HKEY key;
    EXPECT_EQ(Open(key), ERROR_BADDB);
    EXPECT_EQ(key, nullptr);
    EXPECT_EQ(ReadText(home.StoreFile()), text);
  }
}

TEST(RegistryFaultTest, AStoreThatIsNotAFileIsRefused) {
  TempConfigHome home;
  std::filesystem::create_directories(home.StoreFile());
  HKEY key;
  EXPECT_EQ(Open(key), ERROR_ACCESS_DENIED);

  TempConfigHome other;
  WriteText(other.Folder(), "a file where the folder should be");
  EXPECT_EQ(Open(key), ERROR_PATH_NOT_FOUND);
  EXPECT_EQ(ReadText(other.Folder()), "a file where the folder should be");
}

TEST(RegistryFaultTest, WritersInTwoProcessesLoseNothing) {
  TempConfigHome home;
  regtest::StartGate gate;
  auto writer = [&gate](char prefix) {
    return [&gate, prefix] {
      gate.Wait();
      for (DWORD i = 0; i < 40; ++i) {
        HKEY key;
        if (Open(key) != ERROR_SUCCESS) return 1;
        if (SetDword(key, prefix + std::to_string(i), i) != ERROR_SUCCESS) return 2;
        RegCloseKey(key);
      }
      return 0;
    };
  };
  pid_t first = regtest::Spawn(writer('A'));
  pid_t second = regtest::Spawn(writer('B'));
  gate.Open();
  EXPECT_TRUE(regtest::ExitedWith(regtest::WaitFor(first), 0));
  EXPECT_TRUE(regtest::ExitedWith(regtest::WaitFor(second), 0));

  HKEY key;
  ASSERT_EQ(Open(key), ERROR_SUCCESS);
  for (DWORD i = 0; i < 40; ++i) {
    for (char prefix : {'A', 'B'}) {
      std::string name = prefix + std::to_string(i);
      EXPECT_EQ(RegQueryValueExA(key, name.c_str(), nullptr, nullptr, nullptr, nullptr),
                ERROR_SUCCESS)
          << name;
    }
  }
  RegCloseKey(key);
}

// The file size limit stops the write of the new file half way: the kernel
// kills the writer with SIGXFSZ in the middle of writing it.
TEST(RegistryFaultTest, AWriterKilledMidWriteLeavesTheOldFile) {
  TempConfigHome home;
  WriteText(home.StoreFile(), kStored);
  int status = regtest::InChild([] {
    std::signal(SIGXFSZ, SIG_DFL);
    HKEY key;
    if (Open(key) != ERROR_SUCCESS) return 1;
    LimitFileSize(kStored.size() / 2);
    SetDword(key, "SecLevel", 3);
    return 2;
  });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_EQ(ReadText(home.StoreFile()), kStored);
  EXPECT_EQ(LeftTempFiles(home), 1);

  HKEY key;
  ASSERT_EQ(Open(key), ERROR_SUCCESS);
  EXPECT_EQ(LeftTempFiles(home), 0);
  EXPECT_EQ(GetDword(key, "SecLevel"), 2u);
  RegCloseKey(key);
}

// Works as root too: the file size limit binds every user.
TEST(RegistryFaultTest, AFailedWriteChangesNeitherTheFileNorTheKey) {
  TempConfigHome home;
  WriteText(home.StoreFile(), kStored);
  int status = regtest::InChild([] {
    std::signal(SIGXFSZ, SIG_IGN);
    HKEY key;
    if (Open(key) != ERROR_SUCCESS) return 1;
    LimitFileSize(kStored.size() / 2);
    if (SetDword(key, "SecLevel", 3) != ERROR_DISK_FULL) return 2;
    if (GetDword(key, "SecLevel") != 2) return 3;
    return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 4;
  });
  EXPECT_TRUE(regtest::ExitedWith(status, 0)) << status;
  EXPECT_EQ(ReadText(home.StoreFile()), kStored);
  EXPECT_EQ(LeftTempFiles(home), 0);
}

TEST(RegistryFaultTest, AReadOnlyFolderRefusesNewStores) {
  if (geteuid() == 0) GTEST_SKIP() << "root writes into read-only folders";
  TempConfigHome home;
  std::filesystem::permissions(
      home.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  HKEY key;
  EXPECT_EQ(Open(key), ERROR_ACCESS_DENIED);
  EXPECT_FALSE(std::filesystem::exists(home.Folder()));
}

// A FIFO would block the open for good, while the lock is held.
TEST(RegistryFaultTest, AFifoInPlaceOfTheFileIsRefusedWithoutBlocking) {
  TempConfigHome home;
  std::filesystem::create_directories(home.Folder());
  ASSERT_EQ(mkfifo(home.StoreFile().c_str(), 0600), 0);
  const int status = regtest::InChild([] {
    alarm(10);
    HKEY key;
    return Open(key) == ERROR_ACCESS_DENIED && key == nullptr ? 0 : 1;
  });
  EXPECT_TRUE(regtest::ExitedWith(status, 0)) << status;
  EXPECT_TRUE(std::filesystem::is_fifo(home.StoreFile()));
}

// A link whose target is missing (a volume not mounted, a dotfile not yet
// checked out) is kept: nothing is created at its target or in its place.
TEST(RegistryFaultTest, ADanglingLinkIsKeptAndWritesAreRefused) {
  for (const char* target : {"missing-folder/Tidewell.reg", "missing.reg", "Tidewell.reg"}) {
    TempConfigHome home;
    std::filesystem::create_directories(home.Folder());
    std::filesystem::create_symlink(target, home.StoreFile());
    HKEY key;
    EXPECT_EQ(Open(key), ERROR_PATH_NOT_FOUND) << target;
    EXPECT_TRUE(std::filesystem::is_symlink(home.StoreFile()));
    EXPECT_EQ(std::filesystem::read_symlink(home.StoreFile()), target);
    EXPECT_EQ(regtest::CountFiles(home.Folder(), ""), 2) << "only the link and the lock file";
  }
}

// Runs `body` in a child that may read the config folder but not write in
// it: as an unprivileged user when run as root, else with the folder made
// read-only.
int InChildWithoutWriteAccess(const TempConfigHome& home, const std::function<int()>& body) {
  namespace fs = std::filesystem;
  const bool root = geteuid() == 0;
  if (root) {
    for (const std::string& folder : {home.Path(), home.Folder()})
      fs::permissions(folder, fs::perms::owner_all | fs::perms::group_read | fs::perms::group_exec |
                                  fs::perms::others_read | fs::perms::others_exec);
  } else {
    fs::permissions(home.Folder(), fs::perms::owner_read | fs::perms::owner_exec);
  }
  const int status = regtest::InChild([&] {
    if (root && (setgid(65534) != 0 || setuid(65534) != 0)) return 99;
    return body();
  });
  fs::permissions(home.Folder(), fs::perms::owner_all);
  return status;
}

TEST(RegistryFaultTest, AReadOnlyFolderStillReads) {
  TempConfigHome home;
  WriteText(home.StoreFile(), kStored);
  std::filesystem::permissions(home.StoreFile(), std::filesystem::perms::owner_read |
                                                     std::filesystem::perms::owner_write |
                                                     std::filesystem::perms::others_read);
  const int status = InChildWithoutWriteAccess(home, [] {
    HKEY key;
    if (Open(key) != ERROR_SUCCESS) return 1;
    if (GetDword(key, "SecLevel") != 2) return 2;
    if (SetDword(key, "SecLevel", 2) != ERROR_SUCCESS) return 3;  // changes nothing
    if (SetDword(key, "SecLevel", 3) != ERROR_ACCESS_DENIED) return 4;
    if (GetDword(key, "SecLevel") != 2) return 5;
    return RegCloseKey(key) == ERROR_SUCCESS ? 0 : 6;
  });
  EXPECT_TRUE(regtest::ExitedWith(status, 0)) << status;
  EXPECT_EQ(ReadText(home.StoreFile()), kStored);
  EXPECT_EQ(regtest::CountFiles(home.Folder(), ".Tidewell.reg.lock"), 0);
}

}  // namespace
