#include "ui/SiteloreApp.h"

#include <gtest/gtest.h>

#include <QMessageBox>
#include <QPushButton>
#include <QStyle>
#include <QTest>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>

#include <sys/resource.h>
#include <unistd.h>

#include "platform/registry/RegistryTestSupport.h"
#include "settings/Options.h"
#include "ui/CachedSitesFrame.h"
#include "ui/ListBox.h"
#include "ui/SiteloreMain.h"
#include "ui/UiTestSupport.h"

namespace {

TEST(ErrorReportTextTest, AppendsAFullStopAfterCharactersSortingAfterIt) {
  EXPECT_EQ(ErrorReportText("Disk full"), "Disk full.");
  EXPECT_EQ(ErrorReportText("Done."), "Done.");
  EXPECT_EQ(ErrorReportText("Code 42"), "Code 42.");
  EXPECT_EQ(ErrorReportText("Why?"), "Why?.");  // '?' sorts after '.'
  EXPECT_EQ(ErrorReportText("path/"), "path/.");
  EXPECT_EQ(ErrorReportText(QString::fromUtf8("caf\xc3\xa9")), QString::fromUtf8("caf\xc3\xa9."));
  for (const char* unchanged : {"Stop!", "(none)", "a-", "x,", "\"quoted\"", ""})
    EXPECT_EQ(ErrorReportText(unchanged), unchanged) << unchanged;
}

// An object whose handler of one kind of event fails.
class Failing : public QObject {
 public:
  static QEvent::Type Type() {
    static const auto type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
  }
  bool event(QEvent* e) override {
    if (e->type() != Type()) return QObject::event(e);
    ++handled;
    if (handled == 1) throw std::runtime_error("Handler failed");
    if (handled == 2) throw 42;
    return true;
  }
  int handled = 0;
};

TEST(ErrorReportTest, AnExceptionEscapingAHandlerIsReportedAndTheProgramGoesOn) {
  TSiteloreApplication* application = uitest::Application();
  ASSERT_NE(application, nullptr) << "the test application must be a TSiteloreApplication";
  uitest::Reports().clear();
  Failing target;
  QEvent event(Failing::Type());
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
  EXPECT_FALSE(QCoreApplication::sendEvent(&target, &event));
  EXPECT_TRUE(QCoreApplication::sendEvent(&target, &event));
  // Posted events fail the same way inside the event loop.
  Failing posted;
  QCoreApplication::postEvent(&posted, new QEvent(Failing::Type()));
  QCoreApplication::sendPostedEvents(&posted);
  EXPECT_EQ(posted.handled, 1);

  ASSERT_EQ(uitest::Reports().size(), 3u);
  EXPECT_EQ(uitest::Reports()[0], std::make_pair(QString("Sitelore"), QString("Handler failed.")));
  EXPECT_EQ(uitest::Reports()[1].first, "Sitelore");
  EXPECT_FALSE(uitest::Reports()[1].second.isEmpty());
  EXPECT_EQ(uitest::Reports()[2].second, "Handler failed.");
}

TEST(ErrorReportTest, AnExceptionFromAClickHandlerIsReportedAndTheListGoesOn) {
  // Handlers called by Qt's signals are wired as the window wires them.
  ASSERT_NE(uitest::Application(), nullptr);
  uitest::Reports().clear();
  TListBox list;
  list.SetLines({"first", "second"});
  list.show();
  int clicks = 0;
  QObject::connect(&list, &TListBox::Click, [&] {
    RunHandler([&] {
      if (++clicks == 1) throw std::runtime_error("Click failed");
    });
  });
  for (int row : {0, 1}) {
    const QRect line = list.visualRect(list.model()->index(row, 0));
    QTest::mouseClick(list.viewport(), Qt::LeftButton, {}, line.center());
  }
  EXPECT_EQ(clicks, 2);
  EXPECT_EQ(list.ItemIndex(), 1);
  ASSERT_EQ(uitest::Reports().size(), 1u);
  EXPECT_EQ(uitest::Reports()[0].second, "Click failed.");
}

TEST(ErrorReportTest, TheDefaultReportIsAnErrorMessageBox) {
  ASSERT_NE(uitest::Application(), nullptr);
  SetErrorReporter({});
  QString caption, text;
  QMessageBox::Icon icon = QMessageBox::NoIcon;
  QMessageBox::StandardButtons buttons;
  // Closes the box as soon as it is up; gives up after two seconds.
  int ticks = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
      caption = box->windowTitle();
      text = box->text();
      icon = box->icon();
      buttons = box->standardButtons();
      box->accept();
    } else if (++ticks > 200) {
      closer.stop();
    }
  });
  closer.start(10);
  ShowException("Out of paper");
  closer.stop();
  uitest::RecordReports();
  EXPECT_EQ(caption, "Sitelore");
  EXPECT_EQ(text, "Out of paper.");
  EXPECT_EQ(icon, QMessageBox::Critical);
  EXPECT_EQ(buttons, QMessageBox::Ok);
}

// A run that has not ended after this long is killed instead of hanging
// the suite.
constexpr unsigned kChildSeconds = 30;

// RunSitelore makes its own application object, so each run happens in a
// child process of its own.
class RunTest : public ::testing::Test {
 protected:
  void SetUp() override {
    GTEST_FLAG_SET(death_test_style, "threadsafe");
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  }
  void TearDown() override {
    urlcache::SetProvider(nullptr);
    urlcache::SetUrlCacheProfile("");
  }

  // Runs the program with hooks that record the order of events; `act`
  // runs once the window is shown and must end the program. Exits with 0
  // when `check` accepts the record, else prints it and exits with 1.
  static void RunAndExit(const std::function<void(TfrmSiteloreMain&, QStringList&)>& act,
                         const std::function<bool(const QStringList&)>& check) {
    alarm(kChildSeconds);
    QStringList record;
    SiteloreHooks hooks;
    hooks.start = [&] { record << (QCoreApplication::instance() ? "start late" : "start"); };
    hooks.report = [&](const QString& caption, const QString& text) {
      record << "report " + caption + ": " + text;
    };
    hooks.shown = [&](TfrmSiteloreMain& window) {
      record << QString("shown %1 splashes %2")
                    .arg(window.isVisible() ? "visible" : "hidden")
                    .arg(QApplication::topLevelWidgets().size() - 1);
      QObject::connect(window.frameSites, &TframeCachedSites::AnalyzerFreed,
                       [&] { record << "analyzer freed"; });
      act(window, record);
    };
    hooks.end = [&] {
      record << (QApplication::topLevelWidgets().isEmpty() ? "end" : "end with windows");
    };
    int argc = 1;
    char name[] = "sitelore";
    char* argv[] = {name, nullptr};
    const int code = RunSitelore(argc, argv, hooks);
    record << QString("exit %1").arg(code);
    const bool ok = check(record);
    if (!ok) std::fprintf(stderr, "record: %s\n", qPrintable(record.join(" | ")));
    std::exit(ok ? 0 : 1);
  }
};

TEST_F(RunTest, CloseButtonShutsDownInOrder) {
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  EXPECT_EXIT(RunAndExit(
                  [](TfrmSiteloreMain& window, QStringList& record) {
                    record << QString::fromStdString(window.frameSites->lbxSites->Line(0));
                    QTest::mouseClick(window.Close, Qt::LeftButton);
                  },
                  [](const QStringList& record) {
                    return record == QStringList{"start",
                                                 "shown visible splashes 0",
                                                 "cdn.other.org:8080",
                                                 "analyzer freed",
                                                 "end",
                                                 "exit 0"};
                  }),
              ::testing::ExitedWithCode(0), "");
}

// Runs the program with a ready hook that records what exists when it runs;
// exits with 0 when it ran between the start hook and the window.
void RunWithReadyHookAndExit() {
  alarm(kChildSeconds);
  QStringList record;
  SiteloreHooks hooks;
  hooks.start = [&] { record << "start"; };
  hooks.ready = [&] {
    record << QString("ready: application %1, windows %2")
                  .arg(QCoreApplication::instance() ? "made" : "missing")
                  .arg(QApplication::topLevelWidgets().size());
  };
  hooks.shown = [&](TfrmSiteloreMain& window) {
    record << "shown";
    window.Close->click();
  };
  int argc = 1;
  char name[] = "sitelore";
  char* argv[] = {name, nullptr};
  RunSitelore(argc, argv, hooks);
  const QStringList expected{"start", "ready: application made, windows 0", "shown"};
  if (record != expected) std::fprintf(stderr, "record: %s\n", qPrintable(record.join(" | ")));
  std::exit(record == expected ? 0 : 1);
}

// The ready hook runs once the application exists and before the main
// window (and its scan) does.
TEST_F(RunTest, TheReadyHookRunsBetweenTheApplicationAndTheWindow) {
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  EXPECT_EXIT(RunWithReadyHookAndExit(), ::testing::ExitedWithCode(0), "");
}

TEST_F(RunTest, TitleBarCloseShutsDownInOrder) {
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  EXPECT_EXIT(RunAndExit(
                  [](TfrmSiteloreMain& window, QStringList&) {
                    // What the window system sends for the close box.
                    QCloseEvent close;
                    QCoreApplication::sendEvent(window.windowHandle(), &close);
                  },
                  [](const QStringList& record) {
                    return record == QStringList{"start", "shown visible splashes 0",
                                                 "analyzer freed", "end", "exit 0"};
                  }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(RunTest, EmptyCacheOpensAnEmptyWindow) {
  uitest::ScratchCache cache(fixture::ProfileFixture{});
  EXPECT_EXIT(RunAndExit(
                  [](TfrmSiteloreMain& window, QStringList& record) {
                    record << QString("sites %1").arg(window.frameSites->lbxSites->Count());
                    window.Close->click();
                  },
                  [](const QStringList& record) {
                    return record == QStringList{"start",   "shown visible splashes 0",
                                                 "sites 0", "analyzer freed",
                                                 "end",     "exit 0"};
                  }),
              ::testing::ExitedWithCode(0), "");
}

TEST_F(RunTest, ScanErrorIsReportedAndTheWindowStillShows) {
  uitest::ThrowingProvider failing;
  urlcache::SetProvider(&failing);
  EXPECT_EXIT(RunAndExit([](TfrmSiteloreMain& window, QStringList&) { window.Close->click(); },
                         [](const QStringList& record) {
                           return record ==
                                  QStringList{"start",
                                              "report Sitelore: The URL cache cannot be read.",
                                              "shown visible splashes 0",
                                              "analyzer freed",
                                              "end",
                                              "exit 0"};
                         }),
              ::testing::ExitedWithCode(0), "");
}

// Fails the walk like ThrowingProvider, after arranging for the message box
// of the report to be closed as a user would.
class ThrowingBehindABox : public urlcache::Provider {
 public:
  std::unique_ptr<urlcache::Cursor> Open(urlcache::Container) override {
    // The walk runs off the user-interface thread: the timer is made there.
    QMetaObject::invokeMethod(QCoreApplication::instance(), [] {
      auto* closer = new QTimer(QCoreApplication::instance());
      QObject::connect(closer, &QTimer::timeout, [closer] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
          std::fprintf(stderr, "box: %s\n", qPrintable(box->text()));
          box->accept();
          closer->deleteLater();
        }
      });
      closer->start(10);
    });
    throw std::runtime_error("Broken cache");
  }
};

// Runs the program with the message box as its error report; exits with 0
// when the window was shown.
void RunWithMessageBoxAndExit() {
  alarm(kChildSeconds);
  QStringList record;
  SiteloreHooks hooks;
  hooks.shown = [&](TfrmSiteloreMain& window) {
    record << (window.isVisible() ? "shown" : "hidden");
    window.Close->click();
  };
  int argc = 1;
  char name[] = "sitelore";
  char* argv[] = {name, nullptr};
  RunSitelore(argc, argv, hooks);
  std::exit(record == QStringList{"shown"} ? 0 : 1);
}

// Runs the program with options Qt would take for its own; exits with 0
// when none of them reached Qt.
void RunWithQtOptionsAndExit() {
  alarm(kChildSeconds);
  QStringList record;
  SiteloreHooks hooks;
  hooks.shown = [&](TfrmSiteloreMain& window) {
    record << QCoreApplication::arguments().join(' ')
           << (QGuiApplication::layoutDirection() == Qt::LeftToRight ? "left to right" : "mirrored")
           << QGuiApplication::platformName() << QApplication::style()->name();
    window.Close->click();
  };
  char name[] = "sitelore";
  char reverse[] = "-reverse";
  char platform[] = "-platform";
  char minimal[] = "minimal";
  char style[] = "-style=windows";
  char* argv[] = {name, reverse, platform, minimal, style, nullptr};
  int argc = 5;
  RunSitelore(argc, argv, hooks);
  const bool ok = record == QStringList{"sitelore", "left to right", "offscreen", "fusion"};
  if (!ok) std::fprintf(stderr, "record: %s\n", qPrintable(record.join(" | ")));
  std::exit(ok ? 0 : 1);
}

TEST_F(RunTest, CommandLineOptionsNeverReachQt) {
  uitest::ScratchCache cache(fixture::ProfileFixture{});
  EXPECT_EXIT(RunWithQtOptionsAndExit(), ::testing::ExitedWithCode(0), "");
}

TEST_F(RunTest, AfterTheMessageBoxOfAScanErrorTheWindowStillOpens) {
  ThrowingBehindABox failing;
  urlcache::SetProvider(&failing);
  EXPECT_EXIT(RunWithMessageBoxAndExit(), ::testing::ExitedWithCode(0), "box: Broken cache\\.");
}

// Runs the program with the settings hooks under a small file-size limit.
void RunUnderFileSizeLimitAndExit() {
  alarm(kChildSeconds);
  rlimit limit{2048, 2048};
  setrlimit(RLIMIT_FSIZE, &limit);
  SiteloreHooks hooks;
  hooks.start = OptionsStartHook;
  hooks.end = OptionsEndHook;
  hooks.shown = [](TfrmSiteloreMain& window) { window.Close->click(); };
  int argc = 1;
  char name[] = "sitelore";
  char* argv[] = {name, nullptr};
  std::exit(RunSitelore(argc, argv, hooks));
}

// Under ulimit -f the settings written at exit do not fit: the write fails
// like one on a full disk and the program still ends normally.
TEST_F(RunTest, AFileSizeLimitAtExitIsAFailedWriteNotADeath) {
  regtest::TempConfigHome home;
  const std::string padding = "; " + std::string(4000, '-') + "\r\n";
  regtest::WriteText(home.StoreFile(),
                     "REGEDIT4\r\n\r\n[HKEY_CURRENT_USER\\Software\\Brightmoor\\Tidewell]\r\n" +
                         padding + "\"AutoStart\"=dword:00000007\r\n");  // saved back as 1
  const std::string before = *regtest::ReadText(home.StoreFile());
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  EXPECT_EXIT(RunUnderFileSizeLimitAndExit(), ::testing::ExitedWithCode(0), "");
  EXPECT_EQ(regtest::ReadText(home.StoreFile()), before);
}

}  // namespace
