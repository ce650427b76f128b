#include "settings/Options.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>

#include "platform/registry/RegistryTestSupport.h"

namespace {

using regtest::ReadText;
using regtest::TempConfigHome;
using regtest::WriteText;

const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\r\n";

std::string Line(const std::string& name, const std::string& digits) {
  return "\"" + name + "\"=dword:" + digits + "\r\n";
}

// The eleven defaults, as a first start adds them.
const std::string kDefaults = Line("HistoryRemoveSecLevel", "00000002") +
                              Line("SecLevel", "00000002") + Line("IEDetectPeriod", "00000005") +
                              Line("AutoCleanOnProgStartUp", "00000000") +
                              Line("RemoveAll", "00000000") + Line("IEAutoDetection", "00000000") +
                              Line("ShowConfirms", "00000001") + Line("AutoStart", "00000001") +
                              Line("ClearOnStartUp", "00000000") +
                              Line("RemoveHistory", "00000001") + Line("UnloadShell", "00000000");

ino_t InodeOf(const std::string& path) {
  struct stat status {};
  stat(path.c_str(), &status);
  return status.st_ino;
}

void ExpectDefaults(const TOptions& o) {
  EXPECT_EQ(o.SecLevel, 2);
  EXPECT_EQ(o.HistoryRemoveSecLevel, 2);
  EXPECT_EQ(o.IEDetectPeriod, 5);
  EXPECT_TRUE(o.AutoStart);
  EXPECT_TRUE(o.ShowConfirms);
  EXPECT_FALSE(o.IEAutoDetection);
  EXPECT_FALSE(o.ClearOnStartUp);
  EXPECT_FALSE(o.RemoveAll);
  EXPECT_FALSE(o.AutoCleanOnProgStartUp);
  EXPECT_TRUE(o.RemoveHistory);
  EXPECT_FALSE(o.UnloadShell);
}

TEST(OptionsTest, FirstStartCreatesTheKeyWithTheDefaultsInLoadOrder) {
  TempConfigHome home;
  {
    TOptions untouched;
    ExpectDefaults(untouched);
  }
  EXPECT_FALSE(std::filesystem::exists(home.Folder()));

  OptionsStartHook();
  ASSERT_NE(Options, nullptr);
  ExpectDefaults(*Options);
  EXPECT_EQ(ReadText(home.StoreFile()), kHead + kDefaults);

  ino_t before = InodeOf(home.StoreFile());
  // A second name keeps the old file alive, so its inode cannot be reused by the rewrite.
  std::filesystem::create_hard_link(home.StoreFile(), home.StoreFile() + ".old");
  OptionsEndHook();
  EXPECT_EQ(Options, nullptr);
  EXPECT_EQ(ReadText(home.StoreFile()), kHead + kDefaults);
  // Every value was written again with what the file holds: nothing replaced.
  EXPECT_EQ(InodeOf(home.StoreFile()), before);
}

TEST(OptionsTest, APartialKeyIsReadAndCompleted) {
  TempConfigHome home;
  WriteText(home.StoreFile(), kHead + Line("RemoveAll", "00000001") + Line("SecLevel", "00000003") +
                                  Line("UnloadShell", "00000001"));
  TOptions options;
  EXPECT_TRUE(options.Load());
  EXPECT_EQ(options.SecLevel, 3);
  EXPECT_TRUE(options.RemoveAll);
  EXPECT_TRUE(options.UnloadShell);
  EXPECT_EQ(options.HistoryRemoveSecLevel, 2);
  EXPECT_EQ(ReadText(home.StoreFile()),
            kHead + Line("RemoveAll", "00000001") + Line("SecLevel", "00000003") +
                Line("UnloadShell", "00000001") + Line("HistoryRemoveSecLevel", "00000002") +
                Line("IEDetectPeriod", "00000005") + Line("AutoCleanOnProgStartUp", "00000000") +
                Line("IEAutoDetection", "00000000") + Line("ShowConfirms", "00000001") +
                Line("AutoStart", "00000001") + Line("ClearOnStartUp", "00000000") +
                Line("RemoveHistory", "00000001"));
}

TEST(OptionsTest, NumbersAreReadAndWrittenAsTheRecordHoldsThem) {
  TempConfigHome home;
  std::string stored = kDefaults;
  auto replace = [&stored](const std::string& from, const std::string& to) {
    stored.replace(stored.find(from), from.size(), to);
  };
  replace(Line("AutoStart", "00000001"), Line("AutoStart", "00000007"));
  replace(Line("IEDetectPeriod", "00000005"), Line("IEDetectPeriod", "ffffffff"));
  replace(Line("SecLevel", "00000002"), Line("SecLevel", "0000012c"));
  WriteText(home.StoreFile(), kHead + stored);

  TOptions options;
  EXPECT_TRUE(options.Load());
  EXPECT_TRUE(options.AutoStart);
  EXPECT_EQ(options.IEDetectPeriod, -1);
  EXPECT_EQ(options.SecLevel, 44);  // the low 8 bits of 300
  EXPECT_TRUE(options.Save());

  // The Boolean goes back as 1; 300 is not replaced by the 44 the record holds.
  replace(Line("AutoStart", "00000007"), Line("AutoStart", "00000001"));
  EXPECT_EQ(ReadText(home.StoreFile()), kHead + stored);
}

// The load stops at the first value it cannot take as a 4-byte REG_DWORD;
// the save writes only the values the load read.
TEST(OptionsTest, AValueOfAnotherTypeStopsTheLoad) {
  for (const std::string bad :
       {"\"IEDetectPeriod\"=\"5\"\r\n", "\"IEDetectPeriod\"=hex:05,00,00,00\r\n",
        "\"IEDetectPeriod\"=hex(4):05\r\n"}) {
    TempConfigHome home;
    const std::string stored =
        kHead + Line("SecLevel", "00000003") + bad + Line("HistoryRemoveSecLevel", "00000004");
    WriteText(home.StoreFile(), stored);

    TOptions options;
    EXPECT_FALSE(options.Load()) << bad;
    EXPECT_EQ(options.HistoryRemoveSecLevel, 4);
    EXPECT_EQ(options.SecLevel, 3);
    EXPECT_EQ(options.IEDetectPeriod, 5);
    EXPECT_FALSE(options.UnloadShell);
    EXPECT_EQ(ReadText(home.StoreFile()), stored);  // nothing after it was added

    options.SecLevel = 9;
    options.UnloadShell = true;
    EXPECT_TRUE(options.Save());
    EXPECT_EQ(ReadText(home.StoreFile()), kHead + Line("SecLevel", "00000009") + bad +
                                              Line("HistoryRemoveSecLevel", "00000004"));
  }
}

TEST(OptionsTest, AValueChangedByAnotherProgramIsNotWrittenOver) {
  TempConfigHome home;
  WriteText(home.StoreFile(), kHead + kDefaults);
  TOptions options;
  ASSERT_TRUE(options.Load());

  // Meanwhile, Tidewell changes two values and turns one into text.
  TOptions tidewell;
  ASSERT_TRUE(tidewell.Load());
  tidewell.SecLevel = 7;
  tidewell.UnloadShell = true;
  ASSERT_TRUE(tidewell.Save());
  std::string changed = *ReadText(home.StoreFile());
  const std::string removeAll = Line("RemoveAll", "00000000");
  changed.replace(changed.find(removeAll), removeAll.size(), "\"RemoveAll\"=\"no\"\r\n");
  WriteText(home.StoreFile(), changed);

  options.AutoStart = false;
  EXPECT_TRUE(options.Save());
  std::string expected = changed;
  const std::string autoStart = Line("AutoStart", "00000001");
  expected.replace(expected.find(autoStart), autoStart.size(), Line("AutoStart", "00000000"));
  EXPECT_EQ(ReadText(home.StoreFile()), expected);
}

}  // namespace
