// One GET as a whole process, timed from the start of the fetch to the first bytes of
// the answer: name resolution and the connect race included, as curl's
// time_starttransfer counts them. bench/compare (section "connect") runs it beside curl.
//   net_first_byte URL [--log]
// Prints the seconds; writes them to $CMP_SPAN_FILE as well when that is set. --log
// mirrors the program's log to standard error (the connect's attempts and the one used).
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iomanip>

#include "BenchSite.h"
#include "http/NetHTTP.h"
#include "net/NetConnectionIntercept.h"
#include "platform/Log.h"
#include "runtime/MemoryStream.h"

namespace {
// Notes when the first bytes of the answer arrive.
class TFirstByte : public TNetConnectionIntercept {
 public:
  bench::Clock::time_point At{};
  void Receive(TNetSimpleBuffer& buffer) override {
    if (At == bench::Clock::time_point{}) At = bench::Clock::now();
    TNetConnectionIntercept::Receive(buffer);
  }
};
}  // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::fprintf(stderr, "usage: net_first_byte URL [--log]\n");
    return 2;
  }
  if (argc > 2 && std::strcmp(argv[2], "--log") == 0) StartLog(true);
  TNetHTTP http;
  TFirstByte first;
  http.SetIntercept(&first);
  TMemoryStream body;
  const auto start = bench::Clock::now();
  try {
    http.FetchUrl(argv[1], body);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "net_first_byte: %s\n", e.what());
    return 1;
  }
  const double seconds = bench::Seconds(start, first.At == bench::Clock::time_point{} ? bench::Clock::now() : first.At);
  std::printf("%.6f\n", seconds);
  if (const char* span = std::getenv("CMP_SPAN_FILE"))
    std::ofstream(span) << std::fixed << std::setprecision(6) << seconds << "\n";
  return 0;
}
