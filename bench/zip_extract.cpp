// ExtractMatching of a ~200 MiB deflated archive of mixed files against Info-ZIP
// `unzip -o -q` of the same archive, in the same run. Prints each side's throughput,
// the ratio (ours / unzip) and each side's peak RSS (each extraction runs in its own
// child process, measured with wait4).
//
//   zip_extract [work-folder] [rounds]     (default /tmp/tavro-zip-bench, 3 rounds)
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

#include "zip/ZipArchiver.h"

namespace fs = std::filesystem;

namespace {

void WriteFile(const fs::path& p, const std::string& data) {
  fs::create_directories(p.parent_path());
  std::ofstream(p, std::ios::binary).write(data.data(), static_cast<std::streamsize>(data.size()));
}

// Text that compresses well, random bytes that do not, and bytes from a small
// alphabet in between; plus many small files.
void MakeSource(const fs::path& dir) {
  std::mt19937_64 gen(42);
  for (int i = 0; i < 150; ++i) {
    std::string text;
    while (text.size() < (2 << 20))
      text += "2026-12-07 20:13:" + std::to_string(gen() % 60) + " player " + std::to_string(gen() % 1000) +
              " firmware block " + std::to_string(gen()) + " ok\n";
    WriteFile(dir / "logs" / ("log" + std::to_string(i) + ".txt"), text);
  }
  for (int i = 0; i < 70; ++i) {
    std::string bytes(1 << 20, '\0');
    for (size_t j = 0; j < bytes.size(); j += 8) {
      const uint64_t v = gen();
      std::memcpy(&bytes[j], &v, 8);
    }
    WriteFile(dir / "media" / ("track" + std::to_string(i) + ".mp3"), bytes);
  }
  for (int i = 0; i < 40; ++i) {
    std::string bytes(2 << 20, '\0');
    for (char& c : bytes) c = static_cast<char>('a' + gen() % 16);
    WriteFile(dir / "fw" / ("image" + std::to_string(i) + ".bin"), bytes);
  }
  for (int i = 0; i < 3000; ++i) {
    std::string bytes(4096 + gen() % 8192, '\0');
    for (char& c : bytes) c = static_cast<char>(gen() % 64 + 32);
    WriteFile(dir / "small" / std::to_string(i % 30) / ("f" + std::to_string(i) + ".dat"), bytes);
  }
}

struct Run {
  double seconds;
  long maxRssKb;
};

// Runs fn in a child process; returns wall time and the child's peak RSS.
template <class Fn>
Run InChild(Fn fn) {
  const auto start = std::chrono::steady_clock::now();
  const pid_t pid = fork();
  if (pid == 0) _exit(fn());
  int status = 0;
  struct rusage usage {};
  wait4(pid, &status, 0, &usage);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  if (!WIFEXITED(status) || WEXITSTATUS(status) > 1) {
    std::fprintf(stderr, "extraction failed (status %d)\n", status);
    std::exit(2);
  }
  return {seconds, usage.ru_maxrss};
}

int ExtractWithArchiver(const std::string& archive, const std::string& out, bool flush) {
  TZipArchiver archiver;
  archiver.SetName("Archiver");
  archiver.Options().FlushBuffers = flush;
  archiver.SetFileName(archive);
  archiver.OpenZipFile(0x20);
  archiver.SetBaseDir(out);
  archiver.ExtractMatching("*.*", 10431, "");
  archiver.CloseZipFile();
  return archiver.LastRunFailures() == 0 && !archiver.LastRunAborted() ? 0 : 3;
}

}  // namespace

int main(int argc, char** argv) {
  const fs::path work = argc > 1 ? argv[1] : "/tmp/tavro-zip-bench";
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const std::string archive = (work / "bench.zip").string();
  if (!fs::exists(archive)) {
    std::printf("making the archive in %s ...\n", work.c_str());
    MakeSource(work / "src");
    const std::string cmd = "cd '" + (work / "src").string() + "' && zip -q -r '" + archive + "' .";
    if (std::system(cmd.c_str()) != 0) return 1;
    fs::remove_all(work / "src");
  }
  const double mib = static_cast<double>(fs::file_size(archive)) / (1 << 20);
  std::printf("archive: %s, %.1f MiB\n", archive.c_str(), mib);

  const std::string unzipOut = (work / "out-unzip").string();
  const std::string oursOut = (work / "out-ours").string();
  auto unzip = [&] {
    const std::string cmd = "unzip -o -q '" + archive + "' -d '" + unzipOut + "'";
    return std::system(cmd.c_str()) == 0 ? 0 : 3;
  };
  InChild(unzip);  // warm the page cache and create the folders on both sides
  InChild([&] { return ExtractWithArchiver(archive, oursOut, false); });

  double bestUnzip = 1e9, bestOurs = 1e9, bestOursFlush = 1e9;
  long rssUnzip = 0, rssOurs = 0;
  for (int r = 0; r < rounds; ++r) {
    const Run u = InChild(unzip);
    const Run o = InChild([&] { return ExtractWithArchiver(archive, oursOut, false); });
    bestUnzip = std::min(bestUnzip, u.seconds);
    bestOurs = std::min(bestOurs, o.seconds);
    rssUnzip = std::max(rssUnzip, u.maxRssKb);
    rssOurs = std::max(rssOurs, o.maxRssKb);
    std::printf("round %d: unzip %.3f s, ExtractMatching %.3f s\n", r + 1, u.seconds, o.seconds);
  }
  const Run f = InChild([&] { return ExtractWithArchiver(archive, oursOut, true); });
  bestOursFlush = f.seconds;
  std::printf("unzip -o -q:          %7.1f MiB/s (archive bytes), peak RSS %6.1f MiB\n", mib / bestUnzip,
              rssUnzip / 1024.0);
  std::printf("ExtractMatching:      %7.1f MiB/s (archive bytes), peak RSS %6.1f MiB\n", mib / bestOurs,
              rssOurs / 1024.0);
  std::printf("throughput ratio (ExtractMatching / unzip): %.2f\n", bestUnzip / bestOurs);
  std::printf("with FlushBuffers (fsync per file, the window's setting): %.3f s, ratio %.2f, peak RSS %.1f MiB\n",
              bestOursFlush, bestUnzip / bestOursFlush, f.maxRssKb / 1024.0);
  fs::remove_all(unzipOut);
  fs::remove_all(oursOut);
  return 0;
}
