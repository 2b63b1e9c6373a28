// The main window's package download against a bare FetchUrl of the same package from
// the same nginx on loopback, in the same run.
//
// The window side is the real thing, offscreen: the download button's handler with its
// work events driving Label1, Label4, Label5 and ProgressBar1, Timer1 running, and the
// freeze guard pumping the window after every block. The bare side is a TNetHTTP with
// the same settings and no window at all (no freeze guard, no work-event handlers).
//
// Reported, best and median of the rounds:
// - throughput of both, the window's to the end of the body read (OnWorkEnd) and for the
//   whole handler (which also stores the package); the bare side for FetchUrl alone and
//   for FetchUrl plus the same store. Target: the window costs at most 10% of throughput;
// - the longest gap between two ticks of Timer1 during the download, minus its interval,
//   and the same for a precise 50 ms probe timer in the same window (Timer1 ticks once a
//   second, so a short download sees few of its ticks; the probe shows how late any
//   timer of the window can be). Target: under 50 ms beyond the interval;
// - peak resident set of each side (peak reset before each download where the kernel
//   allows it), against the body + 64 MiB.
//
//   app_download [size in MiB, default 256] [rounds, default 3] [Timer1 interval in ms]
// (the Timer1 interval defaults to the window's own 1000 ms; a shorter one lets a short
// download see several ticks.)
// The rounds alternate which side goes first. Also shown: the CPU time of the downloading
// thread on both sides, and where the window's body time goes (its message pumps and its
// work-event handlers). APP_DOWNLOAD_PUMP_EVERY_MS=n is a what-if that is not the
// product: the window's pumps are skipped unless n ms have passed since the last one.
// QT_QPA_PLATFORM=offscreen and QTWEBENGINE_DISABLE_SANDBOX=1 are set when not given.
#include <QCoreApplication>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <fstream>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "job/AppSettings.h"
#include "job/ComponentSettings.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "http/NetHTTP.h"
#include "platform/ProgramInfo.h"
#include "runtime/FileUtils.h"
#include "runtime/Hooks.h"
#include "runtime/MemoryStream.h"
#include "support/NginxServer.h"
#include "support/TempDir.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Timer.h"
#include "toolkit/WebBrowser.h"

namespace {

using Clock = std::chrono::steady_clock;

const char* const kModel = "ModelB";
const char* const kPackage = "ModelB_2.00";
constexpr int kProbeIntervalMs = 50;

double Seconds(Clock::time_point a, Clock::time_point b) { return std::chrono::duration<double>(b - a).count(); }
double Ms(Clock::time_point a, Clock::time_point b) { return Seconds(a, b) * 1000.0; }

// Incompressible bytes, so nothing on the way can shrink the body.
void WritePseudoRandom(const std::string& file, int64_t size) {
  std::filesystem::create_directories(std::filesystem::path(file).parent_path());
  std::ofstream out(file, std::ios::binary);
  std::mt19937_64 random(7);
  std::vector<uint64_t> words(1 << 17);  // 1 MiB
  for (int64_t left = size; left > 0; left -= 1 << 20) {
    std::generate(words.begin(), words.end(), std::ref(random));
    out.write(reinterpret_cast<const char*>(words.data()),
              static_cast<std::streamsize>(std::min<int64_t>(left, 1 << 20)));
  }
}

// Whether the bytes equal the file's, read in pieces so that the check adds nothing to the
// resident set that a later round measures.
bool SameAsFile(const std::string& file, const char* data, int64_t size) {
  std::ifstream in(file, std::ios::binary);
  std::vector<char> piece(1 << 20);
  for (int64_t at = 0; at < size; at += static_cast<int64_t>(piece.size())) {
    const auto n = static_cast<std::streamsize>(std::min<int64_t>(size - at, piece.size()));
    if (!in.read(piece.data(), n) || !std::equal(piece.begin(), piece.begin() + n, data + at)) return false;
  }
  return in.peek() == std::char_traits<char>::eof();
}

bool SameFiles(const std::string& a, const std::string& b) {
  std::ifstream inA(a, std::ios::binary), inB(b, std::ios::binary);
  std::vector<char> pieceA(1 << 20), pieceB(1 << 20);
  while (inA && inB) {
    inA.read(pieceA.data(), static_cast<std::streamsize>(pieceA.size()));
    inB.read(pieceB.data(), static_cast<std::streamsize>(pieceB.size()));
    if (inA.gcount() != inB.gcount() || !std::equal(pieceA.begin(), pieceA.begin() + inA.gcount(), pieceB.begin()))
      return false;
  }
  return inA.eof() && inB.eof();
}

// CPU time of the calling thread (the download runs on it), which the other work on a
// shared machine disturbs far less than the wall-clock time.
double ThreadCpuSeconds() {
  timespec t{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &t);
  return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

// Peak resident set (VmHWM) in MiB; ResetPeak starts a new peak where the kernel allows.
double PeakRssMiB() {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);)
    if (line.rfind("VmHWM:", 0) == 0) return std::atof(line.c_str() + 6) / 1024.0;
  return 0;
}
bool ResetPeak() {
  std::ofstream clear("/proc/self/clear_refs");
  clear << "5";
  clear.flush();
  return clear.good();
}

std::string LoadAverage() {
  std::ifstream in("/proc/loadavg");
  std::string a, b, c;
  in >> a >> b >> c;
  return a + " " + b + " " + c;
}

// The longest gap between consecutive ticks from the start of the timed span, and the
// open gap from the last tick to the span's end (a lower bound when it is the longest).
struct Gaps {
  double closedMs = 0;
  double openTailMs = 0;
  int ticks = 0;
  double LatenessMs(int interval) const { return std::max(closedMs, openTailMs) - interval; }
};

Gaps GapsWithin(Clock::time_point begin, Clock::time_point end, const std::vector<Clock::time_point>& ticks) {
  Gaps g;
  Clock::time_point last = begin;
  for (Clock::time_point t : ticks) {
    if (t < begin || t > end) continue;
    g.closedMs = std::max(g.closedMs, Ms(last, t));
    last = t;
    ++g.ticks;
  }
  g.openTailMs = Ms(last, end);
  return g;
}

struct WindowRound {
  double bodySeconds = 0;     // click to the end of the body read
  double handlerSeconds = 0;  // the whole handler, storing included
  double requestSeconds = 0;  // click to the first byte of the body (connect, request, headers)
  int timer1Interval = 1000;
  double cpuSeconds = 0;  // of this thread, click to the end of the body read
  Gaps timer1, probe, probeWhole, probeRequest, probeStore;
  // Where the window's body time goes: the message pumps of the freeze guard and the
  // work-event handlers (the rest is the transport itself).
  int pumps = 0;
  double pumpSeconds = 0;
  int works = 0;
  double workSeconds = 0;
  double peakMiB = 0;
};

struct BareRound {
  double requestSeconds = 0;  // to the first byte of the body
  double bodySeconds = 0;     // to the end of the body read
  double fetchSeconds = 0;
  double cpuSeconds = 0;  // of this thread, to the end of the body read
  double withStoreSeconds = 0;
  double peakMiB = 0;
};

[[noreturn]] void Fail(const std::string& what) {
  std::fprintf(stderr, "app_download: %s\n", what.c_str());
  std::exit(1);
}

class Bench {
 public:
  Bench(TForm1& form1, const std::string& url, const std::string& sitePath, const std::string& storePath, int64_t size,
        int timer1Interval)
      : form1_(form1),
        url_(url),
        sitePath_(sitePath),
        storePath_(storePath),
        size_(size),
        timer1Interval_(timer1Interval) {}

  WindowRound RunWindow() {
    auto form2 = std::make_unique<TForm2>(form1_);
    form2->show();
    QCoreApplication::processEvents();
    TDialogSeam::Shown.clear();
    if (timer1Interval_ > 0) form2->Timer1->SetInterval(timer1Interval_);

    WindowRound r;
    const auto timed = [](int& count, double& seconds, auto&& call) {
      const Clock::time_point t = Clock::now();
      call();
      seconds += Seconds(t, Clock::now());
      ++count;
    };
    const auto pump = RuntimeHooks().ProcessMessages;
    Clock::time_point lastPump{};
    RuntimeHooks().ProcessMessages = [&] {
      // What-if only (APP_DOWNLOAD_PUMP_EVERY_MS): the pumps spaced out in time.
      if (pumpEveryMs_ > 0 && Ms(lastPump, Clock::now()) < pumpEveryMs_) return;
      lastPump = Clock::now();
      timed(r.pumps, r.pumpSeconds, pump);
    };

    Clock::time_point bodyBegin{}, bodyEnd{};
    std::vector<Clock::time_point> timer1Ticks, probeTicks;
    TNetHTTP& http = *form2->NetHTTP1;
    auto onBegin = http.OnWorkBegin;
    http.OnWorkBegin = [&](TObject* s, TWorkMode m, int32_t max) {
      onBegin(s, m, max);  // enables Timer1
      bodyBegin = Clock::now();
    };
    auto onWork = http.OnWork;
    http.OnWork = [&](TObject* s, TWorkMode m, int32_t count) {
      timed(r.works, r.workSeconds, [&] { onWork(s, m, count); });
    };
    auto onEnd = http.OnWorkEnd;
    double cpuEnd = 0;
    http.OnWorkEnd = [&](TObject* s, TWorkMode m) {
      bodyEnd = Clock::now();
      cpuEnd = ThreadCpuSeconds();
      onEnd(s, m);
    };
    auto onTimer = form2->Timer1->OnTimer;
    form2->Timer1->OnTimer = [&](TObject* s) {
      timer1Ticks.push_back(Clock::now());
      onTimer(s);
    };
    QTimer probe;  // a timer of the same thread as the window's, serviced by the same pump
    probe.setTimerType(Qt::PreciseTimer);
    QObject::connect(&probe, &QTimer::timeout, [&] { probeTicks.push_back(Clock::now()); });

    std::filesystem::remove(storePath_);
    ResetPeak();
    probe.start(kProbeIntervalMs);
    const double cpuStart = ThreadCpuSeconds();
    const Clock::time_point start = Clock::now();
    form2->Button1->click();
    const Clock::time_point done = Clock::now();
    probe.stop();
    RuntimeHooks().ProcessMessages = pump;

    r.peakMiB = PeakRssMiB();
    if (!TDialogSeam::Shown.empty()) Fail("the window showed a box: " + TDialogSeam::Shown[0].Text.toStdString());
    std::error_code ec;
    if (static_cast<int64_t>(std::filesystem::file_size(storePath_, ec)) != size_ || ec)
      Fail("the window did not store the whole package");
    if (form2->LastWorkCount() != size_) Fail("the window's last work count is not the package size");
    if (!SameFiles(storePath_, sitePath_)) Fail("the window stored other bytes than the server's");
    r.bodySeconds = Seconds(start, bodyEnd);
    r.handlerSeconds = Seconds(start, done);
    r.cpuSeconds = cpuEnd - cpuStart;
    r.timer1 = GapsWithin(bodyBegin, bodyEnd, timer1Ticks);
    r.timer1Interval = form2->Timer1->Interval();
    r.probe = GapsWithin(bodyBegin, bodyEnd, probeTicks);
    r.probeWhole = GapsWithin(start, done, probeTicks);
    r.probeRequest = GapsWithin(start, bodyBegin, probeTicks);
    r.probeStore = GapsWithin(bodyEnd, done, probeTicks);
    r.requestSeconds = Seconds(start, bodyBegin);
    if (getenv("APP_DOWNLOAD_TRACE")) {
      for (auto t : probeTicks) std::fprintf(stderr, "probe %.1f\n", Ms(start, t));
      std::fprintf(stderr, "begin %.1f end %.1f done %.1f\n", Ms(start, bodyBegin), Ms(start, bodyEnd),
                   Ms(start, done));
    }
    std::filesystem::remove(storePath_);
    form2.reset();
    QCoreApplication::processEvents();
    return r;
  }

  BareRound RunBare() {
    TNetHTTP http;
    ConfigureHttpClient(http);
    // Only the start and the end of the body are noted: no handler runs per block.
    Clock::time_point bodyBegin{}, bodyEnd{};
    http.OnWorkBegin = [&](TObject*, TWorkMode, int32_t) { bodyBegin = Clock::now(); };
    double cpuEnd = 0;
    http.OnWorkEnd = [&](TObject*, TWorkMode) {
      bodyEnd = Clock::now();
      cpuEnd = ThreadCpuSeconds();
    };
    BareRound r;
    {
      TMemoryStream body;  // as the window does: a new stream per download
      ResetPeak();
      const double cpuStart = ThreadCpuSeconds();
      const Clock::time_point start = Clock::now();
      http.FetchUrl(url_, body);
      const Clock::time_point fetched = Clock::now();
      if (body.Size() != size_) Fail("FetchUrl got " + std::to_string(body.Size()) + " bytes");
      ReplaceFileContent(storePath_, body.Memory(), body.Size());
      const Clock::time_point stored = Clock::now();
      r.peakMiB = PeakRssMiB();
      if (!SameAsFile(sitePath_, body.Memory(), body.Size())) Fail("FetchUrl got other bytes than the server's");
      r.fetchSeconds = Seconds(start, fetched);
      r.requestSeconds = Seconds(start, bodyBegin);
      r.bodySeconds = Seconds(start, bodyEnd);
      r.cpuSeconds = cpuEnd - cpuStart;
      r.withStoreSeconds = Seconds(start, stored);
    }
    std::filesystem::remove(storePath_);
    return r;
  }

 private:
  TForm1& form1_;
  std::string url_;
  std::string sitePath_;  // the package as the server has it
  std::string storePath_;
  int64_t size_;
  int timer1Interval_;
  int pumpEveryMs_ = getenv("APP_DOWNLOAD_PUMP_EVERY_MS") ? std::atoi(getenv("APP_DOWNLOAD_PUMP_EVERY_MS")) : 0;
};

double Best(std::vector<double> v) { return *std::min_element(v.begin(), v.end()); }
double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}
template <class R, class F>
std::vector<double> Column(const std::vector<R>& rounds, F field) {
  std::vector<double> v;
  for (const R& r : rounds) v.push_back(field(r));
  return v;
}

}  // namespace

int main(int argc, char** argv) {
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 256;
  const int rounds = std::max(1, argc > 2 ? std::atoi(argv[2]) : 3);
  const int timer1Interval = argc > 3 ? std::atoi(argv[3]) : 0;
  const int64_t size = mib * 1024 * 1024;
  if (size <= 0 || size > INT32_MAX) Fail("the size must be 1 to 2047 MiB");
  if (!NginxServer::Available()) Fail("nginx is not installed");

  const std::string loadBefore = LoadAverage();
  TempDir site, program, config;
  const std::string firmware = std::string("TavroMP3LiveUpdate2/Firmware/") + kModel + "/" + kPackage;
  WritePseudoRandom(site / (firmware + ".zip"), size);
  site.Write(firmware + ".asp", "<html><body>notes</body></html>");
  NginxServer nginx(site.Path());
  if (!nginx.Start()) Fail(nginx.LastError());

  program.Write("TavroMP3LiveUpdate.ini", "[ModelB]\r\n2.00=a\r\n");
  setenv("XDG_CONFIG_HOME", config.Path().c_str(), 1);
  SetProgramFolderForTesting(program.Path());
  TWebBrowser::SetUseRecordingView(true);
  TApplication application(argc, argv);
  Application->SetTitle("Tavro");
  TDialogSeam::Responder = [](const TShownDialog&) { return IDOK; };

  const TAppSettings settings{"127.0.0.1:" + std::to_string(nginx.Port()), program.Path()};
  TForm1 form1(settings);
  form1.Timer1->SetEnabled(false);
  const std::string storePath = program / (std::string("FirmwareBack/") + kPackage + ".zip");
  std::filesystem::create_directories(std::filesystem::path(storePath).parent_path());
  Bench bench(form1, nginx.Url("/" + firmware + ".zip"), site / (firmware + ".zip"), storePath, size, timer1Interval);

  const double rssIdle = PeakRssMiB();
  const bool peakResets = ResetPeak();
  bench.RunBare();  // warms the page cache and nginx
  std::vector<WindowRound> window;
  std::vector<BareRound> bare;
  for (int i = 0; i < rounds; ++i) {
    if (i % 2 == 0) {
      window.push_back(bench.RunWindow());
      bare.push_back(bench.RunBare());
    } else {
      bare.push_back(bench.RunBare());
      window.push_back(bench.RunWindow());
    }
    const WindowRound& w = window.back();
    const BareRound& b = bare.back();
    std::printf(
        "round %d: window %.3f s to body end (body from %.3f s), %.3f s handler; bare FetchUrl %.3f s "
        "(body from %.3f s), +store %.3f s; Timer1 %d ticks, late %.1f ms; probe late %.1f ms in the body, "
        "%.1f ms in the handler\n",
        i + 1, w.bodySeconds, w.requestSeconds, w.handlerSeconds, b.fetchSeconds, b.requestSeconds, b.withStoreSeconds,
        w.timer1.ticks, w.timer1.LatenessMs(w.timer1Interval), w.probe.LatenessMs(kProbeIntervalMs),
        w.probeWhole.LatenessMs(kProbeIntervalMs));
  }

  const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
  std::printf("\nbody %.0f MiB from nginx on 127.0.0.1, %d rounds, alternating order\n", mb, rounds);
  std::printf("load average before %s, after %s\n", loadBefore.c_str(), LoadAverage().c_str());
  std::printf("%-48s %10s %10s\n", "", "best", "median");
  const auto rate = [&](const char* name, const std::vector<double>& seconds) {
    std::printf("%-48s %5.0f MiB/s %5.0f MiB/s\n", name, mb / Best(seconds), mb / Median(seconds));
  };
  const auto windowBody = Column(window, [](const WindowRound& r) { return r.bodySeconds; });
  const auto windowBodyOnly = Column(window, [](const WindowRound& r) { return r.bodySeconds - r.requestSeconds; });
  const auto windowAll = Column(window, [](const WindowRound& r) { return r.handlerSeconds; });
  const auto bareFetch = Column(bare, [](const BareRound& r) { return r.fetchSeconds; });
  const auto bareBodyOnly = Column(bare, [](const BareRound& r) { return r.bodySeconds - r.requestSeconds; });
  const auto bareAll = Column(bare, [](const BareRound& r) { return r.withStoreSeconds; });
  rate("bare FetchUrl", bareFetch);
  rate("window: click to end of body", windowBody);
  rate("bare: body only (first to last body byte)", bareBodyOnly);
  rate("window: body only (first to last body byte)", windowBodyOnly);
  rate("bare FetchUrl + store", bareAll);
  rate("window: whole handler (stores the package)", windowAll);
  const auto cost = [](const std::vector<double>& windowSeconds, const std::vector<double>& bareSeconds, auto pick) {
    return 100.0 * (1.0 - pick(bareSeconds) / pick(windowSeconds));
  };
  const double costBest = cost(windowBody, bareFetch, Best);
  std::printf("window's cost of throughput, click to end of body: best %.1f%%, median %.1f%% (target <= 10%%) %s\n",
              costBest, cost(windowBody, bareFetch, Median), costBest <= 10.0 ? "met" : "NOT MET");
  std::printf(
      "  of which the body alone: best %.1f%%, median %.1f%%; the request before the body: window %.0f ms, "
      "bare %.0f ms (medians)\n",
      cost(windowBodyOnly, bareBodyOnly, Best), cost(windowBodyOnly, bareBodyOnly, Median),
      1000 * Median(Column(window, [](const WindowRound& r) { return r.requestSeconds; })),
      1000 * Median(Column(bare, [](const BareRound& r) { return r.requestSeconds; })));
  const auto windowCpu = Column(window, [](const WindowRound& r) { return r.cpuSeconds; });
  const auto bareCpu = Column(bare, [](const BareRound& r) { return r.cpuSeconds; });
  std::printf(
      "  CPU time of the downloading thread, click to end of body: window %.0f ms, bare %.0f ms (medians); "
      "the window's extra CPU: best %.1f%%, median %.1f%% of the bare side's\n",
      1000 * Median(windowCpu), 1000 * Median(bareCpu), 100.0 * (Best(windowCpu) / Best(bareCpu) - 1.0),
      100.0 * (Median(windowCpu) / Median(bareCpu) - 1.0));
  const auto perRound = [&](auto field) { return Median(Column(window, field)); };
  std::printf("  window's body time (medians): %.0f pumps taking %.0f ms, %.0f work events taking %.0f ms\n",
              perRound([](const WindowRound& r) { return double(r.pumps); }),
              1000 * perRound([](const WindowRound& r) { return r.pumpSeconds; }),
              perRound([](const WindowRound& r) { return double(r.works); }),
              1000 * perRound([](const WindowRound& r) { return r.workSeconds; }));
  std::printf("window's cost, whole handler against FetchUrl + the same store: best %.1f%%, median %.1f%%\n",
              cost(windowAll, bareAll, Best), cost(windowAll, bareAll, Median));

  // Negative lateness means no gap outlasted the interval (for Timer1: no tick was due).
  const auto late = [&](auto lateness) {
    std::vector<double> l;
    for (const WindowRound& r : window) l.push_back(std::max(0.0, lateness(r)));
    std::printf("best %.1f ms, median %.1f ms, worst %.1f ms\n", Best(l), Median(l),
                *std::max_element(l.begin(), l.end()));
    return *std::max_element(l.begin(), l.end());
  };
  int timer1Ticks = 0;
  for (const WindowRound& r : window) timer1Ticks += r.timer1.ticks;
  std::printf("longest gap between Timer1 ticks beyond its %d ms, body start to end (%d ticks in all rounds): ",
              window.front().timer1Interval, timer1Ticks);
  const double worstTimer1 = late([](const WindowRound& r) { return r.timer1.LatenessMs(r.timer1Interval); });
  std::printf("longest gap between %d ms probe ticks beyond the interval, body start to end: ", kProbeIntervalMs);
  const double worstBody = late([](const WindowRound& r) { return r.probe.LatenessMs(kProbeIntervalMs); });
  std::printf("  the same from the click to the first body byte (connect, request, headers): ");
  late([](const WindowRound& r) { return r.probeRequest.LatenessMs(kProbeIntervalMs); });
  std::printf("  the same from the end of the body to the handler's return (storing the package): ");
  late([](const WindowRound& r) { return r.probeStore.LatenessMs(kProbeIntervalMs); });
  std::printf("  the same over the whole handler, click to return: ");
  const double worstWhole = late([](const WindowRound& r) { return r.probeWhole.LatenessMs(kProbeIntervalMs); });
  std::printf("timer target < 50 ms beyond the interval during the body: %s; over the whole handler: %s\n",
              std::max(worstTimer1, worstBody) < 50.0 ? "met" : "NOT MET", worstWhole < 50.0 ? "met" : "NOT MET");

  const auto windowPeak = Column(window, [](const WindowRound& r) { return r.peakMiB; });
  const auto barePeak = Column(bare, [](const BareRound& r) { return r.peakMiB; });
  const double peak = *std::max_element(windowPeak.begin(), windowPeak.end());
  std::printf(
      "peak RSS during a download: window %.1f MiB, bare %.1f MiB, same process; idle before any download "
      "%.1f MiB (%s)\n",
      peak, *std::max_element(barePeak.begin(), barePeak.end()), rssIdle,
      peakResets ? "peak reset before each download" : "peak NOT resettable: process-wide");
  std::printf("window's growth over idle %.1f MiB, target <= body + 64 = %.0f MiB: %s\n", peak - rssIdle, mb + 64,
              peak - rssIdle <= mb + 64 ? "met" : "NOT MET");
  return 0;
}
