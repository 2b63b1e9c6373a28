#include "toolkit/MessageBox.h"

#include <QApplication>
#include <QInputDialog>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>

#include "runtime/CodePage.h"
#include "toolkit/Application.h"
#include "toolkit/SeverityIcon.h"
#include "toolkit/Translation.h"

std::function<int(const TShownDialog&)> TDialogSeam::Responder;
QString TDialogSeam::InputValue;
std::vector<TShownDialog> TDialogSeam::Shown;

void TDialogSeam::Reset() {
  Responder = nullptr;
  InputValue.clear();
  Shown.clear();
}

QString AnsiToQString(const AnsiString& text) { return QString::fromStdString(AnsiToUtf8(text)); }
AnsiString QStringToAnsi(const QString& text) { return Utf8ToAnsi(text.toStdString()); }

namespace {
QString LineBreaks(const QString& text) {
  QString shown = text;
  shown.replace("\r\n", "\n");
  shown.replace('\r', '\n');
  return shown;
}

// Records the dialog and asks the responder when one is installed.
bool Scripted(const TShownDialog& dialog, int& answer) {
  TDialogSeam::Shown.push_back(dialog);
  if (!TDialogSeam::Responder) return false;
  answer = TDialogSeam::Responder(dialog);
  return true;
}

QMessageBox::StandardButton StandardButtonOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return QMessageBox::Yes;
    case mbNo: return QMessageBox::No;
    case mbOK: return QMessageBox::Ok;
    case mbCancel: return QMessageBox::Cancel;
    case mbAbort: return QMessageBox::Abort;
    case mbRetry: return QMessageBox::Retry;
    case mbIgnore: return QMessageBox::Ignore;
    case mbAll: return QMessageBox::YesToAll;
    case mbNoToAll: return QMessageBox::NoToAll;
    case mbYesToAll: return QMessageBox::YesToAll;
  }
  return QMessageBox::NoButton;
}

// The captions the platform's boxes carry on the target systems, in the language in use.
QString CaptionOf(TMsgDlgBtn button) {
  switch (button) {
    case mbYes: return Tavro::tr("是");
    case mbNo: return Tavro::tr("否");
    case mbOK: return Tavro::tr("确定");
    case mbCancel: return Tavro::tr("取消");
    case mbAbort: return Tavro::tr("中止");
    case mbRetry: return Tavro::tr("重试");
    case mbIgnore: return Tavro::tr("忽略");
    case mbAll: return Tavro::tr("全部");
    case mbNoToAll: return Tavro::tr("全否");
    case mbYesToAll: return Tavro::tr("全是");
  }
  return QString();
}

int ModalResultOf(QMessageBox::StandardButton button) {
  switch (button) {
    case QMessageBox::Yes: return mrYes;
    case QMessageBox::No: return mrNo;
    case QMessageBox::Ok: return mrOk;
    case QMessageBox::Cancel: return mrCancel;
    case QMessageBox::Abort: return mrAbort;
    case QMessageBox::Retry: return mrRetry;
    case QMessageBox::Ignore: return mrIgnore;
    case QMessageBox::NoToAll: return mrNoToAll;
    case QMessageBox::YesToAll: return mrYesToAll;
    default: return mrCancel;
  }
}

QString ApplicationTitle() { return Application ? AnsiToQString(Application->Title()) : QString(); }

// One key press answers one box. While a box is open, key events meant for it count only
// when the key went down inside it: the repeats of a key held down (a busy machine may
// deliver a key press late enough for the repeat to start) and the release of a key pressed
// before the box opened are dropped, so that a press that answered one box never answers
// the next.
class TOneAnswerPerKeyPress : public QObject {
 public:
  explicit TOneAnswerPerKeyPress(QWidget& box) : box_(box) { qApp->installEventFilter(this); }
  ~TOneAnswerPerKeyPress() override { qApp->removeEventFilter(this); }

 protected:
  bool eventFilter(QObject* target, QEvent* event) override {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::KeyRelease && type != QEvent::ShortcutOverride) return false;
    auto* widget = qobject_cast<QWidget*>(target);
    if (!widget || (widget != &box_ && !box_.isAncestorOf(widget))) return false;
    const auto* key = static_cast<QKeyEvent*>(event);
    if (key->isAutoRepeat()) return true;
    if (type == QEvent::KeyPress) pressed_.insert(key->key());
    if (type == QEvent::KeyRelease) return !pressed_.remove(key->key());
    return false;
  }

 private:
  QWidget& box_;
  QSet<int> pressed_;
};
}  // namespace

int MessageBox(QWidget* owner, const QString& text, const QString& caption, int style) {
  TShownDialog dialog;
  dialog.Kind = TShownDialog::dkMessageBox;
  dialog.Text = text;
  dialog.Caption = caption;
  dialog.Style = style;
  dialog.Owner = owner;
  int answer = IDOK;
  if (Scripted(dialog, answer)) return answer;

  const bool withCancel = (style & 0x0F) == MB_OKCANCEL;
  QMessageBox box(QMessageBox::NoIcon, caption, LineBreaks(text),
                  withCancel ? (QMessageBox::Ok | QMessageBox::Cancel) : QMessageBox::Ok, owner);
  SetSeverityIcon(box, (style & 0xF0) == MB_ICONHAND ? svError : svWarning);
  box.setEscapeButton(withCancel ? QMessageBox::Cancel : QMessageBox::Ok);
  box.setDefaultButton(QMessageBox::Ok);
  // The platform's boxes on the target systems: the texts refer to [确定] and [取消].
  box.button(QMessageBox::Ok)->setText(CaptionOf(mbOK));
  if (withCancel) box.button(QMessageBox::Cancel)->setText(CaptionOf(mbCancel));
  TOneAnswerPerKeyPress keys(box);
  const int result = box.exec();
  return result == QMessageBox::Ok ? IDOK : (withCancel ? IDCANCEL : IDOK);
}

int MessageBoxAnsi(QWidget* owner, const AnsiString& text, const AnsiString& caption, int style) {
  return MessageBox(owner, AnsiToQString(text), AnsiToQString(caption), style);
}

int ShowMessageDlg(const AnsiString& text, TMsgDlgType type, const std::vector<TMsgDlgBtn>& buttons) {
  TShownDialog dialog;
  dialog.Kind = TShownDialog::dkMessageDlg;
  dialog.Text = AnsiToQString(text);
  dialog.Caption = ApplicationTitle();
  dialog.Buttons = buttons;
  int answer = mrCancel;
  if (Scripted(dialog, answer)) return answer;

  QMessageBox box(QMessageBox::NoIcon, dialog.Caption, LineBreaks(dialog.Text), QMessageBox::NoButton,
                  QApplication::activeWindow());
  switch (type) {
    case mtWarning: SetSeverityIcon(box, svWarning); break;
    case mtError: SetSeverityIcon(box, svError); break;
    case mtInformation: SetSeverityIcon(box, svInformation); break;
    case mtConfirmation: SetSeverityIcon(box, svQuestion); break;
    case mtCustom: break;
  }
  for (TMsgDlgBtn button : buttons)
    box.addButton(StandardButtonOf(button))->setText(CaptionOf(button));
  TOneAnswerPerKeyPress keys(box);
  const auto result = static_cast<QMessageBox::StandardButton>(box.exec());
  // Closing the box without a button counts as Cancel (the archiver reads it as Abort).
  return ModalResultOf(result);
}

bool ShowInputQuery(const AnsiString& caption, const AnsiString& prompt, AnsiString& value) {
  TShownDialog dialog;
  dialog.Kind = TShownDialog::dkInputQuery;
  dialog.Text = AnsiToQString(prompt);
  dialog.Caption = AnsiToQString(caption);
  int answer = mrCancel;
  if (Scripted(dialog, answer)) {
    if (answer != mrOk) return false;
    value = QStringToAnsi(TDialogSeam::InputValue);
    return true;
  }
  bool ok = false;
  const QString entered = QInputDialog::getText(QApplication::activeWindow(), dialog.Caption, dialog.Text,
                                                QLineEdit::Normal, AnsiToQString(value), &ok);
  if (ok) value = QStringToAnsi(entered);
  return ok;
}
