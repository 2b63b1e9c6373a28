// The application object: the Qt application, its title and its main window.
//
// Creating it creates the QApplication, makes the calling thread the main thread and
// installs the runtime hooks (message pump, one-message handling, dialogs), so the
// libraries below the toolkit reach the GUI only through them. One per process.
//
// The title is the caption of the application's own window: it is published through
// the platform's window list (so another instance can find it) and is the caption of
// the error box. Until it is set it is the platform's default: the program file's name
// without folder and without everything from its first ".", all but the first character
// in lower case ("tavro").
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

#include "runtime/SysUtils.h"

class QApplication;
class QWidget;

class TApplication {
 public:
  TApplication(int& argc, char** argv);
  ~TApplication();
  TApplication(const TApplication&) = delete;
  TApplication& operator=(const TApplication&) = delete;

  // Ready for the program entry; the constructor has done the work.
  void Initialize() {}

  const AnsiString& Title() const { return title_; }
  void SetTitle(const AnsiString& title);

  // Read when the message loop starts: the main window is shown only when on (default).
  bool ShowMainForm() const { return showMainForm_; }
  void SetShowMainForm(bool show) { showMainForm_ = show; }

  // Makes the window the main window, unless there is one already: closing the main
  // window ends the application (the window's own close handling calls Terminate).
  void CreateForm(QWidget* form);
  QWidget* MainForm() const { return mainForm_; }

  // Shows the main window (when the setting is on) and dispatches messages until
  // Terminate. Returns at once when Terminate came before.
  void Run();
  // Processes every message waiting now, without waiting for new ones.
  void ProcessMessages();
  // Handles what is waiting, if anything, and never waits. Qt hands out no single
  // messages, so this is one pass of the event dispatcher without waiting for events:
  // everything it finds pending at that moment is dispatched. Returns whether anything
  // was handled.
  bool HandleMessage();
  // Waits until the socket is readable, the time is up or stop() says so, dispatching every
  // message as it arrives meanwhile (the transport's pumping waits); true when readable.
  static bool WaitReadablePumping(int socket, int32_t timeoutMs, const std::function<bool()>& stop);
  // Requests the end: the message loop returns; the entry tests Terminated() between
  // its start-up steps.
  void Terminate();
  bool Terminated() const { return terminated_; }

  // Tests run many start-ups in one process: forgets the main window and an earlier
  // Terminate.
  void ResetForTesting() {
    terminated_ = false;
    mainForm_ = nullptr;
    showMainForm_ = true;
  }

  // The program file's full path.
  AnsiString ExeName() const;

 private:
  std::unique_ptr<QApplication> qt_;
  AnsiString title_;
  bool showMainForm_ = true;
  bool terminated_ = false;
  QWidget* mainForm_ = nullptr;
};

// The one application object (null before it is created and after it is gone).
extern TApplication* Application;

// Whether a window can be opened: a display is named (DISPLAY, WAYLAND_DISPLAY), or the
// toolkit is told which platform to draw on (QT_QPA_PLATFORM, as tests do).
bool DisplayAvailable();

// The web engine's switches that the program chooses (its process model). The engine reads
// them from the application's arguments, or only from QTWEBENGINE_CHROMIUM_FLAGS where that
// is set: see TWebBrowser's profile.
const std::vector<const char*>& WebEngineSwitches();

