// The main window's package download with progress and cancel, and the hand-off of the
// stored package to the flashing tool: the window's display of the job's download and
// hand-off (job/PackageDownload.h, job/HandOff.h).
#include <QApplication>
#include <QPointer>

#include "app/Main01.h"
#include "app/Main02.h"
#include "app/Notice.h"
#include "http/NetHTTP.h"
#include "job/HandOff.h"
#include "job/PackageDownload.h"
#include "net/NetFreezeGuard.h"
#include "net/NetScope.h"
#include "runtime/Hooks.h"
#include "toolkit/Controls.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Timer.h"
#include "toolkit/Translation.h"
#include "zip/ZipArchiver.h"

namespace {
QString Kilobytes(int64_t bytes) { return QString::number(bytes / 1024) + " KB"; }
}  // namespace

void TForm2::BeginDownloadDisplay() {
  // Cancel takes the download button's place, and its focus: a person who pressed Space
  // on Download finds Cancel under the same key.
  SwapButtons(Button1, Button3);
  Button3->setFocus(Qt::OtherFocusReason);
  SetListsEnabled(false);
  Panel3->hide();
  Panel2->show();
  NetFreezeGuard1->SetOnlyWhenIdle(false);
  // Every download starts from nothing: counts left by an earlier one never decide
  // whether this one is complete.
  announcedSize_ = 0;
  lastWorkCount_ = 0;
  cancelled_ = false;
  downloading_ = true;
}

const char* TForm2::Interruption() const {
  if (downloading_ && cancelled_) return "cancelled";
  return closeRequested_ ? "window closed" : nullptr;
}

bool TForm2::ConfirmConnect() {
  return MessageBox(Handle(), Tavro::tr(kConnectPrompt), Tavro::tr(kConnectCaption),
                    MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK;
}

void TForm2::Button1Click(TObject*) {
  // A click that a message pump delivers while a download is still running starts nothing.
  if (downloading_) return;
  BeginDownloadDisplay();
  TPackageDownload::TOutcome outcome;
  {
    // Nothing of the package stays behind and the window is back to idle, also when the
    // store cannot be written; the box, when there is one, is shown after that.
    TNetScopeExit idle([this] {
      downloading_ = false;
      EndDownloadDisplay();
    });
    Download->RetryWaitsMs = RetryWaitsMs;
    outcome = Download->Run(Model(), Version());
  }
  const char* box = JobNoticeText(TPackageDownload::Notice(outcome));
  if (box && !closeRequested_) Notice(Handle(), JobNotice(box, Download->Failure()));
  ShowHidP3(this);
  // The package just stored is ready: the next key press reaches the upgrade button. After a
  // failure the focus stays on the download button, for another try.
  if (outcome == TPackageDownload::doStored && Button1->hasFocus() && Panel3->isVisible())
    Button2->setFocus(Qt::OtherFocusReason);
}

void TForm2::Button3Click(TObject*) {
  cancelled_ = true;
  SwapButtons(Button3, Button1);
  NetHTTP1->CloseConnection();
  ProgressBar1->SetPosition(0);
  speedTicks_ = 0;
  Panel3->hide();
}

void TForm2::NetHTTP1WorkBegin(TObject*, TWorkMode, int32_t AWorkCountMax) {
  TPackageDownload::TBodyStart start;
  if (!Download->BodyBegins(AWorkCountMax, start)) return;
  Panel2->show();
  Panel3->hide();
  announcedSize_ = static_cast<int32_t>(start.Size);
  Label1->SetCaption(Kilobytes(announcedSize_));
  ProgressBar1->SetMin(0);
  ProgressBar1->SetMax(100);
  // 0 for a body from the start; an appended rest goes on from where the bar stood.
  ProgressBar1->SetPosition(announcedSize_ > 0 ? static_cast<int>(start.From * 100 / announcedSize_) : 0);
  Timer1->SetEnabled(true);
}

void TForm2::NetHTTP1Work(TObject*, TWorkMode, int32_t AWorkCount) {
  const int64_t count = Download->BodyWork(AWorkCount);
  if (count < 0) return;
  // In 64 bits: the 32-bit product wraps for packages above 21,474,836 bytes. Without an
  // announced size the percentage stays 0 while the received amount keeps counting.
  const int64_t percent = announcedSize_ > 0 ? count * 100 / announcedSize_ : 0;
  Label4->SetCaption(QString::number(percent) + "%");
  ProgressBar1->SetPosition(static_cast<int>(percent));
  Label5->SetCaption(Kilobytes(count));
  lastWorkCount_ = static_cast<int32_t>(count);
}

void TForm2::NetHTTP1WorkEnd(TObject*, TWorkMode) {
  // A chunked body ends a read scope per chunk: the download display stays up until
  // FetchUrl has returned, and Button1Click takes it down then.
  if (!downloading_) EndDownloadDisplay();
}

void TForm2::EndDownloadDisplay() {
  Timer1->SetEnabled(false);
  speedTicks_ = 0;
  SwapButtons(Button3, Button1);
  ProgressBar1->SetPosition(0);
  Panel2->hide();
  SetListsEnabled(true);
}

void TForm2::Timer1Timer(TObject*) {
  ++speedTicks_;
  // Only bytes that came in this download, in all its attempts, over its whole time.
  Label10->SetCaption(Kilobytes(Download->Received() / speedTicks_));
}

class TForm2::THandOffScope {
 public:
  // Nothing that could start other work, or change the package, is open to the user until
  // the hand-off ends; a close meanwhile is carried out after it.
  explicit THandOffScope(TForm2& form) : form_(form), focused_(QApplication::focusWidget()) {
    form_.handingOff_ = true;
    form_.SetListsEnabled(false);
    form_.Button1->setEnabled(false);
    form_.Button2->setEnabled(false);
  }
  ~THandOffScope() {
    // Presses that came in while the prompt closed or the tool started (a key that a busy
    // machine repeated, a second click) are handled now, while the hand-off still holds:
    // they start nothing. A press after this is a new request.
    try {
      HookProcessMessages();
    } catch (...) {  // the handlers it runs report their own errors; nothing may escape here
    }
    form_.handingOff_ = false;
    form_.Button2->setEnabled(true);
    form_.Button1->setEnabled(true);
    form_.SetListsEnabled(true);
    // Disabling the focused button moved the focus on; it comes back where it was.
    if (focused_ && focused_->isEnabled() && focused_->isVisible() && focused_->window() == &form_)
      focused_->setFocus(Qt::OtherFocusReason);
  }
  THandOffScope(const THandOffScope&) = delete;
  THandOffScope& operator=(const THandOffScope&) = delete;

 private:
  TForm2& form_;
  QPointer<QWidget> focused_;
};

void TForm2::Button2Click(TObject*) {
  // One hand-off at a time, from the first check to the start of the tool: a press that
  // reaches the handler meanwhile (from a pump, from inside the connect prompt) starts nothing.
  if (handingOff_) return;
  THandOffScope handOff(*this);
  const THandOff::TOutcome outcome = HandOff->Run(form1_.InstallFolder, Model(), Version());
  if (const char* box = JobNoticeText(THandOff::Notice(outcome))) Notice(Handle(), Tavro::tr(box));
  // A package that fails its check is offered for download again.
  if (outcome == THandOff::hoRefused) Panel3->hide();
}
