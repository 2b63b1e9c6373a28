#include "net/NetException.h"

#include <cstring>

namespace {
// The operating system's text for a code: socket codes are named by the stack's
// table; other codes are errno values.
AnsiString SystemMessage(int32_t code) {
  if (code >= 10000 && code < 12000) return Format("Windows Sockets error %d", static_cast<int>(code));
  return std::strerror(code);
}
}  // namespace

ENetWS2StubError::ENetWS2StubError(const AnsiString& title, int32_t win32Error)
    : ENetException(title), win32Error_(win32Error), title_(title) {
  if (win32Error != 0) {
    win32ErrorMessage_ = SystemMessage(win32Error);
    SetMessage(title + ": " + win32ErrorMessage_);
  }
}
