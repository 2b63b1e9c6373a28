// The splash window, the prerequisite check and the catalogue fetch; the program entry
// and the single-instance guard.
#pragma once

#include <memory>

#include "app/AppSettings.h"
#include "toolkit/Form.h"

class TNetHTTP;
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
  // Fetches the URL with NetHTTP1 and, only when the whole body arrived, replaces the file
  // at the path with it. False (and nothing written) when the fetch failed or the body
  // passed its cap (kCatalogueCap for the catalogue, else kReleaseNotesCap); raises
  // EFCreateError when the file cannot be written. With trusted keys set, the catalogue's
  // signature is fetched and judged first (its file, its age, its expiry, its signed size),
  // and the catalogue counts as fetched only when it verifies; its signing time is then
  // remembered in the data folder.
  bool DownloadToFile(const AnsiString& url, const AnsiString& path, bool catalogue = false);

  const TAppSettings& Settings() const { return settings_; }

 private:
  TAppSettings settings_;
};

// "Tavro MP3 LiveUpdate" and the two version parts of the program file: "10.19".
AnsiString ReadBuildVersion();

extern const char* const kInstanceMutexName;  // "RunOnlyOnce_Tavro"

// The single-instance guard. Returns true when another instance runs: the user has been
// told so and this instance must end (also when the other instance's window is not found).
class TNamedMutex;
bool SecondInstance(TNamedMutex& instanceMutex);

// The program entry after the guard: splash, prerequisite check, main window, message
// loop. Returns when the application ends.
void RunProgram(const TAppSettings& settings);
