// Tavro MP3 LiveUpdate: the program entry.
#include <fcntl.h>
#include <unistd.h>

#include <QCoreApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <string>

#include "job/AppSettings.h"
#include "job/Store.h"
#include "app/CommandLine.h"
#include "cli/Commands.h"
#include "app/Main01.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "toolkit/Application.h"
#include "toolkit/Translation.h"
#include "toolkit/WebBrowser.h"

namespace {
QtMessageHandler toolkitHandler = nullptr;

// Installed while the application object connects to the window system. A display that is
// named but cannot be opened (gone, or not this user's) ends the toolkit at once with a fatal
// message: the person is told which display and what runs without one, and the program ends
// with status 1, as without a display.
void DisplayFailureHandler(QtMsgType type, const QMessageLogContext& context, const QString& message) {
  if (type != QtFatalMsg) {
    if (toolkitHandler) toolkitHandler(type, context, message);
    return;
  }
  LogStep("end: the display cannot be opened: " + message.toStdString());
  const char* display = std::getenv("DISPLAY");
  std::fputs(Tavro::tr("tavro：无法打开显示器 %1。\n"
                       "命令无需显示器即可运行：见 'tavro --help'。\n")
                 .arg(QString::fromLocal8Bit(display ? display : ""))
                 .toUtf8()
                 .constData(),
             stderr);
  std::fflush(stderr);
  std::_Exit(1);
}
}  // namespace

int main(int argc, char** argv) {
  // A standard stream that was closed stays unusable (writes to it fail, and are told): no file
  // the program opens later takes its number, so no result or message ends up in the log.
  for (int fd = 0; fd <= 2; ++fd)
    if (fcntl(fd, F_GETFD) == -1 && errno == EBADF) open("/dev/null", O_RDONLY);
  // The desktop's language decides the texts, --help's included.
  const TLanguage wanted = DesktopLanguage();
  const bool loaded = UseLanguage(wanted);
  const std::vector<std::string> args(argv + 1, argv + argc);
  // A command runs in the terminal: no window, no display needed.
  const std::vector<std::string> command = CommandArguments(args);
  if (!command.empty()) return RunCommand(command, TAppSettings::Default);
  // Answered before the window system or the single-instance guard is touched.
  const TCommandLine commandLine = ParseCommandLine(args);
  const int answered = AnswerCommandLine(commandLine, "tavro");
  if (answered >= 0) return answered;
  StartLog(commandLine.LogToStderr);
  // Without a display the toolkit would abort: the person learns what to do instead.
  if (!DisplayAvailable()) {
    LogStep("end: no display to open the window on");
    std::fputs(Tavro::tr("tavro：窗口需要显示器，但没有设置（DISPLAY、WAYLAND_DISPLAY）。\n"
                         "命令无需显示器即可运行：见 'tavro --help'。\n")
                   .toUtf8()
                   .constData(),
               stderr);
    return 1;
  }
  LogStep(wanted == lgChinese ? "language: Chinese"
          : loaded            ? "language: English"
                              : "language: English wanted, its texts not found; Chinese");

  TWebBrowser::PrepareEngine();
  // Qt is given only the program name: the command line is the program's own.
  int qtArgc = 1;
  toolkitHandler = qInstallMessageHandler(DisplayFailureHandler);
  TApplication application(qtArgc, argv);
  qInstallMessageHandler(toolkitHandler);

  // The single-instance guard runs before the program entry's first step; the mutex is
  // closed last, when the process ends. The store's mutex keeps a command that writes the
  // same store out while the window runs, and the window out while such a command runs.
  TNamedMutex instanceMutex(kInstanceMutexName);
  if (SecondInstance(instanceMutex)) return 0;
  const TAppSettings settings = TAppSettings::Default();
  TNamedMutex storeMutex(StoreMutexName(settings.ProgramFolder));
  if (SecondInstance(storeMutex)) return 0;
  RunProgram(settings);
  return 0;
}
