// The error report: an exception that escapes one of the program's event
// handlers is shown as a message box captioned "Sitelore" with the error's
// text, and the program goes on. Exceptions are caught where Qt hands control
// to the program (the application's event dispatch, and RunHandler around
// the handlers that Qt's signals call), because they must not unwind through
// Qt's own code; all of them end in ReportCurrentException.
#pragma once

#include <QString>
#include <functional>

// "Sitelore": the taskbar text and the caption of error reports.
extern const char kApplicationTitle[];

// The text an error report shows for `message`: the message with "."
// appended when its last character sorts after "."; an empty message stays
// empty.
QString ErrorReportText(const QString& message);

// Shows one error report: caption and text.
using TErrorReporter = std::function<void(const QString& caption, const QString& text)>;

// Installs how reports are shown; an empty reporter restores the default, a
// modal message box with an error icon and an OK button.
void SetErrorReporter(TErrorReporter reporter);

// Shows the error report for `message`.
void ShowException(const QString& message);

// Reports the exception being handled; call it from a catch block only.
// Never throws.
void ReportCurrentException() noexcept;

// Runs an event handler of the program; an exception escaping it is
// reported and goes no further.
template <typename Handler>
void RunHandler(Handler&& handler) noexcept {
  try {
    handler();
  } catch (...) {
    ReportCurrentException();
  }
}
