// An HTTPS download of a 256 MiB file from nginx speaking TLS on 127.0.0.1, side by
// side with `curl -o` over the same server: whole processes (start, handshake,
// transfer, exit), interleaved round by round, medians compared.
//
// Our side is this program run again as a child with --fetch: one FetchUrl into a new
// memory stream, as the application downloads a package. curl writes to /dev/null
// (its usual use) and, as the like-for-like peer that keeps the body, to a file in
// /dev/shm. Both trust the test CA made for the run and nothing else.
//   https_fetch [size in MiB, default 256] [rounds, default 5]
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "BenchSite.h"
#include "http/NetHTTP.h"
#include "runtime/MemoryStream.h"
#include "support/NginxServer.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"

namespace {

using bench::Clock;

// Runs argv as a child process and returns its wall time; exits when it fails.
double RunSeconds(const std::vector<std::string>& args) {
  std::vector<char*> argv;
  for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const auto start = Clock::now();
  const pid_t pid = fork();
  if (pid == 0) {
    execvp(argv[0], argv.data());
    _exit(127);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  const auto end = Clock::now();
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
    std::fprintf(stderr, "%s failed\n", args[0].c_str());
    std::exit(1);
  }
  return bench::Seconds(start, end);
}

// The child: one fetch, as the application makes it.
int Fetch(const char* url, const char* caFile, long long expected) {
  TNetHTTP http;
  http.SetTLSCAFile(caFile);
  TMemoryStream body;
  try {
    http.FetchUrl(url, body);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "FetchUrl: %s\n", e.what());
    return 1;
  }
  if (body.Size() != expected) {
    std::fprintf(stderr, "FetchUrl got %lld of %lld bytes\n", static_cast<long long>(body.Size()), expected);
    return 1;
  }
  return 0;
}

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  const size_t n = v.size();
  return n % 2 ? v[n / 2] : (v[n / 2 - 1] + v[n / 2]) / 2;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 5 && std::string(argv[1]) == "--fetch") return Fetch(argv[2], argv[3], std::atoll(argv[4]));
  const int64_t mib = argc > 1 ? std::atoll(argv[1]) : 256;
  const int rounds = argc > 2 ? std::atoi(argv[2]) : 5;
  const int64_t size = mib * 1024 * 1024;
  if (!NginxServer::Available()) {
    std::fprintf(stderr, "nginx is not installed\n");
    return 1;
  }
  const TestCertificates& certs = TestCertificates::Shared();
  if (!certs.Made()) {
    std::fprintf(stderr, "the test certificates were not made\n");
    return 1;
  }
  TempDir site;
  bench::WriteSite(site / "big.zip", size);
  NginxServer::Options options;
  options.Root = site.Path();
  options.TlsCertificate = certs.Pem("localhost");
  options.TlsKey = certs.Key("localhost");
  NginxServer nginx(options);
  if (!nginx.Start()) {
    std::fprintf(stderr, "%s\n", nginx.LastError().c_str());
    return 1;
  }
  const std::string url = nginx.Url("/big.zip");
  const std::string shmFile = "/dev/shm/tavro-https-fetch-" + std::to_string(getpid());
  const std::vector<std::string> ours{"/proc/self/exe", "--fetch", url, certs.CA(), std::to_string(size)};
  const std::vector<std::string> curlNull{"curl", "-s", "--cacert", certs.CA(), "-o", "/dev/null", url};
  const std::vector<std::string> curlShm{"curl", "-s", "--cacert", certs.CA(), "-o", shmFile, url};
  RunSeconds(curlNull);  // warms the page cache and checks that curl trusts the server

  std::vector<double> tNull, tShm, tOurs;
  for (int i = 0; i < rounds; ++i) {
    // The order rotates, so no side always runs right after another.
    for (int k = 0; k < 3; ++k) {
      switch ((i + k) % 3) {
        case 0: tNull.push_back(RunSeconds(curlNull)); break;
        case 1: tShm.push_back(RunSeconds(curlShm)); unlink(shmFile.c_str()); break;
        default: tOurs.push_back(RunSeconds(ours)); break;
      }
    }
  }
  const double mb = static_cast<double>(size) / (1024.0 * 1024.0);
  const double curlRate = mb / Median(tNull);
  std::printf("https body %.0f MiB from nginx (TLS) on 127.0.0.1, whole processes, median of %d interleaved rounds\n",
              mb, rounds);
  std::printf("%-36s %8.1f MiB/s\n", "curl -s -o /dev/null", curlRate);
  std::printf("%-36s %8.1f MiB/s  ratio to curl -o /dev/null %.3f\n", "curl -s -o /dev/shm/file", mb / Median(tShm),
              Median(tNull) / Median(tShm));
  std::printf("%-36s %8.1f MiB/s  ratio to curl -o /dev/null %.3f\n", "FetchUrl into a new memory stream",
              mb / Median(tOurs), Median(tNull) / Median(tOurs));
  std::printf("ratio to curl keeping the body (/dev/shm): %.3f\n", Median(tShm) / Median(tOurs));
  return 0;
}
