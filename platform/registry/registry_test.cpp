#include <windows.h>

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "platform/registry/RegistryTestSupport.h"

namespace {

using regtest::ReadText;
using regtest::TempConfigHome;
using regtest::WriteText;

constexpr char kTidewell[] = "Software\\Brightmoor\\Tidewell";
constexpr char kSection[] = "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]";

HKEY Open(const char* path = kTidewell, DWORD* disposition = nullptr) {
  HKEY key = nullptr;
  LSTATUS result = RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, REG_OPTION_NON_VOLATILE,
                                   KEY_ALL_ACCESS, nullptr, &key, disposition);
  return result == ERROR_SUCCESS ? key : nullptr;
}

LSTATUS SetDword(HKEY key, const char* name, DWORD number) {
  return RegSetValueExA(key, name, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&number), 4);
}

LSTATUS SetText(HKEY key, const char* name, const std::string& text) {
  return RegSetValueExA(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(text.c_str()),
                        DWORD(text.size() + 1));
}

TEST(RegistryTest, CreatingTheKeyCreatesItsFoldersAndFile) {
  TempConfigHome home;
  setenv("XDG_CONFIG_HOME", (home.Path() + "/not/yet").c_str(), 1);
  DWORD disposition = 0;
  HKEY key = Open(kTidewell, &disposition);
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(ReadText(home.Path() + "/not/yet/Brightmoor/Tidewell.reg"),
            "REGEDIT4\r\n\r\n" + std::string(kSection) + "\r\n");

  key = Open("software\\brightmoor\\tidewell\\Sub", &disposition);
  EXPECT_EQ(disposition, DWORD(REG_CREATED_NEW_KEY));
  RegCloseKey(key);
  key = Open(kTidewell, &disposition);
  EXPECT_EQ(disposition, DWORD(REG_OPENED_EXISTING_KEY));
  RegCloseKey(key);
  EXPECT_EQ(regtest::CountFiles(home.Path() + "/not/yet", ""), 1);
  EXPECT_EQ(regtest::CountFiles(home.Path() + "/not/yet/Brightmoor", "Tidewell.reg"), 1);
}

TEST(RegistryTest, QueriesFollowTheWindowsBufferProtocol) {
  TempConfigHome home;
  HKEY key = Open();
  ASSERT_EQ(SetDword(key, "SecLevel", 7), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, "Text", "longer than four"), ERROR_SUCCESS);

  DWORD type = 0, size = 0, number = 0;
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, nullptr, &size), ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_SZ));
  EXPECT_EQ(size, 17u);
  size = 4;
  EXPECT_EQ(RegQueryValueExA(key, "Text", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
            ERROR_MORE_DATA);
  EXPECT_EQ(size, 17u);
  EXPECT_EQ(number, 0u);
  size = 4;
  EXPECT_EQ(
      RegQueryValueExA(key, "seclevel", nullptr, &type, reinterpret_cast<BYTE*>(&number), &size),
      ERROR_SUCCESS);
  EXPECT_EQ(type, DWORD(REG_DWORD));
  EXPECT_EQ(number, 7u);
  EXPECT_EQ(RegQueryValueExA(key, "Missing", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(
      RegQueryValueExA(key, "Text", nullptr, nullptr, reinterpret_cast<BYTE*>(&number), nullptr),
      ERROR_INVALID_PARAMETER);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(key, "SecLevel", nullptr, nullptr, nullptr, nullptr),
            ERROR_INVALID_HANDLE);
  EXPECT_EQ(SetDword(nullptr, "SecLevel", 1), ERROR_INVALID_HANDLE);
  EXPECT_EQ(RegCloseKey(key), ERROR_INVALID_HANDLE);
}

TEST(RegistryTest, ValuesAreWrittenAsRegeditWouldExportThem) {
  TempConfigHome home;
  HKEY key = Open();
  const BYTE bytes[] = {0x00, 0x7f, 0xff};
  ASSERT_EQ(SetDword(key, "SecLevel", 2), ERROR_SUCCESS);
  ASSERT_EQ(SetText(key, nullptr, "C:\\Program Files\\\"Tidewell\""), ERROR_SUCCESS);
  ASSERT_EQ(RegSetValueExA(key, "Bin", 0, REG_BINARY, bytes, 3), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(key, "SECLEVEL", 0x1234abcd), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_EQ(ReadText(home.StoreFile()), "REGEDIT4\r\n\r\n" + std::string(kSection) +
                                            "\r\n"
                                            "\"SecLevel\"=dword:1234abcd\r\n"
                                            "@=\"C:\\\\Program Files\\\\\\\"Tidewell\\\"\"\r\n"
                                            "\"Bin\"=hex:00,7f,ff\r\n");

  key = Open();
  BYTE read[3] = {};
  DWORD size = sizeof read;
  EXPECT_EQ(RegQueryValueExA(key, "bin", nullptr, nullptr, read, &size), ERROR_SUCCESS);
  EXPECT_EQ(std::string(read, read + 3), std::string(bytes, bytes + 3));
  EXPECT_EQ(RegSetValueExA(key, "two\nlines", 0, REG_BINARY, bytes, 3), ERROR_INVALID_PARAMETER);
  RegCloseKey(key);
}

TEST(RegistryTest, KeepsOnlyProductKeysOfTheCurrentUser) {
  TempConfigHome home;
  HKEY key = nullptr;
  EXPECT_EQ(RegCreateKeyExA(HKEY_LOCAL_MACHINE, kTidewell, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr,
                            &key, nullptr),
            ERROR_ACCESS_DENIED);
  EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, kTidewell, 0, nullptr, REG_OPTION_VOLATILE,
                            KEY_ALL_ACCESS, nullptr, &key, nullptr),
            ERROR_ACCESS_DENIED);
  const std::pair<const char*, LSTATUS> refused[] = {
      {"", ERROR_ACCESS_DENIED},
      {"Software\\Brightmoor", ERROR_ACCESS_DENIED},
      {"Hardware\\Brightmoor\\Tidewell", ERROR_ACCESS_DENIED},
      {"Software\\..\\Tidewell", ERROR_ACCESS_DENIED},
      {"Software\\Brightmoor\\a/b", ERROR_ACCESS_DENIED},
      {"\\Software\\Brightmoor\\Tidewell", ERROR_INVALID_PARAMETER},
      {"Software\\\\Brightmoor\\Tidewell", ERROR_INVALID_PARAMETER},
      {"Software\\Brightmoor\\Tidewell\\a]\r\n[b", ERROR_INVALID_PARAMETER},
  };
  for (auto [path, expected] : refused) {
    EXPECT_EQ(RegCreateKeyExA(HKEY_CURRENT_USER, path, 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, &key,
                              nullptr),
              expected)
        << path;
    EXPECT_EQ(key, nullptr);
  }
  EXPECT_EQ(regtest::CountFiles(home.Path(), ""), 0);
}

TEST(RegistryTest, FindsTheStoreFromTheEnvironmentAtEachOpen) {
  TempConfigHome first;
  HKEY key = Open();
  SetDword(key, "SecLevel", 1);
  RegCloseKey(key);

  TempConfigHome second;
  key = Open();
  EXPECT_EQ(RegQueryValueExA(key, "SecLevel", nullptr, nullptr, nullptr, nullptr),
            ERROR_FILE_NOT_FOUND);
  RegCloseKey(key);

  unsetenv("XDG_CONFIG_HOME");
  std::string oldHome = getenv("HOME") ? getenv("HOME") : "";
  setenv("HOME", first.Path().c_str(), 1);
  WriteText(
      first.Path() + "/.config/Brightmoor/Tidewell.reg",
      "REGEDIT4\n[HKEY_CURRENT_USER\\" + std::string(kTidewell) + "]\n\"FromHome\"=dword:1\n");
  key = Open();
  EXPECT_EQ(RegQueryValueExA(key, "FromHome", nullptr, nullptr, nullptr, nullptr), ERROR_SUCCESS);
  RegCloseKey(key);
  setenv("HOME", oldHome.c_str(), 1);
}

TEST(RegistryTest, KeysOpenTwiceInOneProcessShareOneStore) {
  TempConfigHome home;
  HKEY first = Open();
  HKEY second = Open("Software\\Brightmoor\\Tidewell\\Sub");
  ASSERT_NE(second, nullptr);
  ASSERT_EQ(SetDword(first, "A", 1), ERROR_SUCCESS);
  ASSERT_EQ(SetDword(second, "B", 2), ERROR_SUCCESS);
  EXPECT_EQ(RegQueryValueExA(first, "B", nullptr, nullptr, nullptr, nullptr), ERROR_FILE_NOT_FOUND);
  RegCloseKey(first);
  RegCloseKey(second);
  EXPECT_EQ(
      ReadText(home.StoreFile()),
      "REGEDIT4\r\n\r\n" + std::string(kSection) +
          "\r\n\"A\"=dword:00000001\r\n\r\n"
          "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell\\Sub]\r\n\"B\"=dword:00000002\r\n");
}

TEST(RegistryTest, WritesThroughASymbolicLinkToItsTarget) {
  TempConfigHome home;
  std::string target = home.Path() + "/dotfiles/Tidewell.reg";
  WriteText(target, "REGEDIT4\n");
  std::filesystem::create_directories(home.Folder());
  std::filesystem::create_symlink(target, home.StoreFile());
  HKEY key = Open();
  ASSERT_EQ(SetDword(key, "SecLevel", 1), ERROR_SUCCESS);
  RegCloseKey(key);
  EXPECT_TRUE(std::filesystem::is_symlink(home.StoreFile()));
  EXPECT_EQ(ReadText(target),
            "REGEDIT4\n\n" + std::string(kSection) + "\n\"SecLevel\"=dword:00000001\n");
}

ino_t InodeOf(const std::string& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_ino;
}

// As in a registry, writing what is stored changes nothing: the file is not
// replaced, so a second hard link to it stays the same file.
TEST(RegistryTest, AWriteThatChangesNothingLeavesTheFileAlone) {
  TempConfigHome home;
  const std::string stored = "REGEDIT4\r\n\r\n" + std::string(kSection) +
                             "\r\n; kept as written\r\n\"SecLevel\"=dword:00000002\r\n";
  WriteText(home.StoreFile(), stored);
  std::filesystem::create_hard_link(home.StoreFile(), home.Path() + "/second-name");
  const ino_t before = InodeOf(home.StoreFile());
  HKEY key = Open();
  ASSERT_NE(key, nullptr);
  EXPECT_EQ(SetDword(key, "SecLevel", 2), ERROR_SUCCESS);
  EXPECT_EQ(InodeOf(home.StoreFile()), before);
  EXPECT_EQ(ReadText(home.StoreFile()), stored);

  EXPECT_EQ(SetDword(key, "SecLevel", 3), ERROR_SUCCESS);
  EXPECT_NE(InodeOf(home.StoreFile()), before);
  EXPECT_EQ(ReadText(home.Path() + "/second-name"), stored);

  // Compared with the file as it is now, not as it was read: a hand edit
  // meanwhile is written over with the key's value.
  std::string edited = stored;
  edited.replace(edited.find("00000002"), 8, "00000009");
  WriteText(home.StoreFile(), edited);
  EXPECT_EQ(SetDword(key, "SecLevel", 3), ERROR_SUCCESS);
  EXPECT_NE(ReadText(home.StoreFile())->find("dword:00000003"), std::string::npos);
  EXPECT_EQ(RegCloseKey(key), ERROR_SUCCESS);
}

}  // namespace
