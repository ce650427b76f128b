#include "ui/SiteloreApp.h"

#include <QTimer>
#include <memory>

#include "ui/SiteloreMain.h"

TSiteloreApplication::TSiteloreApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromLatin1(kApplicationTitle));
  setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
}

bool TSiteloreApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
  }
  return false;
}

int RunSitelore(int& argc, char** argv, const SiteloreHooks& hooks) {
  if (hooks.start) hooks.start();
  {
    TSiteloreApplication application(argc, argv);
    SetErrorReporter(hooks.report);
    // The installed desktop entry's id, which names the theme icon too.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.brightmoor.Sitelore"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QGuiApplication::desktopFileName(), SiteloreIcon()));
    {
      // FormCreate runs inside the constructor: the scan under the splash.
      TfrmSiteloreMain main;
      main.show();
      if (hooks.shown)
        QTimer::singleShot(0, &main, [&] { RunHandler([&] { hooks.shown(main); }); });
      QApplication::exec();
    }
    SetErrorReporter({});
    if (hooks.end) hooks.end();
  }
  return 0;
}
