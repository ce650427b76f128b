// sitelore-window-bench: starts Sitelore's window, as the program does, on
// the WinINet containers of one user folder (Qt's offscreen platform unless
// QT_QPA_PLATFORM says otherwise) and measures what the start-up costs the
// user: the longest gap between ticks of a 1 ms timer on the user-interface
// thread from the moment the splash is shown (the scan starts) until the
// window is shown and painted, and the process's peak resident memory
// (VmHWM). The time from the application's creation to the splash, in which
// no window of the program is on screen yet, is given apart. Every run is a
// fresh process, as at program start; the table gives the medians and the
// spread.
//
//   sitelore-window-bench [--runs=N] USERFOLDER   (default 10 runs)
//   sitelore-window-bench --once USERFOLDER       (one run, one line of numbers)
//   sitelore-window-bench --gaps USERFOLDER       (one run; every gap over 5 ms
//                                                  and every window shown or
//                                                  hidden, with its time)
//
// The settings record is neither read nor written.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QPushButton>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "platform/sources/BrowserProvider.h"
#include "ui/CachedSitesFrame.h"
#include "ui/ListBox.h"
#include "ui/SiteloreApp.h"
#include "ui/SiteloreMain.h"

namespace {

constexpr int kDefaultRuns = 10;
constexpr int kTickMs = 1;
constexpr double kStallGoalMs = 30;
constexpr double kPeakGoalMb = 80;
constexpr double kListedGapMs = 5;

// A "VmXXX:   1234 kB" line of /proc/self/status, in kB; 0 when missing.
long StatusKb(const char* field) {
  std::ifstream status("/proc/self/status");
  std::string line;
  const std::size_t length = std::strlen(field);
  while (std::getline(status, line))
    if (line.compare(0, length, field) == 0 && line.size() > length && line[length] == ':')
      return std::atol(line.c_str() + length + 1);
  return 0;
}

// The longest time the user-interface thread went without serving its timer
// once the first window (the splash) was shown: ticks are asked for every
// millisecond, so a gap longer than that is time in which no event (paint,
// window manager, timer) was handled.
class StallClock : public QObject {
 public:
  void Start() {
    clock_.start();
    last_ = 0;
    QCoreApplication::instance()->installEventFilter(this);
    auto* timer = new QTimer(QCoreApplication::instance());
    timer->setTimerType(Qt::PreciseTimer);
    timer->setInterval(kTickMs);
    QObject::connect(timer, &QTimer::timeout, [this] { Tick(); });
    timer->start();
    timer_ = timer;
  }

  void Stop() {
    Tick();
    timer_->stop();
  }

  double LongestGapMs() const { return longest_ / 1e6; }
  double ElapsedMs() const { return last_ / 1e6; }
  // From Start to the first window shown; negative while none was.
  double FirstWindowMs() const { return firstWindow_ / 1e6; }

  struct Gap {
    double endMs, lengthMs;
  };
  const std::vector<Gap>& ListedGaps() const { return listed_; }

  // Windows shown and hidden, with the time, in order.
  struct Mark {
    double atMs;
    std::string what;
  };
  const std::vector<Mark>& Marks() const { return marks_; }

 protected:
  bool eventFilter(QObject* watched, QEvent* event) override {
    const bool shown = event->type() == QEvent::Show, hidden = event->type() == QEvent::Hide;
    if (!(shown || hidden) || !watched->isWidgetType() ||
        !static_cast<QWidget*>(watched)->isWindow())
      return false;
    const qint64 now = clock_.nsecsElapsed();
    if (shown && firstWindow_ < 0) firstWindow_ = now;
    marks_.push_back({now / 1e6, std::string(shown ? "shown: " : "hidden: ") +
                                     watched->metaObject()->className()});
    return false;
  }

 private:
  void Tick() {
    const qint64 now = clock_.nsecsElapsed();
    if (firstWindow_ >= 0) longest_ = std::max(longest_, now - std::max(last_, firstWindow_));
    if ((now - last_) / 1e6 > kListedGapMs) listed_.push_back({now / 1e6, (now - last_) / 1e6});
    last_ = now;
  }

  QElapsedTimer clock_;
  QTimer* timer_ = nullptr;
  qint64 last_ = 0;
  qint64 longest_ = 0;
  qint64 firstWindow_ = -1;
  std::vector<Gap> listed_;
  std::vector<Mark> marks_;
};

struct Run {
  double stallMs = 0;
  double splashMs = 0;
  double shownMs = 0;
  double peakMb = 0;
  double heldMb = 0;
  int sites = 0;
};

// Qt's notes on the offscreen platform (no runtime folder, size hints) are
// not the measurement's business; its criticals still show.
void QuietQtNotes(QtMsgType type, const QMessageLogContext& /*context*/, const QString& message) {
  if (type == QtCriticalMsg || type == QtFatalMsg)
    std::fprintf(stderr, "%s\n", qPrintable(message));
}

// One start-up of the window on `userFolder`, closed as soon as it is shown.
int RunOnce(const std::string& userFolder, bool listGaps) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  qInstallMessageHandler(QuietQtNotes);
  // The WinINet containers of the folder alone: its home holds no browser
  // profile.
  const auto machine = sources::MakeMachineProvider(sources::DiscoveryRoots{userFolder, "", ""},
                                                    sources::ViewFolderName(), userFolder);
  urlcache::SetProvider(machine.get());
  StallClock clock;
  Run run;
  bool failed = false;
  SiteloreHooks hooks;
  hooks.report = [&](const QString& caption, const QString& text) {
    std::fprintf(stderr, "%s: %s\n", qPrintable(caption), qPrintable(text));
    failed = true;
  };
  hooks.ready = [&] { clock.Start(); };
  hooks.shown = [&](TfrmSiteloreMain& window) {
    // The window's first paint belongs to the start-up.
    QCoreApplication::processEvents();
    clock.Stop();
    run.peakMb = StatusKb("VmHWM") * 1024 / 1e6;
    run.heldMb = StatusKb("VmRSS") * 1024 / 1e6;
    run.sites = window.frameSites->lbxSites->Count();
    window.Close->click();
  };
  char name[] = "sitelore";
  char* args[] = {name, nullptr};
  int argc = 1;
  RunSitelore(argc, args, hooks);
  urlcache::SetProvider(nullptr);
  if (failed || run.sites == 0) {
    std::fprintf(stderr, "sitelore-window-bench: the window showed no site of %s\n",
                 userFolder.c_str());
    return 1;
  }
  if (listGaps) {
    for (const StallClock::Gap& gap : clock.ListedGaps())
      std::printf("%8.1f ms: end of a gap of %.1f ms\n", gap.endMs, gap.lengthMs);
    for (const StallClock::Mark& mark : clock.Marks())
      std::printf("%8.1f ms: %s\n", mark.atMs, mark.what.c_str());
  }
  std::printf("%.3f %.3f %.3f %.3f %.3f %d\n", clock.LongestGapMs(), clock.FirstWindowMs(),
              clock.ElapsedMs(), run.peakMb, run.heldMb, run.sites);
  return 0;
}

std::string ShellQuoted(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return quoted + "'";
}

bool RunChild(const std::string& self, const std::string& userFolder, Run& run) {
  const std::string command = ShellQuoted(self) + " --once " + ShellQuoted(userFolder);
  std::FILE* child = popen(command.c_str(), "r");
  if (!child) return false;
  const int fields = std::fscanf(child, "%lf %lf %lf %lf %lf %d", &run.stallMs, &run.splashMs,
                                 &run.shownMs, &run.peakMb, &run.heldMb, &run.sites);
  return pclose(child) == 0 && fields == 6;
}

struct Spread {
  double median = 0, least = 0, most = 0;
};

Spread SpreadOf(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  const std::size_t n = values.size();
  const double median = n % 2 ? values[n / 2] : (values[n / 2 - 1] + values[n / 2]) / 2;
  return {median, values.front(), values.back()};
}

void PrintRow(const char* what, const std::vector<Run>& runs, double Run::*member, const char* unit,
              double goal) {
  std::vector<double> values;
  for (const Run& run : runs) values.push_back(run.*member);
  const Spread spread = SpreadOf(values);
  std::printf("| %s | %.1f %s | %.1f %s | %.1f %s |", what, spread.median, unit, spread.least, unit,
              spread.most, unit);
  if (goal > 0)
    std::printf(" < %.0f %s: %s |\n", goal, unit, spread.median < goal ? "met" : "MISSED");
  else
    std::printf(" - |\n");
}

int RunMany(const std::string& self, const std::string& userFolder, int count) {
  std::vector<Run> runs;
  for (int i = 0; i < count; ++i) {
    Run run;
    if (!RunChild(self, userFolder, run)) {
      std::fprintf(stderr, "sitelore-window-bench: run %d failed\n", i + 1);
      return 1;
    }
    runs.push_back(run);
  }
  std::printf(
      "Window start-up on the full containers (%d sites): %d fresh processes, Qt's "
      "offscreen platform.\n\n",
      runs.front().sites, count);
  std::printf("| window start-up | median | min | max | goal |\n|---|---|---|---|---|\n");
  PrintRow("longest stall of the UI thread, splash shown to window painted (1 ms timer)", runs,
           &Run::stallMs, "ms", kStallGoalMs);
  PrintRow("application created to splash shown (no window on screen yet)", runs, &Run::splashMs,
           "ms", 0);
  PrintRow("peak resident memory (VmHWM)", runs, &Run::peakMb, "MB", kPeakGoalMb);
  PrintRow("resident memory once shown (VmRSS)", runs, &Run::heldMb, "MB", 0);
  PrintRow("application created to window painted", runs, &Run::shownMs, "ms", 0);
  return 0;
}

int Usage() {
  std::fprintf(stderr, "usage: sitelore-window-bench [--runs=N | --once | --gaps] USERFOLDER\n");
  return 2;
}

}  // namespace

int main(int argc, char** argv) {
  bool once = false;
  bool listGaps = false;
  int runs = kDefaultRuns;
  std::string userFolder;
  for (int i = 1; i < argc; ++i) {
    const std::string argument = argv[i];
    if (argument == "--once" || argument == "--gaps") {
      once = true;
      listGaps = argument == "--gaps";
    } else if (argument.rfind("--runs=", 0) == 0) {
      runs = std::atoi(argument.c_str() + 7);
      if (runs < 1) return Usage();
    } else if (argument.empty() || argument[0] == '-' || !userFolder.empty()) {
      return Usage();
    } else {
      userFolder = argument;
    }
  }
  if (userFolder.empty()) return Usage();
  if (once) return RunOnce(userFolder, listGaps);
  const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
  return RunMany(self, userFolder, runs);
}
