// FetchUrl of a 256 MiB file from nginx on loopback into a memory stream, side by
// side with curl fetching the same URL to /dev/null in the same run.
//
// Prints both throughputs, their ratio (target: at least 0.9 of curl's) and the peak
// resident set of this process (target: within the body size + 64 MiB).
//
// curl -o /dev/null reuses one small buffer, while a memory stream must fault in a
// fresh page every 4 KiB of body. To separate that cost from the client's own, two
// references run in the same rounds: FetchUrl into a stream whose memory is already
// faulted in (reused from the previous round), and a bare recv() loop into fresh memory.
//   http_fetch [size in MiB, default 256] [rounds, default 3]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "BenchSite.h"
#include "http/NetHTTP.h"
#include "runtime/MemoryStream.h"
#include "support/NginxServer.h"
#include "support/TempDir.h"

namespace {

using bench::Clock;
using bench::Seconds;
using bench::WriteSite;

// Runs curl to a file (/dev/null, or a file in memory); the time includes starting the
// process, as a user would see it.
double CurlSeconds(const std::string& url, const char* output = "/dev/null") {
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execlp("curl", "curl", "-s", "-o", output, url.c_str(), static_cast<char*>(nullptr));
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const auto end = Clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "curl failed\n");
    std::exit(1);
  }
  return Seconds(start, end);
}

double FetchSeconds(const std::string& url, int64_t expected, TMemoryStream& stream) {
  TNetHTTP http;
  stream.SetPosition(0);
  const auto start = Clock::now();
  http.FetchUrl(url, stream);
  const auto end = Clock::now();
  if (stream.Size() != expected) {
    std::fprintf(stderr, "FetchUrl got %lld of %lld bytes\n", static_cast<long long>(stream.Size()),
                 static_cast<long long>(expected));
    std::exit(1);
  }
  return Seconds(start, end);
}

// The floor for any receiver that keeps the body: recv() of 32 KiB blocks into fresh memory.
double RawRecvSeconds(uint16_t port, int64_t size) {
  const int fd = socket(AF_INET, SOCK_STREAM, 0);
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  a.sin_port = htons(port);
  const auto start = Clock::now();
  if (connect(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0) std::exit(1);
  const std::string request = "GET /big.zip HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n";
  if (send(fd, request.data(), request.size(), 0) < 0) std::exit(1);
  char* buffer = static_cast<char*>(std::malloc(static_cast<size_t>(size) + 65536));
  int64_t got = 0;
  for (;;) {
    const ssize_t n = recv(fd, buffer + std::min(got, size), 32768, 0);
    if (n <= 0) break;
    got += n;
  }
  const auto end = Clock::now();
  std::free(buffer);
  close(fd);
  return Seconds(start, end);
}

double PeakRssMiB() {
  rusage u{};
  getrusage(RUSAGE_SELF, &u);
  return static_cast<double>(u.ru_maxrss) / 1024.0;
}

}  // namespace

int main(int argc, char** argv) {
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 3;
  const int64_t size = mib * 1024 * 1024;
  if (!NginxServer::Available()) {
    std::fprintf(stderr, "nginx is not installed\n");
    return 1;
  }
  TempDir site;
  WriteSite(site / "big.zip", size);
  NginxServer nginx(site.Path());
  if (!nginx.Start()) {
    std::fprintf(stderr, "%s\n", nginx.LastError().c_str());
    return 1;
  }
  const std::string url = nginx.Url("/big.zip");
  CurlSeconds(url);  // warms the page cache
  const double rssBefore = PeakRssMiB();

  // curl keeping the body in memory too (a file in /dev/shm): the like-for-like peer.
  const std::string shmFile = "/dev/shm/tavro-http-fetch-" + std::to_string(getpid());
  std::vector<double> curl, curlShm, fresh, reused, raw;
  double peak = 0;
  TMemoryStream warm;
  for (int i = 0; i < rounds; ++i) {
    curl.push_back(CurlSeconds(url));
    curlShm.push_back(CurlSeconds(url, shmFile.c_str()));
    unlink(shmFile.c_str());
    {
      TMemoryStream stream;  // as the application does: a new stream per fetch
      fresh.push_back(FetchSeconds(url, size, stream));
      // Measured before the reused stream exists, so it is one body's worth.
      if (i == 0) peak = PeakRssMiB();
    }
    reused.push_back(FetchSeconds(url, size, warm));
    raw.push_back(RawRecvSeconds(nginx.Port(), size));
  }
  const auto best = [](const std::vector<double>& v) { return *std::min_element(v.begin(), v.end()); };
  const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
  const double curlRate = mb / best(curl);
  const auto line = [&](const char* name, const std::vector<double>& v) {
    std::printf("%-34s %8.1f MiB/s  ratio to curl %.3f\n", name, mb / best(v), (mb / best(v)) / curlRate);
  };
  std::printf("body %.0f MiB, best of %d rounds each, interleaved\n", mb, rounds);
  std::printf("%-34s %8.1f MiB/s\n", "curl -s -o /dev/null", curlRate);
  line("curl -s -o /dev/shm/file", curlShm);
  line("FetchUrl, new memory stream", fresh);
  line("FetchUrl, reused memory stream", reused);
  line("recv() into new memory (floor)", raw);
  const double ratio = (mb / best(fresh)) / curlRate;
  std::printf("target ratio >= 0.9 with a new stream: %s\n", ratio >= 0.9 ? "met" : "NOT MET");
  const double shmRatio = (mb / best(fresh)) / (mb / best(curlShm));
  std::printf("ratio to curl keeping the body in memory: %.3f\n", shmRatio);
  std::printf("peak RSS after the first fetch %.1f MiB (before fetching %.1f MiB; target <= body + 64 = %.0f MiB) %s\n",
              peak, rssBefore, mb + 64, peak <= mb + 64 ? "met" : "NOT MET");
  return 0;
}
