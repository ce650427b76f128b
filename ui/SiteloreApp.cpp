#include "ui/SiteloreApp.h"

#include <QTimer>
#include <csignal>
#include <memory>
#include <string>

#include "ui/SiteloreMain.h"

TSiteloreApplication::TSiteloreApplication(int& argc, char** argv) : QApplication(argc, argv) {
  // No display name: Qt would append it to every caption on the window
  // manager ("How to get rid of all these files? — Sitelore").
  setApplicationName(QString::fromLatin1(kApplicationTitle));
}

bool TSiteloreApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (...) {
    ReportCurrentException();
  }
  return false;
}

int RunSitelore(int argc, char** argv, const SiteloreHooks& hooks) {
  // Past a file-size limit (ulimit -f) the settings write then fails with
  // EFBIG, as on a full disk, instead of the kernel ending the process.
  std::signal(SIGXFSZ, SIG_IGN);
  if (hooks.start) hooks.start();
  {
    // Qt sees the program's name only, so that none of its own options
    // (-reverse, -platform, -style...) reach it from the command line.
    std::string name = argc > 0 && argv[0] ? argv[0] : kApplicationTitle;
    int qtArgc = 1;
    char* qtArgv[] = {name.data(), nullptr};
    TSiteloreApplication application(qtArgc, qtArgv);
    SetErrorReporter(hooks.report);
    // The installed desktop entry's id, which names the theme icon too.
    QGuiApplication::setDesktopFileName(QStringLiteral("example.brightmoor.Sitelore"));
    QApplication::setWindowIcon(
        QIcon::fromTheme(QGuiApplication::desktopFileName(), SiteloreIcon()));
    if (hooks.ready) hooks.ready();
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
