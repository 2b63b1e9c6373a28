// The splash window, the prerequisite check and the catalogue fetch; the program entry
// and the single-instance guard.
#pragma once

#include <memory>

#include "job/AppSettings.h"
#include "job/Store.h"
#include "toolkit/Form.h"

class TNetHTTP;
class TSite;
class TLabel;
class TTimer;
class QLabel;

class TForm1 : public TForm {
 public:
  explicit TForm1(const TAppSettings& settings);
  ~TForm1() override;

  std::unique_ptr<TNetHTTP> NetHTTP1;
  QLabel* Image1 = nullptr;
  TLabel* Label2 = nullptr;
  std::unique_ptr<TTimer> Timer1;
  // The player software folder (empty until FormAc reads it, or when it cannot).
  AnsiString InstallFolder;

  void FormCreate(TObject* Sender);
  void Timer1Timer(TObject* Sender);
  // The prerequisite check and the catalogue fetch; may end the application.
  void FormAc(TObject* Sender);
  // Fetches the URL with NetHTTP1 into the file (see TSite::DownloadToFile).
  bool DownloadToFile(const AnsiString& url, const AnsiString& path, bool catalogue = false);

  const TAppSettings& Settings() const { return settings_; }

 private:
  TAppSettings settings_;
  std::unique_ptr<TSite> site_;  // on NetHTTP1
};

// "Tavro MP3 LiveUpdate" and the two version parts of the program file: "10.19".
AnsiString ReadBuildVersion();

// The single-instance guard. Returns true when another instance runs: the user has been
// told so and this instance must end (also when the other instance's window is not found).
class TNamedMutex;
bool SecondInstance(TNamedMutex& instanceMutex);

// The program entry after the guard: splash, prerequisite check, main window, message
// loop. Returns when the application ends.
void RunProgram(const TAppSettings& settings);
