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

#include "job/JobReport.h"

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
class TPackageDownload;
class THandOff;

class TForm2 : public TForm, private TJobReport {
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
  // The job's download (on NetHTTP1) and hand-off (with Archiver), which the window shows.
  std::unique_ptr<TPackageDownload> Download;
  std::unique_ptr<THandOff> HandOff;
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
  // The download display: buttons swapped, progress panel up, lists disabled; and back to
  // the idle display after it: timer off, buttons swapped back, progress panel hidden.
  void BeginDownloadDisplay();
  void EndDownloadDisplay();
  // TJobReport: the cancel button and a close end the job's work; the connect prompt.
  const char* Interruption() const override;
  bool ConfirmConnect() override;
  // A release-notes fetch; the lists stay usable meanwhile.
  bool FetchReleaseNotes(const AnsiString& url, const AnsiString& path);
  // The stored release notes at `path` in WebBrowser2; false, and the view says they are
  // unavailable, when the stored copy is refused by its signature check.
  bool ShowNotes(const AnsiString& path);
  void FillVersions();

  TForm1& form1_;
  int32_t announcedSize_ = 0;
  int32_t lastWorkCount_ = 0;
  int32_t speedTicks_ = 0;
  bool downloading_ = false;
  bool cancelled_ = false;
  bool closeRequested_ = false;
  bool fetchingNotes_ = false;
  bool notesSuperseded_ = false;  // the selection changed while its notes were fetched
  bool handingOff_ = false;  // from the upgrade button's first check to the start of the tool
  int handlerDepth_ = 0;
  std::function<void()> heldWork_;  // a button's work held until no handler is running
};
