#include "toolkit/ErrorBox.h"

#include "platform/Log.h"
#include "runtime/Exception.h"
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"

AnsiString ErrorBoxText(const AnsiString& message) {
  AnsiString text = message;
  if (!text.empty() && static_cast<unsigned char>(text.back()) > static_cast<unsigned char>('.')) text += '.';
  return text;
}

namespace {
// The log's copy shows a file the message names as it is on disk (logText); the box, as given.
void ShowErrorBox(const AnsiString& message, const AnsiString& logText) {
  const AnsiString title = Application ? Application->Title() : AnsiString();
  LogStep("error box: " + ErrorBoxText(logText));
  MessageBoxAnsi(nullptr, ErrorBoxText(message), title, MB_ICONHAND | MB_OK);
}
}  // namespace

void ShowCurrentException() {
  try {
    throw;
  } catch (const Exception& e) {
    ShowErrorBox(e.Message(), LogErrorText(e));
  } catch (const std::exception& e) {
    ShowErrorBox(e.what(), e.what());
  } catch (...) {
    ShowErrorBox("Unknown error", "Unknown error");
  }
}

bool RunGuarded(const std::function<void()>& handler) {
  try {
    handler();
    return true;
  } catch (...) {
    // The box itself may raise (out of memory); nothing may escape into Qt.
    try {
      ShowCurrentException();
    } catch (...) {
    }
    return false;
  }
}
