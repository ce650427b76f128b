#include "ui/SiteloreApp.h"

#include <QMessageBox>
#include <QTimer>
#include <exception>
#include <memory>

#include "ui/SiteloreMain.h"

const char kApplicationTitle[] = "Sitelore";

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

TSiteloreApplication::TSiteloreApplication(int& argc, char** argv) : QApplication(argc, argv) {
  setApplicationName(QString::fromLatin1(kApplicationTitle));
  setApplicationDisplayName(QString::fromLatin1(kApplicationTitle));
}

bool TSiteloreApplication::notify(QObject* receiver, QEvent* event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception& error) {
    ShowException(QString::fromUtf8(error.what()));
  } catch (...) {
    ShowException(QStringLiteral("An unexpected error occurred"));
  }
  return false;
}

void TSiteloreApplication::ShowException(const QString& message) {
  const QString caption = QString::fromLatin1(kApplicationTitle);
  const QString text = ErrorReportText(message);
  if (reporter_) {
    reporter_(caption, text);
    return;
  }
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
  box.exec();
}

int RunSitelore(int& argc, char** argv, const SiteloreHooks& hooks) {
  if (hooks.start) hooks.start();
  {
    TSiteloreApplication application(argc, argv);
    application.SetErrorReporter(hooks.report);
    QApplication::setWindowIcon(SiteloreIcon());
    {
      // FormCreate runs inside the constructor: the scan under the splash.
      TfrmSiteloreMain main;
      main.show();
      if (hooks.shown) QTimer::singleShot(0, &main, [&] { hooks.shown(main); });
      QApplication::exec();
    }
    if (hooks.end) hooks.end();
  }
  return 0;
}
