#include "ui/SiteloreMain.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTest>

#include "ui/CachedSitesFrame.h"
#include "ui/DesignFont.h"
#include "ui/ListBox.h"
#include "ui/UiTestSupport.h"

namespace {

class MainTest : public ::testing::Test {
 protected:
  void SetUp() override {
    uitest::Application();
    uitest::Reports().clear();
  }
  void TearDown() override {
    urlcache::SetProvider(nullptr);
    urlcache::SetUrlCacheProfile("");
  }
};

std::vector<TSplashWindow*> Splashes() {
  std::vector<TSplashWindow*> found;
  for (QWidget* w : QApplication::topLevelWidgets())
    if (auto* splash = qobject_cast<TSplashWindow*>(w)) found.push_back(splash);
  return found;
}

TEST_F(MainTest, BringWindowToFrontLeavesADisabledWindowAlone) {
  QWidget window;
  window.show();
  window.setWindowState(Qt::WindowMinimized);
  window.setEnabled(false);
  BringWindowToFront(&window, true);
  EXPECT_TRUE(window.windowState() & Qt::WindowMinimized);

  window.setEnabled(true);
  BringWindowToFront(&window, false);
  EXPECT_TRUE(window.windowState() & Qt::WindowMinimized);
  BringWindowToFront(&window, true);
  EXPECT_FALSE(window.windowState() & Qt::WindowMinimized);

  window.setWindowState(Qt::WindowMaximized);
  BringWindowToFront(&window, true);
  EXPECT_TRUE(window.windowState() & Qt::WindowMaximized);
}

TEST_F(MainTest, WindowLayoutAndStartUpOnTheWineCache) {
  urlcache::SetUrlCacheProfile(uitest::WineBasicPrefix());
  TfrmSiteloreMain window;
  EXPECT_FALSE(window.isVisible());
  EXPECT_TRUE(Splashes().empty());
  EXPECT_TRUE(uitest::Reports().empty());
  EXPECT_EQ(window.windowTitle(), "Sitelore");
  for (const char* name : {"Panel1", "Close", "Button1", "frameSites"})
    EXPECT_NE(window.findChild<QWidget*>(QLatin1String(name)), nullptr) << name;
  EXPECT_EQ(window.Close->text(), "Close");
  EXPECT_EQ(window.Button1->text(), "How to get rid of all these traces?");
  EXPECT_EQ(window.Close->geometry(), QRect(418, 0, 100, 33));
  EXPECT_EQ(window.Button1->geometry(), QRect(8, 0, 267, 33));
  EXPECT_TRUE(window.Button1->font().bold());
  EXPECT_EQ(window.Button1->font().pixelSize(), 11);
  EXPECT_FALSE(window.Close->isDefault() || window.Button1->isDefault());
  EXPECT_EQ(window.Close->nextInFocusChain(), window.Button1);

  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(window.frameSites->geometry(), QRect(0, 0, 522, 369));
  EXPECT_EQ(window.Panel1->geometry(), QRect(0, 369, 522, 36));
  EXPECT_EQ(window.frameSites->lbxSites->ItemIndex(), 0);
  EXPECT_EQ(window.frameSites->lbxMedia->Lines(), std::vector<std::string>{"movie[0].swf"});
}

TEST_F(MainTest, EnterAndSpacePressTheFocusedButtonOnly) {
  uitest::ScratchCache cache(fixture::ProfileFixture{});
  TfrmSiteloreMain window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  int closes = 0, ads = 0;
  // The buttons' own handlers would end the test's loop or open a dialog.
  QObject::disconnect(window.Close, &QPushButton::clicked, nullptr, nullptr);
  QObject::disconnect(window.Button1, &QPushButton::clicked, nullptr, nullptr);
  QObject::connect(window.Close, &QPushButton::clicked, [&] { ++closes; });
  QObject::connect(window.Button1, &QPushButton::clicked, [&] { ++ads; });

  for (Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Space}) {
    window.Close->setFocus();
    QTest::keyClick(window.Close, key);
    window.Button1->setFocus();
    QTest::keyClick(window.Button1, key);
  }
  EXPECT_EQ(closes, 3);
  EXPECT_EQ(ads, 3);
  // With the focus elsewhere Enter presses no button.
  window.frameSites->lbxSites->setFocus();
  QTest::keyClick(window.frameSites->lbxSites, Qt::Key_Return);
  EXPECT_EQ(closes + ads, 6);
}

TEST_F(MainTest, ScanErrorIsReportedAndTheSplashStillGoes) {
  uitest::ThrowingProvider failing;
  urlcache::SetProvider(&failing);
  TfrmSiteloreMain window;
  EXPECT_TRUE(Splashes().empty());
  ASSERT_EQ(uitest::Reports().size(), 1u);
  EXPECT_EQ(uitest::Reports()[0].first, "Sitelore");
  EXPECT_EQ(uitest::Reports()[0].second, "The URL cache cannot be read.");
  EXPECT_EQ(window.frameSites->lbxSites->Count(), 0);
  EXPECT_EQ(window.frameSites->lblTotal->text(), "");
}

}  // namespace
