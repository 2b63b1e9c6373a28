#include "toolkit/Application.h"

#include <cstdlib>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>

#include "platform/ProgramInfo.h"
#include "platform/WindowList.h"
#include "runtime/Hooks.h"
#include "toolkit/Accessibility.h"
#include "toolkit/MessageBox.h"

TApplication* Application = nullptr;

TApplication::TApplication(int& argc, char** argv) : qt_(std::make_unique<QApplication>(argc, argv)) {
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

bool DisplayAvailable() {
  for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"}) {
    const char* value = std::getenv(name);
    if (value && *value) return true;
  }
  return false;
}
