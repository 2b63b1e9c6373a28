// One package download through the main window, as a whole process for bench/compare:
// the real download button's handler (offscreen, recording web views) from the click to
// the stored package, optionally followed by the firmware upgrade button's unpacking.
//
//   app_fetch HOST:PORT MODEL VERSION SIZE [--unpack]
//
// Prints one line: the click-to-stored span in seconds, the resident set before the
// click, its peak during the download and the growth, and the longest gap between two
// window pumps (the freeze guard's and the store's) from the click to the stored
// package; with --unpack also the unpacking's span and its longest pump gap. With
// CMP_SPAN_FILE set, the span is also written there (bench/compare takes it as this
// side's time instead of the whole process's). Fails when the package was not stored
// whole or a box was shown.
#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "job/AppSettings.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "platform/ProgramInfo.h"
#include "runtime/Hooks.h"
#include "support/TempDir.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Timer.h"
#include "toolkit/WebBrowser.h"

namespace {

using Clock = std::chrono::steady_clock;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }

double StatusMiB(const char* field) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind(field, 0) == 0) return std::atof(line.c_str() + std::strlen(field)) / 1024.0;
  return 0;
}

// The longest stretch between the pumps inside [begin, end], the edges included.
double LongestGapMs(Clock::time_point begin, Clock::time_point end, const std::vector<Clock::time_point>& pumps) {
  double longest = 0;
  Clock::time_point last = begin;
  for (Clock::time_point t : pumps) {
    if (t < begin || t > end) continue;
    longest = std::max(longest, Seconds(last, t) * 1000);
    last = t;
  }
  return std::max(longest, Seconds(last, end) * 1000);
}

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "app_fetch: %s\n", what.c_str());
  std::exit(1);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc < 5) {
    std::fprintf(stderr, "usage: app_fetch HOST:PORT MODEL VERSION SIZE [--unpack]\n");
    return 2;
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  const std::string model = argv[2], version = argv[3];
  const int64_t size = std::atoll(argv[4]);
  const bool unpack = argc > 5 && std::string(argv[5]) == "--unpack";

  TempDir program, player, config;
  program.Write("TavroMP3LiveUpdate.ini", "[" + model + "]\r\n" + version + "=a\r\n");
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  SetProgramFolderForTesting(program.Path());
  TWebBrowser::SetUseRecordingView(true);
  TApplication application(argc, argv);
  Application->SetTitle("Tavro");
  TDialogSeam::Responder = [](const TShownDialog&) { return IDCANCEL; };  // no flashing tool

  TForm1 form1(TAppSettings{argv[1], program.Path()});
  form1.Timer1->SetEnabled(false);
  form1.InstallFolder = player.Path();
  TForm2 form2(form1);
  form2.show();
  QCoreApplication::processEvents();
  TDialogSeam::Shown.clear();

  std::vector<Clock::time_point> pumps;
  const auto pump = RuntimeHooks().ProcessMessages;
  RuntimeHooks().ProcessMessages = [&] {
    pumps.push_back(Clock::now());
    pump();
  };
  // The freeze guard's waits for the socket serve the window's events as they come.
  const auto wait = RuntimeHooks().WaitReadablePumping;
  RuntimeHooks().WaitReadablePumping = [&](int socket, int32_t timeoutMs, const std::function<bool()>& stop) {
    pumps.push_back(Clock::now());
    const bool readable = wait(socket, timeoutMs, stop);
    pumps.push_back(Clock::now());
    return readable;
  };
  const double rssBefore = StatusMiB("VmRSS:");
  { std::ofstream("/proc/self/clear_refs") << "5"; }  // the peak starts here
  const Clock::time_point clicked = Clock::now();
  form2.Button1->click();
  const Clock::time_point stored = Clock::now();
  const double peak = StatusMiB("VmHWM:");
  const std::string package = program / ("FirmwareBack/" + model + "_" + version + ".zip");
  std::error_code ec;
  if (static_cast<int64_t>(std::filesystem::file_size(package, ec)) != size || ec)
    Fail("the package was not stored whole");
  if (!TDialogSeam::Shown.empty()) Fail("a box was shown: " + TDialogSeam::Shown[0].Text.toStdString());
  const double span = Seconds(clicked, stored);
  if (const char* file = getenv("CMP_SPAN_FILE")) std::ofstream(file) << span << "\n";
  std::printf("span_s %.3f rss_before_mib %.1f peak_mib %.1f growth_mib %.1f longest_gap_ms %.1f", span, rssBefore,
              peak, peak - rssBefore, LongestGapMs(clicked, stored, pumps));
  if (unpack) {
    const Clock::time_point start = Clock::now();
    form2.Button2->click();
    const Clock::time_point done = Clock::now();
    std::printf(" unpack_s %.3f unpack_gap_ms %.1f", Seconds(start, done), LongestGapMs(start, done, pumps));
  }
  std::printf("\n");
  RuntimeHooks().ProcessMessages = pump;
  return 0;
}
