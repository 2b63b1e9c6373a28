#include "cli/Terminal.h"

#include <unistd.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <iostream>
#include <memory>

#include "http/NetHTTP.h"
#include "job/JobTexts.h"
#include "net/NetFreezeGuard.h"
#include "platform/Log.h"
#include "runtime/Hooks.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Translation.h"

namespace {
volatile std::sig_atomic_t interruptRequested = 0;

void OnInterrupt(int) { interruptRequested = 1; }

double Now() {
  return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// "1.2 MB", "350 KB", "512 B".
std::string Bytes(double bytes) {
  char text[32];
  if (bytes >= 1024 * 1024) std::snprintf(text, sizeof text, "%.1f MB", bytes / (1024 * 1024));
  else if (bytes >= 1024) std::snprintf(text, sizeof text, "%.0f KB", bytes / 1024);
  else std::snprintf(text, sizeof text, "%.0f B", bytes);
  return text;
}

std::string Duration(double seconds) {
  char text[32];
  const long s = static_cast<long>(seconds + 0.5);
  std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
  return text;
}
}  // namespace

void CatchInterrupt(const std::shared_ptr<TNetHTTP>& client) {
  // The transport's waits pump while a guard is in force; the pump is where Ctrl-C reaches
  // the connection, as the cancel button's click does in the window.
  static std::unique_ptr<TNetFreezeGuard> guard;
  guard = std::make_unique<TNetFreezeGuard>(nullptr);
  guard->SetOnlyWhenIdle(false);
  RuntimeHooks().ProcessMessages = [weak = std::weak_ptr<TNetHTTP>(client), closed = false]() mutable {
    if (!interruptRequested || closed) return;
    closed = true;
    if (const std::shared_ptr<TNetHTTP> live = weak.lock()) live->CloseConnection();
  };
  struct sigaction action {};
  action.sa_handler = OnInterrupt;
  // A second Ctrl-C ends the program at once, should the first find nothing to cancel.
  action.sa_flags = SA_RESTART | SA_RESETHAND;
  sigemptyset(&action.sa_mask);
  sigaction(SIGINT, &action, nullptr);
  // A stop asked by the system (a shutdown, a service manager) ends the work as Ctrl-C does.
  sigaction(SIGTERM, &action, nullptr);
}

bool InterruptRequested() { return interruptRequested != 0; }

const char* TTerminalReport::Interruption() const { return interruptRequested ? "cancelled" : nullptr; }

bool TTerminalReport::ConfirmConnect() {
  if (assumeYes_) return true;
  // Nothing is written while the question waits: Ctrl-C ends the program at once again.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  std::cerr << Text(kConnectCaption) << "\n" << Text(kConnectPrompt) << "\n[y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return answer == "y" || answer == "Y" || answer == "yes";
}

std::string Text(const char* source) {
  return Tavro::tr(source).replace('\r', '\n').toUtf8().toStdString();
}

int ExitStatus(TFailureKind kind) {
  switch (kind) {
    case fkNetwork:
    case fkServer:
      return ecNetwork;
    case fkRefused:
      return ecRefused;
    case fkLocal:
      return ecFailed;
    case fkSettings:
      return ecUsage;
    case fkCancelled:
      return ecInterrupted;
  }
  return ecFailed;
}

int ComplainOf(TJobNotice notice, const TJobFailure& failure) {
  const int code = ExitStatus(failure.Kind);
  const char* text = JobNoticeText(notice);
  // A local or settings failure's notice names the folder or variable, and why, itself.
  if ((failure.Kind == fkLocal || failure.Kind == fkSettings) && text)
    return Complain(code, Tavro::tr(text).arg(AnsiToQString(failure.Subject), AnsiToQString(failure.Reason))
                              .replace('\r', '\n').toUtf8().toStdString());
  if (text) Complain(code, Text(text));
  if (!failure.Cause.empty()) Complain(code, ToTerminal(failure.Cause));
  return code;
}

int Complain(int code, const std::string& text) {
  std::cerr << "tavro: " << text << "\n";
  return code;
}

AnsiString FromTerminal(const std::string& utf8) { return QStringToAnsi(QString::fromUtf8(utf8.c_str())); }
std::string ToTerminal(const AnsiString& ansi) { return AnsiToQString(ansi).toUtf8().toStdString(); }
std::string PathToTerminal(const AnsiString& path) { return ToTerminal(LogPath(path)); }

TTerminalProgress::TTerminalProgress() : tty_(isatty(STDERR_FILENO) == 1) {}

void TTerminalProgress::Begin(int64_t size, int64_t from) {
  if (!began_) started_ = Now();
  began_ = true;
  size_ = size;
  from_ = from;
  count_ = from;
}

void TTerminalProgress::Update(int64_t count) {
  count_ = count;
  Draw(count, false);
}

void TTerminalProgress::End() {
  if (!began_) return;
  Draw(count_, true);
  if (tty_) std::fputc('\n', stderr);
  began_ = false;
}

void TTerminalProgress::Draw(int64_t count, bool force) {
  const int percent = size_ > 0 ? static_cast<int>(count * 100 / size_) : -1;
  if (!tty_) {
    // A log or a pipe gets one line per tenth, never a carriage return.
    if (percent < 0 || percent / 10 == lastTenth_ || (force && percent / 10 <= lastTenth_)) return;
    lastTenth_ = percent / 10;
    std::fprintf(stderr, "%d%% %lld/%lld bytes\n", percent, static_cast<long long>(count),
                 static_cast<long long>(size_));
    return;
  }
  const double now = Now();
  if (!force && now - drawn_ < 0.1) return;
  drawn_ = now;
  const double speed = (count - from_) / std::max(now - started_, 0.001);
  std::string line = percent >= 0 ? (percent < 10 ? "  " : percent < 100 ? " " : "") + std::to_string(percent) + "% [" : "[";
  const int filled = percent >= 0 ? percent * 30 / 100 : 0;
  line += std::string(filled, '#') + std::string(30 - filled, '.') + "] " + Bytes(count);
  if (size_ > 0) line += " / " + Bytes(size_);
  line += "  " + Bytes(speed) + "/s";
  if (size_ > 0 && speed > 0) line += "  " + Duration((size_ - count) / speed) + " left";
  std::fprintf(stderr, "\r%s\033[K", line.c_str());
  std::fflush(stderr);
}
