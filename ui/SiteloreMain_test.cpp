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

const QString kManyWords = QStringLiteral(
    "one two three four five six seven eight nine ten eleven twelve thirteen fourteen fifteen "
    "sixteen seventeen eighteen nineteen twenty");

TEST_F(MainTest, SplashHoldsTheMessageOnOneLine) {
  const QFontMetrics metrics(DesignFont(11));
  const QString message = QString::fromLatin1(kAnalyzingMessage);
  const int textWidth = metrics.horizontalAdvance(message);
  const int lineHeight = metrics.height();
  const TSplashMessageLayout layout = LayOutSplashMessage(metrics, message, 1024, {64, 64});
  EXPECT_EQ(layout.Label.left(), 56);
  EXPECT_EQ(layout.Label.height(), lineHeight);
  EXPECT_EQ(layout.Label.top(), 64 / 2 - lineHeight / 2);
  EXPECT_NEAR(layout.Label.width(), textWidth, 1);
  EXPECT_EQ(layout.ClientWidth, 56 + layout.Label.width() + 16);
  EXPECT_EQ(layout.ClientHeight, 64);
}

TEST_F(MainTest, SplashWrapsWithinTheRightLimitOfTheScreen) {
  const QFontMetrics metrics(DesignFont(11));
  const int lineHeight = metrics.height();
  // Screens up to 605 pixels wide: R = 238, lines at most 182 wide.
  for (int screen : {600, 605}) {
    const TSplashMessageLayout narrow = LayOutSplashMessage(metrics, kManyWords, screen, {64, 64});
    EXPECT_LE(narrow.Label.width(), 182) << screen;
    EXPECT_GT(narrow.Label.width(), 150) << screen;
    EXPECT_GE(narrow.Label.height(), 4 * lineHeight) << screen;
  }
  // 1024 pixels: R = 448, lines at most 392 wide.
  const TSplashMessageLayout wide = LayOutSplashMessage(metrics, kManyWords, 1024, {64, 64});
  EXPECT_LE(wide.Label.width(), 392);
  EXPECT_GT(wide.Label.width(), 182);
  EXPECT_EQ(wide.ClientWidth, 56 + wide.Label.width() + 16);
  // A text taller than the client area starts 10 pixels down, and the
  // client grows to keep 10 pixels below it.
  const TSplashMessageLayout tall =
      LayOutSplashMessage(metrics, kManyWords + " " + kManyWords, 600, {64, 64});
  ASSERT_GT(tall.Label.height(), 64);
  EXPECT_EQ(tall.Label.top(), 10);
  EXPECT_EQ(tall.ClientHeight, 10 + tall.Label.height() + 10);
  // A single word wider than the limit is not broken.
  const QString word(60, QLatin1Char('W'));
  const TSplashMessageLayout long_word = LayOutSplashMessage(metrics, word, 600, {64, 64});
  EXPECT_NEAR(long_word.Label.width(), metrics.horizontalAdvance(word), 1);
  EXPECT_EQ(long_word.Label.height(), lineHeight);
}

TEST_F(MainTest, SplashIsCentredOnTheScreen) {
  EXPECT_EQ(CentredPosition({100, 50}, QRect(0, 0, 1024, 768)), QPoint(462, 359));
  EXPECT_EQ(CentredPosition({101, 51}, QRect(0, 0, 1024, 768)), QPoint(462, 359));
  EXPECT_EQ(CentredPosition({301, 70}, QRect(0, 0, 600, 400)), QPoint(150, 165));

  auto splash = OpenSplash(SiteloreIcon(), QString::fromLatin1(kAnalyzingMessage));
  EXPECT_TRUE(splash->isVisible());
  EXPECT_FALSE(splash->isEnabled());
  EXPECT_TRUE(splash->windowFlags() & Qt::WindowStaysOnTopHint);
  EXPECT_EQ(splash->ClientSize().height(), 64);
  EXPECT_EQ(splash->MessageLabel->text(), kAnalyzingMessage);
  const QPoint client = splash->contentsRect().topLeft();
  EXPECT_EQ(splash->MessageLabel->x() - client.x(), 56);
  EXPECT_EQ(splash->ClientSize().width(), 56 + splash->MessageLabel->width() + 16);
  EXPECT_TRUE(splash->IconBox->isVisible());
  EXPECT_EQ(splash->IconBox->geometry(), QRect(client + QPoint(16, 16), QSize(32, 32)));
  const QRect screen = splash->screen()->geometry();
  EXPECT_EQ(splash->pos(), CentredPosition(splash->size(), screen));
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
  EXPECT_FALSE(window.Close->isDefault() || window.Close->autoDefault());
  EXPECT_FALSE(window.Button1->isDefault() || window.Button1->autoDefault());
  EXPECT_EQ(window.Close->nextInFocusChain(), window.Button1);

  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(window.frameSites->geometry(), QRect(0, 0, 522, 369));
  EXPECT_EQ(window.Panel1->geometry(), QRect(0, 369, 522, 36));
  EXPECT_EQ(window.frameSites->lbxSites->ItemIndex(), 0);
  EXPECT_EQ(window.frameSites->lbxMedia->Lines(), std::vector<std::string>{"movie[0].swf"});
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
