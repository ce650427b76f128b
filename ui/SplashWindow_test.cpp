#include "ui/SplashWindow.h"

#include <gtest/gtest.h>

#include <QFontMetrics>
#include <QLabel>
#include <QScreen>

#include "ui/DesignFont.h"
#include "ui/SiteloreMain.h"
#include "ui/UiTestSupport.h"

namespace {

class SplashTest : public ::testing::Test {
 protected:
  void SetUp() override { uitest::Application(); }
};

const QString kManyWords = QStringLiteral(
    "one two three four five six seven eight nine ten eleven twelve thirteen fourteen fifteen "
    "sixteen seventeen eighteen nineteen twenty");

TEST_F(SplashTest, HoldsTheMessageOnOneLine) {
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

TEST_F(SplashTest, WrapsWithinTheRightLimitOfTheScreen) {
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

TEST_F(SplashTest, IsCentredOnTheScreen) {
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

}  // namespace
