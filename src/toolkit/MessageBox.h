// Modal message boxes in the platform's terms, over QMessageBox.
//
// Texts use a single carriage return ("\r") as line break; the box shows it as a new
// line. Style values: 0x30 OK with exclamation icon, 0x31 OK and Cancel with exclamation
// icon, 0x10 OK with stop icon. Results: IDOK 1, IDCANCEL 2 (closing the box: Cancel when
// it has a Cancel button, else OK).
//
// One key press answers one box: while a box is open it takes no repeat of a key held down
// and no release of a key that went down before it opened.
//
// Tests script the answers through TDialogSeam: with a responder installed no window
// opens; every box and dialog, answered by a person or by the responder, is recorded.
#pragma once

#include <QString>
#include <functional>
#include <vector>

#include "runtime/Hooks.h"
#include "runtime/SysUtils.h"

class QWidget;

constexpr int MB_OK = 0x00;
constexpr int MB_OKCANCEL = 0x01;
constexpr int MB_ICONHAND = 0x10;
constexpr int MB_ICONEXCLAMATION = 0x30;
constexpr int IDOK = 1;
constexpr int IDCANCEL = 2;

// A box or dialog as it was shown.
struct TShownDialog {
  enum TKind { dkMessageBox, dkMessageDlg, dkInputQuery };
  TKind Kind = dkMessageBox;
  QString Text;     // as given, "\r" kept
  QString Caption;
  int Style = 0;                     // message boxes
  std::vector<TMsgDlgBtn> Buttons;   // MessageDlg
  QWidget* Owner = nullptr;
};

struct TDialogSeam {
  // Answers instead of a person: a TModalResult / IDOK / IDCANCEL. For an input query
  // the answer mrOk accepts InputValue.
  static std::function<int(const TShownDialog&)> Responder;
  static QString InputValue;
  static std::vector<TShownDialog> Shown;
  static void Reset();
};

// Texts in UTF-8 (the application's own literals).
int MessageBox(QWidget* owner, const QString& text, const QString& caption, int style);
// Texts in the ANSI code page (936): data and error messages.
int MessageBoxAnsi(QWidget* owner, const AnsiString& text, const AnsiString& caption, int style);

// The dialog hooks the libraries below the toolkit call (Abort/Retry/Ignore,
// Yes/No/NoToAll/YesToAll, OK/Cancel, input query).
int ShowMessageDlg(const AnsiString& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons);
bool ShowInputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value);

// The ANSI (936) text as a QString.
QString AnsiToQString(const AnsiString& text);
AnsiString QStringToAnsi(const QString& text);
