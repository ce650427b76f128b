// The progress splash shown while the URL cache is scanned: the program's
// icon and a message, centred on the screen, on top of all windows, taking
// no input.
#pragma once

#include <QFrame>
#include <QIcon>
#include <QRect>
#include <QSize>
#include <QString>
#include <memory>

class QFontMetrics;
class QLabel;

// Where the splash's message goes: the label's box in client coordinates and
// the client size that holds it.
struct TSplashMessageLayout {
  QRect Label;
  int ClientWidth = 0;
  int ClientHeight = 0;
};

// Lays `Message` out for a splash with client area `Client` on a screen
// `ScreenWidth` pixels wide: word-wrapped from x 56 up to the right limit
// max(ScreenWidth / 2 - 64, 238), the box vertically centred (top 10 when
// the text is taller than the client area), the client widened to end 16
// pixels after the text. The client height stays unless the text is taller
// than the client area; then it grows to hold the text with equal margins.
TSplashMessageLayout LayOutSplashMessage(const QFontMetrics& Metrics, const QString& Message,
                                         int ScreenWidth, QSize Client);

// The top-left corner that centres a window of outer size `Outer` on
// `Screen`.
QPoint CentredPosition(QSize Outer, const QRect& Screen);

// The progress splash: icon and message, no caption, a thin frame, on top of
// all windows, taking no input.
class TSplashWindow : public QFrame {
  Q_OBJECT

 public:
  explicit TSplashWindow(QWidget* parent = nullptr);

  QLabel* IconBox;
  QLabel* MessageLabel;

  // The area inside the frame; children are placed relative to it.
  QSize ClientSize() const { return contentsRect().size(); }
  void SetClientSize(QSize size);

  // Shows `icon` in the icon box; a null icon leaves the box hidden.
  void SetIcon(const QIcon& icon);
  // Lays the message out for the screen the splash is on.
  void SetMessage(const QString& message);
  // Moves the splash to the centre of its screen.
  void CentreOnScreen();
};

// Builds the splash with `icon` and `message`, centres it, shows it and
// paints it at once. The caller destroys it.
std::unique_ptr<TSplashWindow> OpenSplash(const QIcon& icon, const QString& message);
