#include "ui/ErrorReport.h"

#include <QMessageBox>
#include <exception>

const char kApplicationTitle[] = "Sitelore";

namespace {

TErrorReporter& Reporter() {
  static TErrorReporter reporter;
  return reporter;
}

}  // namespace

QString ErrorReportText(const QString& message) {
  if (!message.isEmpty() && message.back() > QLatin1Char('.')) return message + QLatin1Char('.');
  return message;
}

void SetErrorReporter(TErrorReporter reporter) {
  Reporter() = std::move(reporter);
}

void ShowException(const QString& message) {
  const QString caption = QString::fromLatin1(kApplicationTitle);
  const QString text = ErrorReportText(message);
  if (Reporter()) {
    Reporter()(caption, text);
    return;
  }
  QMessageBox box(QMessageBox::Critical, caption, text, QMessageBox::Ok);
  box.exec();
}

void ReportCurrentException() noexcept {
  try {
    try {
      throw;
    } catch (const std::exception& error) {
      ShowException(QString::fromUtf8(error.what()));
    } catch (...) {
      ShowException(QStringLiteral("An unexpected error occurred"));
    }
  } catch (...) {
    // The report itself failed; there is nothing left to tell the user with.
  }
}
