// Runs in a program of its own: it installs a private desktop, which GIO
// reads once per process.
#include "ui/ShellContextMenu.h"

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QMenu>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <filesystem>
#include <fstream>

#include <gtest/gtest.h>

#include "platform/shell/testing/FakeDesktop.h"
#include "platform/shell/testing/RecordingLauncher.h"

namespace {

namespace fs = std::filesystem;
using shell::LaunchRequest;
using shell::testing::FakeDesktop;

FakeDesktop* desktop = nullptr;

class DesktopEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    desktop = new FakeDesktop();
    ASSERT_FALSE(desktop->root().empty());
    desktop->Activate();
    static int argc = 1;
    static char name[] = "ui_desktop_tests";
    static char* argv[] = {name, nullptr};
    if (QApplication::instance() == nullptr) new QApplication(argc, argv);
  }
  void TearDown() override {
    delete desktop;
    desktop = nullptr;
  }
};
const auto* const kEnvironment = ::testing::AddGlobalTestEnvironment(new DesktopEnvironment);

QString WriteFile(const std::string& name) {
  fs::path path = fs::path(desktop->root()) / "cache dir" / name;
  fs::create_directories(path.parent_path());
  std::ofstream(path, std::ios::binary) << "trace";
  return QString::fromStdString(path.string());
}

QString Folder(const QString& file) {
  return QString::fromStdString(fs::path(file.toStdString()).parent_path().string());
}

QAction* Find(QMenu& menu, const QString& text) {
  for (QAction* action : menu.actions()) {
    if (action->iconText() == text) return action;
    if (action->menu() != nullptr) {
      if (QAction* inner = Find(*action->menu(), text)) return inner;
    }
  }
  return nullptr;
}

class ShellContextMenuTest : public ::testing::Test {
 protected:
  void SetUp() override {
    window.move(100, 50);
    window.resize(300, 200);
    window.show();
  }
  void TearDown() override { SetShellMenuPresenter({}); }

  // Presents menus by choosing the entry `text` and remembers where.
  void Choose(const QString& text) {
    SetShellMenuPresenter([this, text](QMenu& menu, const QPoint& at) {
      ++shown;
      shownAt = at;
      return Find(menu, text);
    });
  }

  QWidget window;
  shell::RecordingLauncher launcher;
  shell::ScopedLauncher scoped{launcher};
  int shown = 0;
  QPoint shownAt;
};

TEST_F(ShellContextMenuTest, MenuOffersTheDesktopsCommands) {
  QString file = WriteFile("pic.trace");
  std::unique_ptr<QMenu> menu = BuildShellContextMenu(file);
  ASSERT_NE(menu, nullptr);
  QStringList top;
  for (QAction* action : menu->actions()) {
    if (!action->isSeparator()) top << action->iconText();
  }
  EXPECT_EQ(top, (QStringList{"Open", "Open With", "Show in Folder", "Copy Path"}));
  EXPECT_EQ(menu->defaultAction(), Find(*menu, "Open"));
  QAction* openWith = Find(*menu, "Open With");
  ASSERT_NE(openWith->menu(), nullptr);
  EXPECT_TRUE(openWith->isEnabled());
  QStringList apps;
  for (QAction* action : openWith->menu()->actions()) apps << action->iconText();
  apps.sort();
  EXPECT_EQ(apps, (QStringList{"Alpha Viewer", "Beta Viewer"}));
}

TEST_F(ShellContextMenuTest, FileWithoutApplicationsHasNoOpenWithChoices) {
  QString file = WriteFile("plain.unknown");
  std::unique_ptr<QMenu> menu = BuildShellContextMenu(file);
  ASSERT_NE(menu, nullptr);
  QAction* openWith = Find(*menu, "Open With");
  ASSERT_NE(openWith, nullptr);
  EXPECT_FALSE(openWith->isEnabled());
  EXPECT_EQ(Find(*menu, "Alpha Viewer"), nullptr);
}

TEST_F(ShellContextMenuTest, ChoosingAnApplicationStartsItOnTheFileAtTheConvertedPoint) {
  QString file = WriteFile("it's $(x); a.trace");
  Choose("Beta Viewer");
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_EQ(shown, 1);
  EXPECT_EQ(shownAt, window.mapToGlobal(QPoint(10, 20)));
  ASSERT_EQ(launcher.requests.size(), 1u);
  EXPECT_EQ(launcher.requests[0], (LaunchRequest{LaunchRequest::kOpenWith, file.toStdString(), "",
                                                 FakeDesktop::kBetaId}));

  // A second menu in a row, from the keyboard's negative point.
  Choose("Alpha Viewer");
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(-1, 5)));
  EXPECT_EQ(shownAt, window.mapToGlobal(QPoint(-1, 5)));
  ASSERT_EQ(launcher.requests.size(), 2u);
  EXPECT_EQ(launcher.requests[1].application, FakeDesktop::kAlphaId);

  launcher.openWithResult = false;
  EXPECT_FALSE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
}

TEST_F(ShellContextMenuTest, ChosenApplicationReallyStartsWithTheFile) {
  shell::SetLauncher(nullptr);  // the desktop launcher; the fake application records
  QString file = WriteFile("real start.trace");
  Choose("Alpha Viewer");
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(1, 1)));
  auto start = shell::testing::WaitForRecord(desktop->RecordOf("alpha"));
  ASSERT_TRUE(start.has_value());
  EXPECT_EQ(start->arguments, std::vector<std::string>{file.toStdString()});
}

TEST_F(ShellContextMenuTest, RemovedFileGivesNoMenu) {
  QString file = WriteFile("gone.trace");
  fs::remove(file.toStdString());
  Choose("Open");
  EXPECT_FALSE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_EQ(BuildShellContextMenu(file), nullptr);
  EXPECT_FALSE(ShowShellContextMenu(&window, QString(), QPoint(10, 20)));
  EXPECT_EQ(shown, 0);
  EXPECT_TRUE(launcher.requests.empty());
}

TEST_F(ShellContextMenuTest, DismissedMenuRunsNothing) {
  QString file = WriteFile("a.trace");
  SetShellMenuPresenter([](QMenu&, const QPoint&) -> QAction* { return nullptr; });
  EXPECT_FALSE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_TRUE(launcher.requests.empty());
}

TEST_F(ShellContextMenuTest, OpenUsesTheDefaultApplicationFromTheFilesFolder) {
  QString file = WriteFile("a.trace");
  Choose("Open");
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  ASSERT_EQ(launcher.requests.size(), 1u);
  EXPECT_EQ(
      launcher.requests[0],
      (LaunchRequest{LaunchRequest::kOpen, file.toStdString(), Folder(file).toStdString(), {}}));
  launcher.openResult = shell::LaunchResult::kNoHandler;
  EXPECT_FALSE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
}

TEST_F(ShellContextMenuTest, ShowInFolderWaitsForNoAnswerAndFallsBackOnlyOnARefusal) {
  QString file = WriteFile("a.trace");
  const LaunchRequest showItems{LaunchRequest::kShowInFolder, file.toStdString(), "", {}};
  const LaunchRequest openFolder{LaunchRequest::kOpen, Folder(file).toStdString(), "", {}};
  Choose("Show in Folder");
  // The command is done before the file manager answers.
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_EQ(launcher.requests, std::vector<LaunchRequest>{showItems});
  launcher.AnswerShowInFolder(true);
  EXPECT_EQ(launcher.requests, std::vector<LaunchRequest>{showItems});

  launcher.requests.clear();
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  launcher.AnswerShowInFolder(false);
  EXPECT_EQ(launcher.requests, (std::vector<LaunchRequest>{showItems, openFolder}));

  // A request that cannot be made opens the folder at once.
  launcher.requests.clear();
  launcher.showInFolderSent = false;
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_EQ(launcher.requests, (std::vector<LaunchRequest>{showItems, openFolder}));
  launcher.openResult = shell::LaunchResult::kFailed;
  EXPECT_FALSE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
}

TEST_F(ShellContextMenuTest, CopyPathPutsThePathOnTheClipboard) {
  QString file = WriteFile("a.trace");
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  Choose("Copy Path");
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), file);
  EXPECT_TRUE(launcher.requests.empty());
}

// The real modal menu, driven by the keyboard and by a click elsewhere.
TEST_F(ShellContextMenuTest, ModalMenuChoiceAndDismissal) {
  // Should a step below miss its menu, this closes it: a failure, not a hang.
  QTimer guard;
  QObject::connect(&guard, &QTimer::timeout, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) popup->close();
  });
  guard.start(10000);
  QString file = WriteFile("a.trace");
  QGuiApplication::clipboard()->setText(QStringLiteral("before"));
  QPoint popupAt;
  QTimer::singleShot(0, [&popupAt] {
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (menu == nullptr) return;
    popupAt = menu->pos();
    menu->setActiveAction(Find(*menu, "Copy Path"));
    QTest::keyClick(menu, Qt::Key_Return);
  });
  EXPECT_TRUE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_EQ(QGuiApplication::clipboard()->text(), file);
  EXPECT_EQ(popupAt, window.mapToGlobal(QPoint(10, 20)));

  QTimer::singleShot(0, [] {
    if (QWidget* popup = QApplication::activePopupWidget()) QTest::keyClick(popup, Qt::Key_Escape);
  });
  EXPECT_FALSE(ShowShellContextMenu(&window, file, QPoint(10, 20)));
  EXPECT_TRUE(launcher.requests.empty());
}

}  // namespace
