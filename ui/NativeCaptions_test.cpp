// The captions as the window manager reads them, on a real X server: every
// window's _NET_WM_NAME is exactly its own caption. Run under Xvfb.
#include <gtest/gtest.h>

#include <QMessageBox>
#include <QProcess>
#include <QTest>
#include <QTimer>

#include "ui/SiteloreAd.h"
#include "ui/SiteloreMain.h"
#include "ui/UiTestSupport.h"

namespace {

// The _NET_WM_NAME of `window`, read back from the X server.
QString NativeCaption(QWidget& window) {
  QProcess xprop;
  xprop.start(QStringLiteral("xprop"), {QStringLiteral("-id"), QString::number(window.winId()),
                                        QStringLiteral("-notype"), QStringLiteral("_NET_WM_NAME")});
  if (!xprop.waitForFinished(10000)) return QStringLiteral("<xprop did not answer>");
  // _NET_WM_NAME = "caption"
  const QString line = QString::fromUtf8(xprop.readAllStandardOutput()).trimmed();
  const qsizetype open = line.indexOf(QLatin1Char('"'));
  if (open < 0 || !line.endsWith(QLatin1Char('"'))) return line;
  return line.mid(open + 1, line.size() - open - 2);
}

class NativeCaptionsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(uitest::Application(), nullptr);
    ASSERT_EQ(QGuiApplication::platformName(), "xcb") << "run under an X server";
  }
  uitest::ScratchCache cache_{fixture::ProfileFixture{}};
};

TEST_F(NativeCaptionsTest, MainWindowAndDialogCarryTheirOwnCaptionsOnly) {
  TfrmSiteloreMain window;
  window.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
  EXPECT_EQ(NativeCaption(window).toStdString(), "Sitelore");

  TfrmAd dialog(&window);
  dialog.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
  EXPECT_EQ(NativeCaption(dialog).toStdString(), "How to get rid of all these files?");
}

TEST_F(NativeCaptionsTest, ErrorReportIsCaptionedWithTheTitle) {
  SetErrorReporter({});
  QString caption;
  int ticks = 0;
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
    if (box && box->windowHandle() && box->windowHandle()->isExposed()) {
      caption = NativeCaption(*box);
      box->accept();
    } else if (++ticks > 500) {
      closer.stop();
    }
  });
  closer.start(10);
  ShowException(QStringLiteral("Out of paper"));
  closer.stop();
  uitest::RecordReports();
  EXPECT_EQ(caption.toStdString(), "Sitelore");
}

}  // namespace
