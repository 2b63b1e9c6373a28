// What the commands need of the terminal: the job's report (Ctrl-C as the cancel button,
// the connect prompt as a question), progress on standard error, and texts in the
// language in use.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "job/JobReport.h"
#include "runtime/SysUtils.h"

class TNetHTTP;

#include "job/JobFailure.h"
#include "job/JobTexts.h"

// Exit statuses of the commands.
enum TExitCode { ecDone = 0, ecFailed = 1, ecUsage = 2, ecRefused = 3, ecNetwork = 4, ecInterrupted = 130 };
// The status a failure of the kind ends a command with.
int ExitStatus(TFailureKind kind);
// Tells a failure the job met: the notice of its outcome (the window's box), then its cause
// in words; returns the kind's status.
int ComplainOf(TJobNotice notice, const TJobFailure& failure);

// Ctrl-C (and SIGTERM) from now on cancels as the cancel button does: the client's connection is closed
// at the next pump of its wait (while the client lives), and the report says "cancelled".
void CatchInterrupt(const std::shared_ptr<TNetHTTP>& client);
bool InterruptRequested();

class TTerminalReport : public TJobReport {
 public:
  explicit TTerminalReport(bool assumeYes) : assumeYes_(assumeYes) {}
  const char* Interruption() const override;
  // The connect prompt on standard error, answered on standard input ("y" goes on);
  // with --yes it is not asked.
  bool ConfirmConnect() override;

 private:
  bool assumeYes_;
};

// A translated text (its Chinese original, or an English source) in UTF-8, with the boxes'
// "\r" line breaks as new lines.
std::string Text(const char* source);
// Prints "tavro: " and the text on standard error; returns the code.
int Complain(int code, const std::string& text);

// Names between the terminal (UTF-8) and the catalogue, URLs and files (code page 936).
AnsiString FromTerminal(const std::string& utf8);
std::string ToTerminal(const AnsiString& ansi);
// A file's name as the terminal shows it: "/" between its folders.
std::string PathToTerminal(const AnsiString& path);

// The download's progress on standard error: a bar with percent, bytes, speed and time left
// on a terminal, redrawn at most ten times a second; one plain line per 10% otherwise.
class TTerminalProgress {
 public:
  TTerminalProgress();
  void Begin(int64_t size, int64_t from);
  void Update(int64_t count);
  void End();

 private:
  void Draw(int64_t count, bool force);
  bool tty_;
  int64_t size_ = 0;
  int64_t from_ = 0;
  int64_t count_ = 0;
  int lastTenth_ = 0;  // the last tenth told on a plain line
  double started_ = 0;
  double drawn_ = 0;
  bool began_ = false;
};
