// The main window's package download with progress and cancel, and the hand-off of the
// stored package to the flashing tool.
#include <QApplication>
#include <QPointer>
#include <chrono>
#include <cstdio>
#include <future>
#include <thread>

#include "app/Catalogue.h"
#include "app/ComponentSettings.h"
#include "app/EnvironmentProxy.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "app/Signatures.h"
#include "http/NetHTTP.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetScope.h"
#include "platform/Log.h"
#include "platform/Shell.h"
#include "runtime/BoundedStream.h"
#include "runtime/FileUtils.h"
#include "runtime/Minisign.h"
#include "runtime/Exception.h"
#include "runtime/Hooks.h"
#include "runtime/ReplacementFile.h"
#include "toolkit/Controls.h"
#include "app/Notice.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Timer.h"
#include "toolkit/Translation.h"
#include "zip/ZipArchiver.h"

namespace {
QString Kilobytes(int64_t bytes) { return QString::number(bytes / 1024) + " KB"; }

// The stored package did not pass its signature check at the upgrade button.
struct TSignatureRefused {};

// How long the window may go unserviced while the archiver works: well within a frame at
// the pace a person notices.
constexpr std::chrono::milliseconds kUnpackPumpInterval{20};

AnsiString SecondsSince(std::chrono::steady_clock::time_point start) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return text;
}
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
  received_ = 0;
  base_ = 0;
  cancelled_ = false;
  downloading_ = true;
}

// The body goes straight to a temporary file in the store, which becomes the package only
// when it is whole: the package-ready panel never offers a partial file for flashing, and
// an older package stays until a whole one replaces it.
std::unique_ptr<TReplacementFile> TForm2::OpenPackageBody(const AnsiString& package) {
  try {
    const AnsiString path = Catalogue::StorePath(form1_.Settings().ProgramFolder, package, ".zip");
    Catalogue::CheckStoreName(path, package);
    return std::make_unique<TReplacementFile>(path);
  } catch (...) {
    downloading_ = false;
    EndDownloadDisplay();
    throw;
  }
}

AnsiString TForm2::InterruptionText() const { return cancelled_ ? "cancelled" : "window closed"; }

// After the fetch: a whole body whose signature verifies (when keys are trusted) is stored.
// True when the signature was refused, which the caller reports.
bool TForm2::SettlePackage(const AnsiString& url, TReplacementFile& body, bool whole, const std::string& signature,
                           const std::function<void(const AnsiString&)>& ended) {
  try {
    if (!whole) {
      ended(InterruptionText());
      return false;
    }
    if (!PackageVerifies(url, body, signature)) {
      const bool refused = !cancelled_ && !closeRequested_;
      ended(refused ? "signature refused, not stored" : InterruptionText());
      return refused;
    }
    StorePackage(body, signature);
    ended(cancelled_ || closeRequested_ ? InterruptionText() : "complete, stored as " + LogPath(body.FileName()));
    return false;
  } catch (...) {
    ended("not stored");
    downloading_ = false;
    EndDownloadDisplay();
    throw;
  }
}

void TForm2::Button1Click(TObject*) {
  // A click that a message pump delivers while a download is still running starts nothing.
  if (downloading_) return;
  BeginDownloadDisplay();
  const AnsiString model = Model();
  const AnsiString package = Package();
  std::unique_ptr<TReplacementFile> body = OpenPackageBody(package);
  const AnsiString url = Catalogue::PackageUrl(form1_.Settings().Host, model, package);
  const auto started = std::chrono::steady_clock::now();
  const auto ended = [&](const AnsiString& outcome) {
    LogStep("download ended: " + outcome + ", " + IntToStr(body ? body->Size() : 0) + " bytes of " +
            IntToStr(announcedSize_) + " announced, " + SecondsSince(started));
  };
  // Nothing of the package stays behind, the window is back to idle and the package state
  // shown again; the box, when given, is shown after that.
  const auto giveUp = [&](const char* box) {
    body.reset();
    downloading_ = false;
    EndDownloadDisplay();
    if (box) Notice(Handle(), Tavro::tr(box));
    ShowHidP3(this);
  };
  const char* const kRefusedBox = QT_TRANSLATE_NOOP("Tavro", "固件包签名校验失败，固件包未保存。\r请稍后重新下载。");
  const auto refuse = [&](const AnsiString& reason) {
    SignatureRefused(url, reason);
    ended("signature refused, not stored");
    giveUp(closeRequested_ ? nullptr : kRefusedBox);
  };
  bool whole = false;
  std::string signature;
  try {
    const TProxyChoice proxy = UseEnvironmentProxy(*NetHTTP1, url);
    LogStep("download started: model \"" + model + "\", version \"" + Version() + "\", " + url + " " +
            DescribeProxyChoice(proxy));
    // The signature is judged before the package is asked for: a package signed for another
    // file, or by no trusted key, is never fetched.
    if (!FetchPackageSignature(url, signature)) {
      const bool interrupted = cancelled_ || closeRequested_;
      ended(interrupted ? InterruptionText() : "signature refused, nothing fetched");
      return giveUp(interrupted ? nullptr : kRefusedBox);
    }
    whole = FetchPackage(url, *body);
  } catch (const ESignatureError& e) {
    // A body that contradicts its signed size: refused before a byte of it was written, or
    // cut off as soon as it went past; nothing is stored.
    return refuse(e.Message());
  } catch (const EStreamLimitError& e) {
    return refuse(e.Message());
  } catch (const std::exception& e) {
    ended(cancelled_ || closeRequested_ ? InterruptionText() : "failed: " + LogErrorText(e));
    return giveUp(closeRequested_ ? nullptr
                                  : QT_TRANSLATE_NOOP("Tavro", "从服务器下载固件包时出错。\r请检查网络设置是否连接正常！"));
  }
  const bool refused = SettlePackage(url, *body, whole, signature, ended);
  body.reset();
  downloading_ = false;
  EndDownloadDisplay();
  if (refused) {
    Notice(Handle(), Tavro::tr(kRefusedBox));
    ShowHidP3(this);
    return;
  }
  Timer1->SetEnabled(false);
  Panel3->show();
  SetListsEnabled(true);
  ShowHidP3(this);
  // The package is ready: the next key press reaches the upgrade button.
  if (Button1->hasFocus() && Panel3->isVisible()) Button2->setFocus(Qt::OtherFocusReason);
}

namespace {
// The server would not resume in a way that fits: the attempt starts over at once.
struct TStartOver {};
}  // namespace

bool TForm2::FetchPackage(const AnsiString& url, TReplacementFile& body) {
  body_ = &body;
  resume_.Forget();
  received_ = 0;
  struct TDone {
    TForm2& form;
    ~TDone() {
      form.body_ = nullptr;
      form.attemptJudged_ = true;
      TResumePlan::ClearRequest(*form.NetHTTP1);
    }
  } done{*this};
  // A signed size bounds the body in every attempt: past it, the read stops at once.
  TBoundedStream bounded(body, signedSize_ >= 0 ? signedSize_ : INT64_MAX, SignedSizeRefusal(signedSize_));
  size_t retries = 0;
  bool bodyBegan = false;  // only a body that broke off is tried again
  for (;;) {
    const int64_t from = resume_.PrepareRequest(*NetHTTP1, body.Size());
    if (from == 0) body.SetSize(0);
    body.Seek(from, soBeginning);
    base_ = 0;
    attemptJudged_ = false;
    std::exception_ptr failure;
    try {
      NetHTTP1->FetchUrl(url, bounded);
      if (cancelled_ || closeRequested_) return false;
      if (BodyIsWhole(*NetHTTP1, body.Size() - base_)) return true;
      // The server closed the connection before the announced length: a break.
      failure = std::make_exception_ptr(ENetConnClosedGracefully());
    } catch (const TStartOver&) {
      NetHTTP1->CloseConnection();
      resume_.Forget();
      continue;
    } catch (const ENetHTTPProtocolException& e) {
      if (from == 0 || e.ErrorCode() != 416) throw;
      resume_.Forget();
      continue;
    } catch (const EConvertError&) {
      if (from == 0) throw;  // a Content-Range that is no range at all
      resume_.Forget();
      continue;
    } catch (const ENetException&) {
      if (cancelled_ || closeRequested_ || !(bodyBegan || attemptJudged_)) throw;
      failure = std::current_exception();
    }
    bodyBegan = true;
    if (retries == RetryWaitsMs.size()) std::rethrow_exception(failure);
    LogStep("download broke off with " + IntToStr(body.Size()) + " bytes in the file; retry " +
            IntToStr(static_cast<int64_t>(retries + 1)) + " in " + IntToStr(RetryWaitsMs[retries]) + " ms");
    if (!WaitBeforeRetry(RetryWaitsMs[retries++])) return false;
  }
}

bool TForm2::WaitBeforeRetry(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!cancelled_ && !closeRequested_ && std::chrono::steady_clock::now() < end) {
    HookProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !cancelled_ && !closeRequested_;
}

void TForm2::JudgeAttempt() {
  attemptJudged_ = true;
  switch (resume_.Judge(*NetHTTP1)) {
    case TResumePlan::rvAppend:
      base_ = body_->Position();  // the size may already hold room made for the rest
      break;
    case TResumePlan::rvReplace:
      // The body written so far is discarded: nothing of it belongs to this answer.
      body_->SetSize(0);
      body_->Seek(0, soBeginning);
      break;
    case TResumePlan::rvRefuse:
      throw TStartOver{};
  }
}

bool TForm2::FetchPackageSignature(const AnsiString& url, std::string& signature) {
  signedSize_ = -1;
  const TTrustedKeys& keys = form1_.Settings().TrustedKeys;
  if (keys.Empty()) return true;
  // The signature is fetched on the download's own client, so that the cancel button and
  // a close reach it; its few bytes leave the progress display as it was.
  struct TQuiet {
    bool& flag;
    ~TQuiet() { flag = false; }
  } quiet{fetchingSignature_};
  fetchingSignature_ = true;
  TTrustedComment comment;
  if (!FetchTrustedSignature(*NetHTTP1, keys, url, signature, comment)) return false;
  signedSize_ = comment.Size;
  return true;
}

bool TForm2::PackageVerifies(const AnsiString& url, TReplacementFile& body, const std::string& signature) {
  const TTrustedKeys& keys = form1_.Settings().TrustedKeys;
  if (keys.Empty()) return true;
  // A chunked body or one read to the close says nothing of its length: the signed size does.
  if (signedSize_ >= 0 && body.Size() != signedSize_)
    return SignatureRefused(url, "it ended after " + IntToStr(body.Size()) + " bytes, short of its signed size of " +
                                     IntToStr(signedSize_) + " bytes");
  // The whole package is read once more for the check: on a worker, as the flush.
  bool accepted = false;
  WhilePumping([&] {
    accepted = SignatureAccepted(url, [&] { keys.VerifySystemFile(body.TempPath(), signature); });
  });
  return accepted;
}

void TForm2::StorePackage(TReplacementFile& body, const std::string& signature) {
  // The flush to disk runs on a worker while the window goes on being serviced (it can
  // take a second for a large package); a cancel or a close meanwhile still wins. A failed
  // flush is reported by Commit, which flushes once more.
  WhilePumping([&body] { body.SyncData(); });
  if (cancelled_ || closeRequested_) return;
  // The signature goes first: should either write fail, the store holds the older pair, or a
  // pair that fails its check at the upgrade button; never a package passing on another's.
  if (!signature.empty()) ReplaceFileContent(SignatureName(body.FileName()), signature.data(), signature.size());
  body.Commit();
}

void TForm2::WhilePumping(const std::function<void()>& work) {
  auto done = std::async(std::launch::async, work);
  while (done.wait_for(std::chrono::milliseconds(5)) != std::future_status::ready) HookProcessMessages();
  done.get();
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
  if (fetchingSignature_) return;
  if (!attemptJudged_) JudgeAttempt();
  TNetHTTPResponse& response = NetHTTP1->Response();
  // Each chunk of a chunked body begins its own count: it goes on from the bytes so far.
  if (response.IsChunked() && body_) base_ = body_->Position();
  if (signedSize_ >= 0 && response.LengthKnown && !response.IsChunked() &&
      base_ + response.ContentLength() != signedSize_)
    throw ESignatureError("the server announces " + IntToStr(base_ + response.ContentLength()) +
                          " bytes, not its signed size of " + IntToStr(signedSize_) + " bytes");
  Panel2->show();
  Panel3->hide();
  // A resumed attempt announces the rest; the display counts the whole package, whose size
  // the signature gives where the server announces none.
  if (signedSize_ >= 0) announcedSize_ = static_cast<int32_t>(signedSize_);
  else if (response.IsChunked()) announcedSize_ = 0;
  else announcedSize_ = static_cast<int32_t>(base_ + AWorkCountMax);
  attemptCount_ = 0;
  Label1->SetCaption(Kilobytes(announcedSize_));
  ProgressBar1->SetMin(0);
  ProgressBar1->SetMax(100);
  // 0 for a body from the start; an appended rest goes on from where the bar stood.
  ProgressBar1->SetPosition(announcedSize_ > 0 ? static_cast<int>(base_ * 100 / announcedSize_) : 0);
  Timer1->SetEnabled(true);
}

void TForm2::NetHTTP1Work(TObject*, TWorkMode, int32_t AWorkCount) {
  if (fetchingSignature_) return;
  received_ += AWorkCount - attemptCount_;
  attemptCount_ = AWorkCount;
  const int64_t count = base_ + AWorkCount;
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
  Label10->SetCaption(Kilobytes(received_ / speedTicks_));
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
  const AnsiString folder = form1_.InstallFolder;
  if (folder.empty()) {
    LogStep("unpack: not started, the player software folder is unknown");
    Notice(Handle(), Tavro::tr("未能找到SigmaTel MSCN Audio Player软件的安装目录。\r请重新安装该软件后再升级固件。"));
    return;
  }
  if (!Catalogue::IsStoreName(Package())) return;
  try {
    if (!Unpack(folder)) {
      // An unpacking the user aborted in the archiver's failure dialog is never flashed.
      Notice(Handle(), Tavro::tr("固件包解压失败，请重新下载固件包后再试。"));
      return;
    }
    if (closeRequested_) {
      LogStep("flashing tool: not started, the window was closed while unpacking");
      return;
    }
    if (MessageBox(Handle(), Tavro::tr("请使用USB连接线将MP3与电脑相连。\r连接好后单击[确定]-[开始]按钮。"),
                   Tavro::tr("将您的MP3播放器与电脑连接"), MB_OKCANCEL | MB_ICONEXCLAMATION) == IDOK) {
      const AnsiString tool = folder + "\\stupdaterapp.exe";
      const intptr_t result = ShellExecuteA(Handle(), "open", tool.c_str(), "-s", folder.c_str(), SW_SHOWNORMAL);
      LogStep("flashing tool: " + LogPath(tool) + " -s in " + LogPath(folder) +
              (result > 32 ? AnsiString(": started") : ": not started, error " + IntToStr(result)));
      if (result <= 32)
        Notice(Handle(), Tavro::tr("无法启动固件升级工具stupdaterapp.exe。\r请确认已安装Wine和SigmaTel MSCN Audio Player软件。"));
    } else {
      LogStep("flashing tool: not started, the connect prompt was cancelled");
    }
  } catch (const TSignatureRefused&) {
    LogStep("unpack: not started, the stored package failed its signature check");
    Notice(Handle(), Tavro::tr("固件包校验失败，请重新下载固件包后再试。"));
    Panel3->hide();
  } catch (const std::exception& e) {
    LogStep("unpack: failed: " + LogErrorText(e));
    Archiver->CloseZipFile();
  } catch (...) {
    Archiver->CloseZipFile();
  }
}

bool TForm2::Unpack(const AnsiString& folder) {
  TNetScopeExit restore([this] { Archiver->OnFileProgress = nullptr; });
  // A package is flashed only as its publisher signed it: one changed in the store since, or
  // stored before keys were set, is offered for download again.
  bool verified = false;
  WhilePumping([&] { verified = StoredFileVerifies(form1_.Settings().TrustedKeys, StorePath(".zip")); });
  if (!verified) throw TSignatureRefused();
  // The window is serviced between the archiver's blocks, at most once per pump interval.
  auto lastPump = std::chrono::steady_clock::time_point();
  Archiver->OnFileProgress = [&lastPump](TObject*, const AnsiString&, double, TZipProcessOperation, TZipProgressPhase,
                                         bool&) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump < kUnpackPumpInterval) return;
    lastPump = now;
    HookProcessMessages();
  };
  Archiver->SetFileName(StorePath(".zip"));
  Archiver->OpenZipFile(fmOpenRead | fmShareDenyWrite);
  Archiver->SetBaseDir(folder);
  Archiver->ExtractMatching("*.*", kZipAnyEntryAttr, "");
  const int entries = Archiver->FileCount();
  Archiver->CloseZipFile();
  LogStep("unpack: " + LogPath(Archiver->FileName()) + " into " + LogPath(folder) + ": " + IntToStr(entries) +
          " entries, " +
          IntToStr(Archiver->LastRunFailures()) + " failed" + (Archiver->LastRunAborted() ? ", aborted" : ""));
  return !Archiver->LastRunAborted();
}
