// The application: its title "Sitelore", its event dispatch that reports an
// exception escaping an event handler, and the start-up and shut-down order
// around the main window.
#pragma once

#include <QApplication>
#include <QString>
#include <functional>

#include "ui/ErrorReport.h"

class TfrmSiteloreMain;

class TSiteloreApplication : public QApplication {
  Q_OBJECT

 public:
  TSiteloreApplication(int& argc, char** argv);

  // Dispatches like QApplication; an exception escaping the handler is
  // reported and the event counts as not handled.
  bool notify(QObject* receiver, QEvent* event) override;
};

// What the program's entry lets its caller add around the fixed sequence.
struct SiteloreHooks {
  // Runs before the application and its window exist (loads the settings).
  std::function<void()> start;
  // Runs once the application exists, just before the main window is made
  // (and scans).
  std::function<void()> ready;
  // Runs after the windows are destroyed (saves the settings).
  std::function<void()> end;
  // Replaces the message box of the error report while the program runs.
  TErrorReporter report;
  // Runs from the message loop once the main window is shown.
  std::function<void(TfrmSiteloreMain&)> shown;
};

// The program: start hook, application, main window (scanning under the
// splash), message loop, window destroyed, end hook. The program takes no
// arguments: everything after argv[0] is ignored, and Qt is given the
// program's name alone (its platform stays selectable through
// QT_QPA_PLATFORM). Returns the exit code, 0.
int RunSitelore(int argc, char** argv, const SiteloreHooks& hooks);
