// The shared record when the store misbehaves or has company: damaged files,
// read-only folders, failing writes, racing and dying processes.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <string>
#include <vector>

#include "platform/registry/RegistryTestSupport.h"
#include "settings/Options.h"

namespace {

using regtest::ReadText;
using regtest::TempConfigHome;
using regtest::WriteText;

const std::string kHead = "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\r\n";

std::string Line(const std::string& name, DWORD number, const char* equals = "=") {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%08x", unsigned(number));
  return "\"" + name + "\"" + equals + "dword:" + digits + "\r\n";
}

// All eleven values in save order, from a record's fields.
std::string Lines(const TOptions& o, const char* equals = "=") {
  return Line("HistoryRemoveSecLevel", o.HistoryRemoveSecLevel, equals) +
         Line("SecLevel", o.SecLevel, equals) + Line("IEDetectPeriod", o.IEDetectPeriod, equals) +
         Line("IEAutoDetection", o.IEAutoDetection, equals) +
         Line("ShowConfirms", o.ShowConfirms, equals) + Line("AutoStart", o.AutoStart, equals) +
         Line("ClearOnStartUp", o.ClearOnStartUp, equals) + Line("RemoveAll", o.RemoveAll, equals) +
         Line("AutoCleanOnProgStartUp", o.AutoCleanOnProgStartUp, equals) +
         Line("RemoveHistory", o.RemoveHistory, equals) +
         Line("UnloadShell", o.UnloadShell, equals);
}

// Every field different from its default.
void SetAllOther(TOptions& o) {
  o.SecLevel = 4;
  o.HistoryRemoveSecLevel = 3;
  o.IEDetectPeriod = 60;
  o.AutoStart = false;
  o.ShowConfirms = false;
  o.IEAutoDetection = true;
  o.ClearOnStartUp = true;
  o.RemoveAll = true;
  o.AutoCleanOnProgStartUp = true;
  o.RemoveHistory = false;
  o.UnloadShell = true;
}

template <typename T>
void FlipOne(T& field, T one, T other) {
  field = field == one ? other : one;
}

// Turns each field that holds its value in `one` to its value in `other` and
// the other way round, whatever the other fields hold.
void Flip(TOptions& o, const TOptions& one, const TOptions& other) {
  FlipOne(o.SecLevel, one.SecLevel, other.SecLevel);
  FlipOne(o.HistoryRemoveSecLevel, one.HistoryRemoveSecLevel, other.HistoryRemoveSecLevel);
  FlipOne(o.IEDetectPeriod, one.IEDetectPeriod, other.IEDetectPeriod);
  FlipOne(o.AutoStart, one.AutoStart, other.AutoStart);
  FlipOne(o.ShowConfirms, one.ShowConfirms, other.ShowConfirms);
  FlipOne(o.IEAutoDetection, one.IEAutoDetection, other.IEAutoDetection);
  FlipOne(o.ClearOnStartUp, one.ClearOnStartUp, other.ClearOnStartUp);
  FlipOne(o.RemoveAll, one.RemoveAll, other.RemoveAll);
  FlipOne(o.AutoCleanOnProgStartUp, one.AutoCleanOnProgStartUp, other.AutoCleanOnProgStartUp);
  FlipOne(o.RemoveHistory, one.RemoveHistory, other.RemoveHistory);
  FlipOne(o.UnloadShell, one.UnloadShell, other.UnloadShell);
}

std::vector<std::string> LinesOf(const std::string& text) {
  std::vector<std::string> lines;
  for (std::size_t start = 0, end; (end = text.find('\n', start)) != std::string::npos;
       start = end + 1) {
    lines.push_back(text.substr(start, end - start));
  }
  return lines;
}

void LimitFileSize(rlim_t bytes) {
  rlimit limit{bytes, bytes};
  setrlimit(RLIMIT_FSIZE, &limit);
}

TEST(OptionsFaultTest, AFileThatCannotBeParsedSurvivesByteForByte) {
  TempConfigHome home;
  const std::string damaged = kHead + "\"SecLevel\"=dword:00000003\r\nSecLevel is 4 now\r\n";
  WriteText(home.StoreFile(), damaged);
  TOptions options;
  EXPECT_FALSE(options.Load());
  EXPECT_EQ(options.SecLevel, 2);

  OptionsStartHook();
  Options->SecLevel = 5;
  OptionsEndHook();
  EXPECT_EQ(ReadText(home.StoreFile()), damaged);
}

TEST(OptionsFaultTest, OtherKeysAndValuesSurviveASaveByteForByte) {
  TempConfigHome home;
  TOptions defaults;
  const std::string stored =
      "REGEDIT4\n"
      "; Tidewell's settings, kept by hand\n"
      "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\n" +
      Lines(defaults) +
      "\"LicenseKey\"=\"ABCD-\\\"EF\\\"\"\n"
      "\"Window\"=hex:10,00,\\\n"
      "  20,00\n"
      "@=\"\"\n"
      "\n"
      "[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell\\Recent]\n"
      "\"SecLevel\"=dword:00000009\n"
      "\"1\"=hex(2):43,3a,00";
  WriteText(home.StoreFile(), stored);
  OptionsStartHook();
  OptionsEndHook();
  EXPECT_EQ(ReadText(home.StoreFile()), stored);
}

TEST(OptionsFaultTest, TwoProcessesSavingAtTheSameMomentLoseNothing) {
  for (int round = 0; round < 10; ++round) {
    TempConfigHome home;
    TOptions defaults;
    WriteText(home.StoreFile(), kHead + Lines(defaults));
    regtest::Notices loaded;
    regtest::StartGate gate;
    auto saver = [&](auto change) {
      return regtest::Spawn([&, change] {
        TOptions options;
        if (!options.Load()) return 1;
        change(options);
        loaded.Send();
        gate.Wait();
        return options.Save() ? 0 : 2;
      });
    };
    pid_t first = saver([](TOptions& o) { o.SecLevel = 7; });
    pid_t second = saver([](TOptions& o) { o.IEDetectPeriod = 42; });
    ASSERT_TRUE(loaded.Receive(2));
    gate.Open();
    EXPECT_TRUE(regtest::ExitedWith(regtest::WaitFor(first), 0));
    EXPECT_TRUE(regtest::ExitedWith(regtest::WaitFor(second), 0));

    TOptions expected;
    expected.SecLevel = 7;
    expected.IEDetectPeriod = 42;
    EXPECT_EQ(ReadText(home.StoreFile()), kHead + Lines(expected)) << "round " << round;
  }
}

// The file size limit kills the saving process with SIGXFSZ while it writes
// the new file.
TEST(OptionsFaultTest, AProcessKilledWhileWritingLeavesTheOldFile) {
  TempConfigHome home;
  TOptions defaults;
  const std::string stored = kHead + Lines(defaults);
  WriteText(home.StoreFile(), stored);
  int status = regtest::InChild([&] {
    std::signal(SIGXFSZ, SIG_DFL);
    OptionsStartHook();
    SetAllOther(*Options);
    LimitFileSize(stored.size() / 2);
    OptionsEndHook();
    return 0;
  });
  ASSERT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGXFSZ) << status;
  EXPECT_EQ(ReadText(home.StoreFile()), stored);
}

// Killed at whatever point of a save it has reached, a process leaves a file
// that loads, with each value either as it was or as the save meant it.
TEST(OptionsFaultTest, AProcessKilledMidSaveLeavesOldOrNewValues) {
  TOptions before, after;
  SetAllOther(after);
  for (int round = 0; round < 5; ++round) {
    TempConfigHome home;
    WriteText(home.StoreFile(), kHead + Lines(before));
    regtest::Notices saved;
    pid_t child = regtest::Spawn([&] {
      for (;;) {
        TOptions options;
        options.Load();
        Flip(options, before, after);
        options.Save();
        saved.Send();
      }
      return 0;
    });
    ASSERT_TRUE(saved.Receive(2 + round));
    kill(child, SIGKILL);
    regtest::WaitFor(child);

    TOptions options;
    ASSERT_TRUE(options.Load()) << *ReadText(home.StoreFile());
    std::vector<std::string> found = LinesOf(Lines(options)), old = LinesOf(Lines(before)),
                             meant = LinesOf(Lines(after));
    for (std::size_t i = 0; i < found.size(); ++i) {
      EXPECT_TRUE(found[i] == old[i] || found[i] == meant[i]) << found[i];
    }
  }
}

TEST(OptionsFaultTest, AReadOnlyConfigFolderKeepsDefaultsAndWritesNothing) {
  if (geteuid() == 0) {
    GTEST_SKIP() << "root writes into read-only folders; FailedWritesAtExitEndNormally covers "
                    "failing writes for root";
  }
  TempConfigHome home;
  std::filesystem::permissions(
      home.Path(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  OptionsStartHook();
  TOptions defaults;
  EXPECT_EQ(Lines(*Options), Lines(defaults));
  OptionsEndHook();
  EXPECT_EQ(regtest::CountFiles(home.Path(), ""), 0);

  // A store that exists in a folder that turned read-only is read, not written.
  TempConfigHome other;
  TOptions stored;
  SetAllOther(stored);
  WriteText(other.StoreFile(), kHead + Lines(stored));
  TOptions options;
  ASSERT_TRUE(options.Load());  // leaves the lock file behind
  std::filesystem::permissions(
      other.Folder(), std::filesystem::perms::owner_read | std::filesystem::perms::owner_exec);
  EXPECT_TRUE(options.Load());
  EXPECT_EQ(Lines(options), Lines(stored));
  options.SecLevel = 1;
  EXPECT_FALSE(options.Save());
  EXPECT_EQ(ReadText(other.StoreFile()), kHead + Lines(stored));
}

// Under a file size limit only the writes that grow the file fail: the
// first value in save order is stored in short form, so writing it in full
// grows the file; the others are stored padded, so writing them shrinks it.
TEST(OptionsFaultTest, FailedWritesAtExitEndNormally) {
  TOptions stored, expected;
  SetAllOther(expected);
  const std::string shortFirst = "\"HistoryRemoveSecLevel\"=dword:2\r\n";
  const std::string padded = Lines(stored, "    =    ");
  const std::string full = Lines(expected);
  const std::string text = kHead + shortFirst + padded.substr(padded.find("\r\n") + 2);

  for (bool throughHooks : {false, true}) {
    TempConfigHome home;
    WriteText(home.StoreFile(), text);
    int status = regtest::InChild([&] {
      std::signal(SIGXFSZ, SIG_IGN);
      if (throughHooks) {
        OptionsStartHook();
        SetAllOther(*Options);
        LimitFileSize(text.size() + 3);
        OptionsEndHook();
        return Options == nullptr ? 0 : 1;
      }
      TOptions options;
      if (!options.Load()) return 2;
      SetAllOther(options);
      LimitFileSize(text.size() + 3);
      return options.Save() ? 3 : 0;
    });
    EXPECT_TRUE(regtest::ExitedWith(status, 0)) << status;
    EXPECT_EQ(ReadText(home.StoreFile()), kHead + shortFirst + full.substr(full.find("\r\n") + 2));
  }
}

}  // namespace
