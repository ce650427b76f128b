// The application: its title "Sitelore", its one place that catches an
// exception escaping an event handler and reports it, and the start-up and
// shut-down order around the main window.
#pragma once

#include <QApplication>
#include <QString>
#include <functional>

class TfrmSiteloreMain;

// "Sitelore": the taskbar text and the caption of error reports.
extern const char kApplicationTitle[];

// The text an error report shows for `message`: the message with "."
// appended when its last character sorts after "."; an empty message stays
// empty.
QString ErrorReportText(const QString& message);

// Shows one error report: caption and text. The default is a modal message
// box with an error icon and an OK button.
using TErrorReporter = std::function<void(const QString& caption, const QString& text)>;

class TSiteloreApplication : public QApplication {
  Q_OBJECT

 public:
  TSiteloreApplication(int& argc, char** argv);

  // Dispatches like QApplication; an exception escaping the handler is
  // reported (ShowException) and the event counts as not handled.
  bool notify(QObject* receiver, QEvent* event) override;

  // Reports `message` as the error report does.
  void ShowException(const QString& message);

  // Replaces the message box; an empty reporter restores it.
  void SetErrorReporter(TErrorReporter reporter) { reporter_ = std::move(reporter); }

 private:
  TErrorReporter reporter_;
};

// What the program's entry lets its caller add around the fixed sequence.
struct SiteloreHooks {
  // Runs before the application and its window exist (loads the settings).
  std::function<void()> start;
  // Runs after the windows are destroyed (saves the settings).
  std::function<void()> end;
  // Replaces the message box of the error report (see TErrorReporter).
  TErrorReporter report;
  // Runs from the message loop once the main window is shown.
  std::function<void(TfrmSiteloreMain&)> shown;
};

// The program: start hook, application, main window (scanning under the
// splash), message loop, window destroyed, end hook. Returns the exit code,
// 0.
int RunSitelore(int& argc, char** argv, const SiteloreHooks& hooks);
