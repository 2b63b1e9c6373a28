#include "cli/Terminal.h"

#include <sys/ioctl.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <vector>

#include "http/NetHTTP.h"
#include "job/JobTexts.h"
#include "net/NetFreezeGuard.h"
#include "platform/Log.h"
#include "runtime/Hooks.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Translation.h"

namespace {
volatile std::sig_atomic_t interruptRequested = 0;
bool quiet = false;

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
  // The window's prompt says to click [OK]; a terminal is answered with a letter.
  std::cerr << Text(kConnectCaption) << "\n"
            << Text(QT_TRANSLATE_NOOP("Tavro", "请使用USB连接线将MP3与电脑相连，连接好后输入 y 开始升级。"))
            << "\n[y/N] " << std::flush;
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
  if (code != ecDone || !quiet) std::cerr << "tavro: " << text << "\n";
  return code;
}

int ComplainCancelled() { return Complain(ecInterrupted, Text(QT_TRANSLATE_NOOP("Tavro", "已取消。"))); }
void SetQuiet(bool value) { quiet = value; }
bool Quiet() { return quiet; }

AnsiString FromTerminal(const std::string& utf8) { return QStringToAnsi(QString::fromUtf8(utf8.c_str())); }
std::string ToTerminal(const AnsiString& ansi) { return AnsiToQString(ansi).toUtf8().toStdString(); }
std::string PathToTerminal(const AnsiString& path) { return ToTerminal(LogPath(path)); }

std::string ProgressBarLine(int64_t count, int64_t size, double speed, int width) {
  const int percent = size > 0 ? static_cast<int>(count * 100 / size) : -1;
  const std::string head = percent >= 0 ? (percent < 10 ? "  " : percent < 100 ? " " : "") + std::to_string(percent) + "%" : "";
  std::vector<std::string> tail;  // in the order they are given up
  tail.push_back(" " + Bytes(static_cast<double>(count)) + (size > 0 ? " / " + Bytes(static_cast<double>(size)) : ""));
  tail.push_back("  " + Bytes(speed) + "/s");
  if (size > 0 && speed > 0) tail.push_back("  " + Duration((size - count) / speed) + " left");
  const auto length = [&](size_t parts) {
    size_t n = head.size();
    for (size_t i = 0; i < parts; ++i) n += tail[i].size();
    return static_cast<int>(n);
  };
  // The bar takes up to 30 columns of what the texts leave; one column stays free.
  size_t parts = tail.size();
  while (parts > 0 && width - 1 - length(parts) < 3 + 10) --parts;
  const int room = std::min(30, width - 1 - length(parts) - 3);
  std::string line = head;
  if (room >= 10) {
    const int filled = percent >= 0 ? std::min(percent, 100) * room / 100 : 0;
    line += (head.empty() ? "[" : " [") + std::string(filled, '#') + std::string(room - filled, '.') + "]";
  }
  for (size_t i = 0; i < parts; ++i) line += tail[i];
  return line.substr(0, static_cast<size_t>(std::max(width - 1, 0)));
}

TTerminalProgress::TMode TTerminalProgress::TerminalMode() {
  const char* term = std::getenv("TERM");
  const bool dumb = term && std::string(term) == "dumb";
  return isatty(STDERR_FILENO) == 1 && !dumb ? pmBar : pmLines;
}

TTerminalProgress::TTerminalProgress(TMode mode, int fd) : mode_(mode), fd_(fd) {}

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
  if (mode_ == pmBar) std::fputc('\n', stderr);
  began_ = false;
}

void TTerminalProgress::DrawLines(int percent, bool force) {
  // A log or a pipe gets one line per tenth, never a carriage return.
  if (percent < 0 || percent / 10 == lastTenth_ || (force && percent / 10 <= lastTenth_)) return;
  lastTenth_ = percent / 10;
  std::fprintf(stderr, "%d%% %lld/%lld bytes\n", percent, static_cast<long long>(count_),
               static_cast<long long>(size_));
}

void TTerminalProgress::Draw(int64_t count, bool force) {
  if (mode_ == pmNone) return;
  if (mode_ == pmLines) return DrawLines(size_ > 0 ? static_cast<int>(count * 100 / size_) : -1, force);
  const double now = Now();
  if (!force && now - drawn_ < 0.1) return;
  drawn_ = now;
  const double speed = (count - from_) / std::max(now - started_, 0.001);
  if (mode_ == pmJson) {
    dprintf(fd_, "{\"bytes\": %lld, \"total\": %lld, \"speed\": %.0f}\n", static_cast<long long>(count),
            static_cast<long long>(size_), speed);
    return;
  }
  winsize size{};
  const char* columns = std::getenv("COLUMNS");
  const int width = ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0 ? size.ws_col
                    : columns && std::atoi(columns) > 0                               ? std::atoi(columns)
                                                                                      : 80;
  std::fprintf(stderr, "\r%s\033[K", ProgressBarLine(count, size_, speed, width).c_str());
  std::fflush(stderr);
}
