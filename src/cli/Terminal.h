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

// A translated text (its Chinese original) in UTF-8, with the boxes' "\r" line breaks as
// new lines.
std::string Text(const char* source);
// Prints "tavro: " and the text on standard error; returns the code. A notice (code ecDone)
// is left out under --quiet.
int Complain(int code, const std::string& text);
// Tells that Ctrl-C cancelled the work; returns ecInterrupted.
int ComplainCancelled();
// --quiet: errors only, no notices and no progress.
void SetQuiet(bool quiet);
bool Quiet();

// Names between the terminal (UTF-8) and the catalogue, URLs and files (code page 936).
AnsiString FromTerminal(const std::string& utf8);
std::string ToTerminal(const AnsiString& ansi);
// A file's name as the terminal shows it: "/" between its folders.
std::string PathToTerminal(const AnsiString& path);

// One line of the progress bar for a terminal of the given width: percent, bar, bytes,
// speed and time left, the parts that do not fit left out (time left first, then speed,
// bytes and the bar); never as wide as the terminal, so that it never wraps.
std::string ProgressBarLine(int64_t count, int64_t size, double speed, int width);

// The download's progress on standard error:
// - pmBar on a terminal: a bar as wide as the terminal allows, redrawn in place at most ten
//   times a second (the width is read at each redraw, so it follows a resize);
// - pmLines without a terminal, or with TERM=dumb: one plain line per 10%, no escapes;
// - pmJson for front ends that drive the command: one JSON object a line on the
//   descriptor, {"bytes": done, "total": size (0 when unknown), "speed": bytes a second},
//   at most ten a second and the last one always;
// - pmNone (--quiet): nothing.
class TTerminalProgress {
 public:
  enum TMode { pmNone, pmLines, pmBar, pmJson };
  // The mode for standard error as it is (bar or lines).
  static TMode TerminalMode();
  explicit TTerminalProgress(TMode mode, int fd = 2);
  void Begin(int64_t size, int64_t from);
  void Update(int64_t count);
  void End();

 private:
  void Draw(int64_t count, bool force);
  void DrawLines(int percent, bool force);
  TMode mode_;
  int fd_;
  int64_t size_ = 0;
  int64_t from_ = 0;
  int64_t count_ = 0;
  int lastTenth_ = 0;  // the last tenth told on a plain line
  double started_ = 0;
  double drawn_ = 0;
  bool began_ = false;
};
