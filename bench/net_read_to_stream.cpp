// ReadToStream of a 256 MiB counted body over loopback, against a plain recv() loop
// into a preallocated buffer. The parent process is the one sender for every run: it
// sends the same bytes from a 1 MiB block. Each reader runs in its own child process,
// so its peak RSS (ru_maxrss) is its own. Runs alternate in a rotating order and the
// best of each is kept.
//
//   net_read_to_stream [rounds]
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
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "net/NetFreezeGuard.h"
#include "net/NetTCPClient.h"
#include "runtime/MemoryStream.h"
#include "support/Loopback.h"

namespace {

constexpr int64_t kBody = int64_t{256} << 20;
constexpr size_t kSendBlock = 1 << 20;
using Clock = std::chrono::steady_clock;

// The bytes the sender repeats.
std::vector<char> SendBlock() {
  std::vector<char> block(kSendBlock);
  for (size_t i = 0; i < block.size(); ++i) block[i] = static_cast<char>(i * 131);
  return block;
}

// Whether data holds the whole body as sent (checked after the clock stopped).
bool BodyIsIntact(const char* data) {
  const std::vector<char> block = SendBlock();
  for (int64_t at = 0; at < kBody; at += kSendBlock) {
    if (std::memcmp(data + at, block.data(), kSendBlock) != 0) return false;
  }
  return true;
}

struct Result {
  double seconds = 0;
  long maxRssKb = 0;
};

// Child: reads the body one way, prints "seconds maxrss_kb".
int RunReader(const std::string& mode, int port) {
  Clock::time_point start, end;
  if (mode.rfind("plain", 0) == 0) {
    char* buffer = static_cast<char*>(std::malloc(kBody));
    // "plain": preallocated and zero-filled before the clock starts, as SetSize fills
    // a pre-sized stream; "plain-ones" filled with ones instead; "plain-untouched"
    // pays its page faults while receiving, as a freshly grown stream does. The fill
    // goes through a pointer the compiler cannot see through, or it would turn
    // malloc + memset 0 into a calloc that touches nothing.
    static void* (*volatile fill)(void*, int, size_t) = std::memset;
    if (mode != "plain-untouched") fill(buffer, mode == "plain-ones" ? 1 : 0, kBody);
    const int fd = ConnectLoopback(static_cast<uint16_t>(port));
    if (fd < 0) return 1;
    start = Clock::now();
    int64_t got = 0;
    while (got < kBody) {
      const ssize_t n = ::recv(fd, buffer + got, static_cast<size_t>(std::min<int64_t>(kBody - got, 32768)), 0);
      if (n <= 0) return 2;
      got += n;
    }
    end = Clock::now();
    ::close(fd);
    if (!BodyIsIntact(buffer)) return 4;
    std::free(buffer);
  } else {
    // "stream-guarded": as during the application's download, the freeze guard
    // pumps (here an empty queue) after every receive step.
    std::unique_ptr<TNetFreezeGuard> guard;
    if (mode == "stream-guarded") {
      guard = std::make_unique<TNetFreezeGuard>();
      guard->SetOnlyWhenIdle(false);
    }
    TNetTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(port);
    TMemoryStream stream;
    if (mode == "stream-presized") {
      stream.SetSize(kBody);  // like the plain loop's preallocated buffer
      stream.SetPosition(0);
    }
    client.OpenConnection();
    start = Clock::now();
    client.ReadToStream(stream, kBody);
    end = Clock::now();
    if (stream.Size() != kBody || !BodyIsIntact(stream.Memory())) return 3;
  }
  rusage usage{};
  ::getrusage(RUSAGE_SELF, &usage);
  std::printf("%.6f %ld\n", std::chrono::duration<double>(end - start).count(), usage.ru_maxrss);
  return 0;
}

// Parent: starts a reader child, sends it the body, collects its result.
Result RunOnce(const char* self, const std::string& mode, int listenFd, int port, const std::vector<char>& block) {
  int pipeFds[2];
  if (::pipe(pipeFds) != 0) std::exit(1);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(pipeFds[1], 1);
    ::close(pipeFds[0]);
    ::close(listenFd);
    ::execl(self, self, "--reader", mode.c_str(), std::to_string(port).c_str(), static_cast<char*>(nullptr));
    std::_Exit(127);
  }
  ::close(pipeFds[1]);
  const int fd = ::accept(listenFd, nullptr, nullptr);
  for (int64_t sent = 0; sent < kBody;) {
    const ssize_t n = ::send(fd, block.data(), static_cast<size_t>(std::min<int64_t>(kBody - sent, kSendBlock)),
                             MSG_NOSIGNAL);
    if (n <= 0) break;
    sent += n;
  }
  char text[128] = {};
  const ssize_t len = ::read(pipeFds[0], text, sizeof text - 1);
  ::close(pipeFds[0]);
  ::close(fd);
  int status = 0;
  ::waitpid(pid, &status, 0);
  Result result;
  if (len <= 0 || std::sscanf(text, "%lf %ld", &result.seconds, &result.maxRssKb) != 2) {
    std::fprintf(stderr, "%s reader failed (status %d)\n", mode.c_str(), status);
    std::exit(1);
  }
  return result;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 4 && std::string(argv[1]) == "--reader") return RunReader(argv[2], std::atoi(argv[3]));
  const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 5;

  const int listenFd = BindLoopback(4);
  const int port = LocalPort(listenFd);
  const std::vector<char> block = SendBlock();

  const std::vector<std::string> modes = {"plain",           "stream",         "stream-presized",
                                          "plain-untouched", "stream-guarded", "plain-ones"};
  std::vector<Result> best(modes.size());
  std::vector<std::vector<double>> all(modes.size());
  for (int round = 0; round < rounds; ++round) {
    // The order rotates every round, so no reader always runs first or after the same one.
    for (size_t k = 0; k < modes.size(); ++k) {
      const size_t m = (k + static_cast<size_t>(round)) % modes.size();
      const Result r = RunOnce("/proc/self/exe", modes[m], listenFd, port, block);
      all[m].push_back(r.seconds);
      if (best[m].seconds == 0 || r.seconds < best[m].seconds) best[m].seconds = r.seconds;
      best[m].maxRssKb = std::max(best[m].maxRssKb, r.maxRssKb);
    }
  }
  const double mib = static_cast<double>(kBody) / (1 << 20);
  std::printf("body %.0f MiB, %d rounds, best of each (median in brackets)\n", mib, rounds);
  for (size_t m = 0; m < modes.size(); ++m) {
    std::sort(all[m].begin(), all[m].end());
    const double median = all[m][all[m].size() / 2];
    std::printf("%-16s %7.1f ms (%7.1f ms)  %7.0f MiB/s  peak RSS %6.1f MiB\n", modes[m].c_str(),
                best[m].seconds * 1000, median * 1000, mib / best[m].seconds, best[m].maxRssKb / 1024.0);
  }
  // Like for like: memory touched before the clock on both sides, or on neither.
  std::printf("ratio ReadToStream/plain (throughput, best): presized stream vs touched buffer %.3f\n",
              best[0].seconds / best[2].seconds);
  std::printf("  fresh stream vs untouched buffer %.3f, guarded fresh stream vs untouched buffer %.3f\n",
              best[3].seconds / best[1].seconds, best[3].seconds / best[4].seconds);
  std::printf("  fresh stream vs touched buffer %.3f\n", best[0].seconds / best[1].seconds);
  std::printf("peak RSS over body: fresh stream %+.1f MiB, plain loop %+.1f MiB\n",
              best[1].maxRssKb / 1024.0 - mib, best[0].maxRssKb / 1024.0 - mib);
  ::close(listenFd);
  return 0;
}
