// One start of the whole program entry, as a user sees it, for bench/compare: the splash
// window, its timer's first tick with the prerequisite check and the catalogue fetch from
// the given server, then the main window with its real web views. Prints how long after
// the tick the main window was exposed on the display, and ends the program there; with
// --memory it ends once the web views show their pages, printing the figures of
// bench/ViewMemory.h first.
//
//   app_start HOST:PORT PROGRAM-FOLDER [--memory]
// Run it on a real display (Xvfb): the time to expose includes mapping the window. The
// program folder needs the player software's registry store in XDG_CONFIG_HOME.
#include <QCoreApplication>
#include <QEvent>
#include <QTimer>
#include <QWidget>
#include <QWindow>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <unistd.h>

#include "job/AppSettings.h"
#include "app/Main01.h"
#include "platform/ProgramInfo.h"
#include "toolkit/Application.h"
#include "toolkit/WebBrowser.h"
#include "ViewMemory.h"

namespace {

using Clock = std::chrono::steady_clock;

double Ms(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double, std::milli>(b - a).count(); }

// Notes the splash timer's first tick (the only 1000 ms timer before the main window
// exists) and the first exposure of the main window, then ends the program.
class Watcher : public QObject {
 public:
  bool memory = false;
  Clock::time_point start = Clock::now(), tick{}, splashShown{}, mainExposed{};

  bool eventFilter(QObject* object, QEvent* event) override {
    if (event->type() == QEvent::Timer && tick == Clock::time_point{}) {
      auto* timer = qobject_cast<QTimer*>(object);
      if (timer && timer->interval() == 1000) tick = Clock::now();
    } else if (event->type() == QEvent::Expose) {
      auto* window = qobject_cast<QWindow*>(object);
      if (window && window->isExposed()) {
        if (window->title().startsWith("Tavro MP3 LiveUpdate 2005") && mainExposed == Clock::time_point{}) {
          mainExposed = Clock::now();
          if (memory) bench::ReportMemoryWhenShown([] { Application->Terminate(); });
          else QTimer::singleShot(0, [] { Application->Terminate(); });
        } else if (splashShown == Clock::time_point{}) {
          splashShown = Clock::now();
        }
      }
    }
    return false;
  }
};

}  // namespace

int main(int argc, char** argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: app_start HOST:PORT PROGRAM-FOLDER\n");
    return 2;
  }
  TWebBrowser::PrepareEngine();  // as the program does
  const TAppSettings settings{argv[1], argv[2]};
  SetProgramFolderForTesting(settings.ProgramFolder);
  TApplication application(argc, argv);
  Watcher watcher;
  watcher.memory = argc > 3 && std::string(argv[3]) == "--memory";
  QCoreApplication::instance()->installEventFilter(&watcher);
  RunProgram(settings);
  if (watcher.mainExposed == Clock::time_point{} || watcher.tick == Clock::time_point{}) {
    std::fprintf(stderr, "app_start: the main window never appeared\n");
    return 1;
  }
  std::printf("splash_ms %.1f tick_ms %.1f window_after_tick_ms %.1f\n", Ms(watcher.start, watcher.splashShown),
              Ms(watcher.start, watcher.tick), Ms(watcher.tick, watcher.mainExposed));
  return 0;
}
