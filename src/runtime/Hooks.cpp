#include "runtime/Hooks.h"

#include <chrono>
#include <future>
#include <thread>

namespace {
std::thread::id& MainThreadId() {
  static std::thread::id id = std::this_thread::get_id();
  return id;
}
// Records the thread that loads the program as the main thread.
const bool kMainThreadRecorded = (MainThreadId(), true);
}  // namespace

TRuntimeHooks& RuntimeHooks() {
  static TRuntimeHooks hooks;
  return hooks;
}

void HookProcessMessages() {
  if (RuntimeHooks().ProcessMessages) RuntimeHooks().ProcessMessages();
}

bool HookHandleOneMessage() {
  return RuntimeHooks().HandleOneMessage ? RuntimeHooks().HandleOneMessage() : false;
}

bool HookCanWaitPumping() { return static_cast<bool>(RuntimeHooks().WaitReadablePumping); }

bool HookWaitReadablePumping(int socket, int32_t timeoutMs, const std::function<bool()>& stop) {
  return RuntimeHooks().WaitReadablePumping(socket, timeoutMs, stop);
}

void WhilePumping(const std::function<void()>& work) {
  if (!RuntimeHooks().ProcessMessages || !IsMainThread()) return work();
  auto done = std::async(std::launch::async, work);
  while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) HookProcessMessages();
  done.get();
}

int HookMessageDlg(const AnsiString& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons) {
  return RuntimeHooks().MessageDlg ? RuntimeHooks().MessageDlg(text, type, buttons) : mrCancel;
}

bool HookInputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) {
  return RuntimeHooks().InputQuery ? RuntimeHooks().InputQuery(caption, prompt, value) : false;
}

void SetMainThread() { MainThreadId() = std::this_thread::get_id(); }

bool IsMainThread() { return std::this_thread::get_id() == MainThreadId(); }
