#include "toolkit/Application.h"

#include <cstdlib>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QQuickWindow>
#include <QSGRendererInterface>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <vector>

#include "platform/ProgramInfo.h"
#include "platform/WindowList.h"
#include "runtime/Hooks.h"
#include "toolkit/Accessibility.h"
#include "toolkit/MessageBox.h"

TApplication* Application = nullptr;

namespace {

// The application's arguments with the web engine's switches added; the engine reads the
// switches after "--webEngineArgs" when its first view is made (unless
// QTWEBENGINE_CHROMIUM_FLAGS is set: the profile then passes them there). A copy: the
// caller's count and vector stay as they are; the copy outlives the application object.
struct TQtArguments {
  int argc = 0;
  std::vector<char*> argv;
};

TQtArguments& WithEngineProcessModel(int argc, char** argv) {
  static char engineArgs[] = "--webEngineArgs";
  static TQtArguments args;
  args.argv.assign(argv, argv + argc);
  args.argv.push_back(engineArgs);
  for (const char* arg : WebEngineSwitches()) args.argv.push_back(const_cast<char*>(arg));
  args.argc = static_cast<int>(args.argv.size());
  args.argv.push_back(nullptr);
  return args;
}

// The views show plain pages of the update site, which need no OpenGL: drawn in software,
// the window loads neither the system's GL drivers nor their software rasteriser (tens of
// MiB in the main process), and the engine composes without a GPU context. A choice the
// user made in the environment stays. The X11 connection's GL integration is read once, as
// the application object connects: the variable is set for that moment only, so that no
// program started later (the desktop's browser, the flashing tool) inherits it.
std::unique_ptr<QApplication> MakeSoftwareDrawnApplication(TQtArguments& args) {
  if (qEnvironmentVariableIsEmpty("QT_QUICK_BACKEND")) QQuickWindow::setGraphicsApi(QSGRendererInterface::Software);
  const bool setGl = !qEnvironmentVariableIsSet("QT_XCB_GL_INTEGRATION");
  if (setGl) qputenv("QT_XCB_GL_INTEGRATION", "none");
  auto app = std::make_unique<QApplication>(args.argc, args.argv.data());
  if (setGl) qunsetenv("QT_XCB_GL_INTEGRATION");
  return app;
}

std::unique_ptr<QApplication> MakeQtApplication(int argc, char** argv) {
  return MakeSoftwareDrawnApplication(WithEngineProcessModel(argc, argv));
}

}  // namespace

TApplication::TApplication(int& argc, char** argv) : qt_(MakeQtApplication(argc, argv)) {
  Application = this;
  SetMainThread();
  InstallAccessibility();
  // Windows are hidden and shown during start-up; only Terminate ends the program.
  QApplication::setQuitOnLastWindowClosed(false);
  TRuntimeHooks& hooks = RuntimeHooks();
  hooks.ProcessMessages = [this] { ProcessMessages(); };
  hooks.HandleOneMessage = [this] { return HandleMessage(); };
  hooks.WaitReadablePumping = WaitReadablePumping;
  hooks.MessageDlg = ShowMessageDlg;
  hooks.InputQuery = ShowInputQuery;
  SetTitle(ApplicationTitleFromFileName(ExeName()));
}

TApplication::~TApplication() {
  RuntimeHooks() = TRuntimeHooks{};
  UnpublishWindowCaption();
  Application = nullptr;
}

void TApplication::SetTitle(const AnsiString& title) {
  title_ = title;
  PublishWindowCaption(title);
}

void TApplication::CreateForm(QWidget* form) {
  if (!mainForm_) mainForm_ = form;
}

void TApplication::Run() {
  if (terminated_) return;
  if (mainForm_ && showMainForm_) mainForm_->show();
  QApplication::exec();
}

void TApplication::ProcessMessages() { QCoreApplication::processEvents(QEventLoop::AllEvents); }

bool TApplication::HandleMessage() {
  QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance();
  return dispatcher && dispatcher->processEvents(QEventLoop::AllEvents);
}

bool TApplication::WaitReadablePumping(int socket, int32_t timeoutMs, const std::function<bool()>& stop) {
  bool readable = false;
  bool timedOut = false;
  QSocketNotifier notifier(socket, QSocketNotifier::Read);
  QObject::connect(&notifier, &QSocketNotifier::activated, [&] { readable = true; });
  QTimer timer;
  timer.setSingleShot(true);
  timer.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer, &QTimer::timeout, [&] { timedOut = true; });
  if (timeoutMs >= 0) timer.start(timeoutMs);
  while (!readable && !timedOut && !stop()) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
  return readable;
}

void TApplication::Terminate() {
  terminated_ = true;
  QCoreApplication::quit();
}

AnsiString TApplication::ExeName() const { return ProgramFileName(); }

// - The two views show nothing but the update site (a page of it, or its release notes
//   kept in the store): one renderer process serves both, instead of one each, which costs
//   a renderer's memory. The renderer keeps its sandbox wherever it has one.
// - The engine composes in a thread of this process and runs no helper that would need the
//   second, unsandboxed zygote it starts by default: that process is not started.
// - The pages run no script, so the script engine needs no compiler of machine code: it
//   maps no writable and executable memory (and WebAssembly is off with it).
const std::vector<const char*>& WebEngineSwitches() {
  static const std::vector<const char*> switches{"--renderer-process-limit=1", "--no-unsandboxed-zygote",
                                                 "--js-flags=--jitless"};
  return switches;
}

bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}
