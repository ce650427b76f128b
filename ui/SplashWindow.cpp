#include "ui/SplashWindow.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFontMetrics>
#include <QLabel>
#include <QPainter>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <algorithm>

#include "ui/DesignFont.h"

namespace {

// Splash design values, in pixels at 96 dots per inch.
constexpr int kSplashClient = 64;
constexpr int kIconLeft = 16;
constexpr int kIconSize = 32;
constexpr int kMessageLeft = 56;
constexpr int kMessageWidth = 238;
constexpr int kMessageRightMargin = 16;
constexpr int kScreenMargin = 64;
constexpr int kTallMessageTop = 10;
// How long the splash waits for the window system to put it on the screen.
constexpr int kExposeWaitMs = 1000;

QRect ScreenRect(const QWidget& widget) {
  QScreen* screen = widget.screen() ? widget.screen() : QGuiApplication::primaryScreen();
  return screen ? screen->geometry() : QRect(0, 0, 640, 480);
}

// The splash's icon box: its picture stretched to the box, drawn in full
// colour although the splash is disabled.
class TIconBox : public QLabel {
 public:
  using QLabel::QLabel;

 protected:
  void paintEvent(QPaintEvent*) override {
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.drawPixmap(rect(), pixmap());
  }
};

// Waits, without taking user input, until the window system shows `window`.
void WaitUntilExposed(QWidget& window) {
  QElapsedTimer clock;
  clock.start();
  while (!(window.windowHandle() && window.windowHandle()->isExposed()) &&
         clock.elapsed() < kExposeWaitMs) {
    QCoreApplication::processEvents(QEventLoop::ExcludeUserInputEvents, 20);
    QThread::msleep(2);
  }
}

}  // namespace

TSplashMessageLayout LayOutSplashMessage(const QFontMetrics& Metrics, const QString& Message,
                                         int ScreenWidth, QSize Client) {
  const int right = std::max(ScreenWidth / 2 - kScreenMargin, kMessageWidth);
  const QRect measured =
      Metrics.boundingRect(QRect(kMessageLeft, 0, right - kMessageLeft, 0),
                           Qt::AlignLeft | Qt::AlignTop | Qt::TextWordWrap, Message);
  const int w = measured.width();
  const int h = measured.height();
  int top = Client.height() / 2 - h / 2;
  if (top < 0) top = kTallMessageTop;
  TSplashMessageLayout layout;
  layout.Label = QRect(kMessageLeft, top, w, h);
  layout.ClientWidth = std::max(Client.width(), kMessageLeft + w + kMessageRightMargin);
  // A text taller than the client area makes the splash grow, keeping the
  // margin above it below it as well.
  layout.ClientHeight = top + h > Client.height() ? top + h + top : Client.height();
  return layout;
}

QPoint CentredPosition(QSize Outer, const QRect& Screen) {
  return {Screen.x() + Screen.width() / 2 - Outer.width() / 2,
          Screen.y() + Screen.height() / 2 - Outer.height() / 2};
}

TSplashWindow::TSplashWindow(QWidget* parent)
    : QFrame(parent, Qt::SplashScreen | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint |
                         Qt::WindowDoesNotAcceptFocus) {
  setObjectName(QStringLiteral("SplashWindow"));
  setAttribute(Qt::WA_ShowWithoutActivating);
  setFrameStyle(QFrame::WinPanel | QFrame::Raised);
  setFont(DesignFont(11));
  // The window's colours; disabled, it still paints in them.
  QPalette colours = palette();
  for (QPalette::ColorGroup group : {QPalette::Active, QPalette::Inactive, QPalette::Disabled}) {
    colours.setColor(group, QPalette::Window, palette().color(QPalette::Active, QPalette::Base));
    colours.setColor(group, QPalette::WindowText,
                     palette().color(QPalette::Active, QPalette::Text));
  }
  setPalette(colours);
  setAutoFillBackground(true);
  setEnabled(false);

  IconBox = new TIconBox(this);
  IconBox->setObjectName(QStringLiteral("IconBox"));
  IconBox->setScaledContents(true);
  IconBox->hide();
  MessageLabel = new QLabel(this);
  MessageLabel->setObjectName(QStringLiteral("MessageLabel"));
  MessageLabel->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
  MessageLabel->setWordWrap(true);

  SetClientSize({kSplashClient, kSplashClient});
  const QPoint origin = contentsRect().topLeft();
  IconBox->setGeometry(QRect(origin + QPoint(kIconLeft, kIconLeft), QSize(kIconSize, kIconSize)));
  MessageLabel->setGeometry(origin.x() + kMessageLeft, origin.y(), kMessageWidth,
                            MessageLabel->sizeHint().height());
}

void TSplashWindow::SetClientSize(QSize size) {
  setFixedSize(size + (this->size() - contentsRect().size()));
}

void TSplashWindow::SetIcon(const QIcon& icon) {
  if (icon.isNull()) return;
  IconBox->setPixmap(icon.pixmap(QSize(kIconSize, kIconSize)));
  IconBox->show();
}

void TSplashWindow::SetMessage(const QString& message) {
  const TSplashMessageLayout layout = LayOutSplashMessage(
      QFontMetrics(MessageLabel->font()), message, ScreenRect(*this).width(), ClientSize());
  MessageLabel->setGeometry(layout.Label.translated(contentsRect().topLeft()));
  SetClientSize({layout.ClientWidth, layout.ClientHeight});
  if (MessageLabel->text() != message) {
    MessageLabel->setText(message);
    repaint();
  }
}

void TSplashWindow::CentreOnScreen() {
  move(CentredPosition(size(), ScreenRect(*this)));
}

std::unique_ptr<TSplashWindow> OpenSplash(const QIcon& icon, const QString& message) {
  auto splash = std::make_unique<TSplashWindow>();
  splash->SetIcon(icon);
  splash->SetMessage(message);
  splash->CentreOnScreen();
  splash->show();
  WaitUntilExposed(*splash);
  splash->repaint();
  return splash;
}
