// The main window, TfrmSiteloreMain: the cached-sites frame above a strip
// with the buttons "Close" and "How to get rid of all these traces?". While
// it is created it runs the one scan of the URL cache under the progress
// splash (SplashWindow.h).
#pragma once

#include <QFrame>
#include <QIcon>
#include <QWidget>
#include <memory>

#include "ui/SplashWindow.h"

class QPushButton;
class TframeCachedSites;

// "Analyzing your computer, please wait..."
extern const char kAnalyzingMessage[];

class TfrmSiteloreMain : public QWidget {
  Q_OBJECT

 public:
  // Builds the window, hidden, and runs FormCreate, which scans under the
  // splash. An exception escaping FormCreate goes to the application's
  // error report, and the window is usable with what the frame holds.
  explicit TfrmSiteloreMain(QWidget* parent = nullptr);
  // Runs FormDestroy; an exception escaping it goes to the error report.
  ~TfrmSiteloreMain() override;
  TfrmSiteloreMain(const TfrmSiteloreMain&) = delete;
  TfrmSiteloreMain& operator=(const TfrmSiteloreMain&) = delete;

  QFrame* Panel1;
  QPushButton* Close;
  QPushButton* Button1;
  TframeCachedSites* frameSites;

  void FormCreate(QObject* Sender);
  void FormDestroy(QObject* Sender);
  void CloseClick(QObject* Sender);
  void Button1Click(QObject* Sender);

 protected:
  bool event(QEvent* event) override;

 private:
  void BuildControls();
  // Delivers a form event through the application's event dispatch.
  void SendFormEvent(int type);
};

// The program's icon, for the windows, the taskbar and the splash.
QIcon SiteloreIcon();
