// The main window: model and version, release notes, package state, package download
// with progress and cancel, and the hand-off to the flashing tool.
//
// The state that belongs to the window's logic (the two INI objects, the download
// counters) lives in the window object, one set per window.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "app/ResumePlan.h"

#include "net/NetComponent.h"
#include "toolkit/Form.h"

class TForm1;
class TNetHTTP;
class TNetFreezeGuard;
class TZipArchiver;
class TIniFile;
class TTimer;
class TLabel;
class TPanel;
class TButton;
class TComboBox;
class TProgressBar;
class TMemo;
class TWebBrowser;
class TReplacementFile;

class TForm2 : public TForm {
 public:
  // The splash window lends its HTTP client (release notes) and the player software folder.
  explicit TForm2(TForm1& form1);
  ~TForm2() override;

  TPanel* Panel1 = nullptr;
  TLabel* Label2 = nullptr;
  TLabel* Label3 = nullptr;
  TComboBox* ComboBox1 = nullptr;
  TComboBox* ComboBox2 = nullptr;
  TButton* Button1 = nullptr;
  TWebBrowser* WebBrowser1 = nullptr;
  TWebBrowser* WebBrowser2 = nullptr;
  TPanel* Panel2 = nullptr;
  std::unique_ptr<TNetHTTP> NetHTTP1;
  std::unique_ptr<TNetFreezeGuard> NetFreezeGuard1;
  TButton* Button3 = nullptr;
  TLabel* Label1 = nullptr;
  TLabel* Label4 = nullptr;
  TLabel* Label5 = nullptr;
  TProgressBar* ProgressBar1 = nullptr;
  TLabel* Label6 = nullptr;
  TLabel* Label7 = nullptr;
  TLabel* Label8 = nullptr;
  TLabel* Label9 = nullptr;
  TLabel* Label10 = nullptr;
  std::unique_ptr<TTimer> Timer1;
  TPanel* Panel3 = nullptr;
  TButton* Button2 = nullptr;
  TLabel* Label11 = nullptr;
  TLabel* Label12 = nullptr;
  std::unique_ptr<TZipArchiver> Archiver;
  TLabel* Label13 = nullptr;
  TMemo* Memo1 = nullptr;

  void FormCreate(TObject* Sender);
  void ComboBox1Change(TObject* Sender);
  void ComboBox2Change(TObject* Sender);
  void DownShowHTML();
  void ShowHidP3(TObject* Sender);
  void FormClose(TObject* Sender) override;

  void Button1Click(TObject* Sender);
  void Button3Click(TObject* Sender);
  void NetHTTP1WorkBegin(TObject* Sender, TWorkMode AWorkMode, int32_t AWorkCountMax);
  void NetHTTP1Work(TObject* Sender, TWorkMode AWorkMode, int32_t AWorkCount);
  void NetHTTP1WorkEnd(TObject* Sender, TWorkMode AWorkMode);
  void Timer1Timer(TObject* Sender);
  void Button2Click(TObject* Sender);

  // The download counters.
  int32_t AnnouncedSize() const { return announcedSize_; }
  int32_t LastWorkCount() const { return lastWorkCount_; }
  int32_t SpeedTicks() const { return speedTicks_; }
  bool Downloading() const { return downloading_; }
  // The waits before the retries of a package download whose body broke off (one retry
  // per entry); each retry resumes where the bytes so far end when it safely can.
  std::vector<int> RetryWaitsMs{1000, 2000, 4000};
  bool CloseRequested() const { return closeRequested_; }

  std::unique_ptr<TIniFile> SelectionIni;
  std::unique_ptr<TIniFile> CatalogueIni;

 protected:
  bool CloseQuery() override;

 private:
  class THandlerScope;
  // A hand-off in progress: every control that could start other work is disabled meanwhile.
  class THandOffScope;
  // Runs a button's work under a handler scope, or holds it until the running handler
  // has returned; drops it while a hand-off is in progress.
  void RunButtonWork(const std::function<void()>& work);
  void CreateControls();
  void CreateLowerPanels();
  void CreateComponents();
  void BindHandlers();
  AnsiString Model() const;
  AnsiString Version() const;
  AnsiString Package() const;
  AnsiString StorePath(const char* ext) const;
  void SetListsEnabled(bool enabled);
  // The list that has the keyboard focus, if one has.
  QWidget* FocusedList() const;
  // Hides one button and shows the other in its place; the focus moves with it.
  void SwapButtons(QWidget* hidden, QWidget* shown);
  // Back to the idle display after a download: timer off, buttons swapped back,
  // progress panel hidden, lists enabled.
  void BeginDownloadDisplay();
  std::unique_ptr<TReplacementFile> OpenPackageBody(const AnsiString& package);
  AnsiString InterruptionText() const;
  bool SettlePackage(const AnsiString& url, TReplacementFile& body, bool whole, const std::string& signature,
                     const std::function<void(const AnsiString&)>& ended);
  void EndDownloadDisplay();
  // Fetches the package into the body, retrying after a break; true when the body is
  // whole, false when cancelled or closed meanwhile. Raises the last failure when the
  // retries are used up or the failure is not a break (an error status, a full disk).
  bool FetchPackage(const AnsiString& url, TReplacementFile& body);
  // The wait before a retry, with the window serviced; false when cancelled meanwhile.
  bool WaitBeforeRetry(int ms);
  // At the first body event of an attempt: append, replace or refuse its answer.
  void JudgeAttempt();
  // With trusted keys: fetches the package's signature and judges it (key, trusted comment,
  // signed for this package) before the package is asked for; its signed size, when it
  // gives one, bounds the body. False when it is refused. Without keys: true, no signature.
  bool FetchPackageSignature(const AnsiString& url, std::string& signature);
  // With trusted keys: checks the whole body (its size, its bytes) against the signature.
  bool PackageVerifies(const AnsiString& url, TReplacementFile& body, const std::string& signature);
  // Puts a whole downloaded package in place under its name, with its signature (when there
  // is one) beside it, unless the download was cancelled or the window closed meanwhile.
  void StorePackage(TReplacementFile& body, const std::string& signature);
  // Runs work on a worker thread while the window goes on being serviced.
  void WhilePumping(const std::function<void()>& work);
  // Extracts the stored package into the player software's folder with the window serviced
  // meanwhile; true unless the user aborted it in the archiver's failure dialog.
  bool Unpack(const AnsiString& folder);
  // A release-notes fetch with the lists disabled meanwhile.
  bool FetchReleaseNotes(const AnsiString& url, const AnsiString& path);
  void FillVersions();

  TForm1& form1_;
  int32_t announcedSize_ = 0;
  int32_t lastWorkCount_ = 0;
  int32_t speedTicks_ = 0;
  // The download in progress: its file, its attempts, and the bytes that came in all of
  // its attempts (the speed counts these). An appended attempt's counts start at base_.
  TReplacementFile* body_ = nullptr;
  TResumePlan resume_;
  bool attemptJudged_ = true;
  int64_t base_ = 0;
  int64_t received_ = 0;
  int32_t attemptCount_ = 0;
  bool downloading_ = false;
  bool cancelled_ = false;
  bool fetchingSignature_ = false;  // the work events are the signature's, not the package's
  int64_t signedSize_ = -1;         // the package's size as signed (-1: the signature gives none)
  bool closeRequested_ = false;
  bool fetchingNotes_ = false;
  bool handingOff_ = false;  // from the upgrade button's first check to the start of the tool
  int handlerDepth_ = 0;
  std::function<void()> heldWork_;  // a button's work held until no handler is running
};
