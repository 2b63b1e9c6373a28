// The seams through which the libraries below the toolkit reach the GUI.
//
// The toolkit installs these at start-up; tests replace them. With nothing installed
// the pumps do nothing and every dialog answers as if it had been closed.
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "runtime/SysUtils.h"

// Modal results, numbered like the platform's message-box results.
enum TModalResult {
  mrNone = 0, mrOk = 1, mrCancel = 2, mrAbort = 3, mrRetry = 4, mrIgnore = 5,
  mrYes = 6, mrNo = 7, mrAll = 8, mrNoToAll = 9, mrYesToAll = 10
};

enum TMsgDlgType { mtWarning, mtError, mtInformation, mtConfirmation, mtCustom };
enum TMsgDlgBtn { mbYes, mbNo, mbOK, mbCancel, mbAbort, mbRetry, mbIgnore, mbAll, mbNoToAll, mbYesToAll };

struct TRuntimeHooks {
  // Processes every message waiting in the GUI thread's queue, without waiting.
  std::function<void()> ProcessMessages;
  // If a message is waiting, handles exactly that one; never waits. Returns whether one was handled.
  std::function<bool()> HandleOneMessage;
  // A modal question with the given buttons; returns a TModalResult. Texts are ANSI.
  std::function<int(const AnsiString& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons)> MessageDlg;
  // Waits until the socket is readable, the time is up (a negative time: no limit) or stop()
  // says so, handling every GUI message as it arrives meanwhile; returns whether the socket
  // is readable. The pump of a wait then answers a click, a paint or a screen reader's
  // question at once, not at the end of the wait's slice.
  std::function<bool(int socket, int32_t timeoutMs, const std::function<bool()>& stop)> WaitReadablePumping;
  // A modal input box; returns false when cancelled. Texts are ANSI.
  std::function<bool(const AnsiString& caption, const AnsiString& prompt, AnsiString& value)> InputQuery;
};

// The process-wide hooks (GUI thread only).
TRuntimeHooks& RuntimeHooks();

// Convenience calls that fall back to the documented "closed" answers.
void HookProcessMessages();
bool HookHandleOneMessage();
// Whether a wait can handle messages as they arrive (the toolkit installed WaitReadablePumping).
bool HookCanWaitPumping();
bool HookWaitReadablePumping(int socket, int32_t timeoutMs, const std::function<bool()>& stop);
int HookMessageDlg(const AnsiString& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons);
bool HookInputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value);

// Runs work on a worker thread while the GUI thread goes on handling its messages, and
// returns (or throws) as work does. On any other thread, or with no pump installed, work
// runs on the caller's thread.
void WhilePumping(const std::function<void()>& work);

// The main (GUI) thread is the thread that first ran the runtime's static
// initialisation; the toolkit may set it again when it creates the application.
void SetMainThread();
bool IsMainThread();
