// Parsing of hostile header values and filling of the cookie store, beside the floor
// of a plain split of the same bytes: a 1 MB "Set-Cookie" value of ";"-separated parts
// (as unfolded from one long line and 63 continuation lines), a 1 MB Basic challenge,
// and 16 responses of 999 distinct cookies from one host and from many hosts.
//
//   http_header_parsing [--benchmark_filter=...]
#include <benchmark/benchmark.h>

#include <string>
#include <string_view>

#include "http/NetAuthentication.h"
#include "http/NetCookieManager.h"
#include "http/NetHeaderList.h"

namespace {

constexpr size_t kValueBytes = 1 << 20;

// One 16,000-byte line and continuation lines of ";", unfolded as the client sees them.
AnsiString HostileCookieValue() {
  TNetHeaderList lines;
  lines.Add("Set-Cookie: A=1; path=/; " + std::string(16000 - 37, 'x'));
  const size_t rest = (kValueBytes - 16000) / 63;
  for (int i = 0; i < 63; ++i) lines.Add(" " + std::string(rest - 1, ';'));
  return lines.ValueOf("Set-Cookie");
}

AnsiString HostileChallenge() {
  AnsiString value = "Basic realm=\"r\"";
  while (value.size() < kValueBytes) value += ", a=b";
  return value;
}

// The floor: one pass over the same bytes, counting the parts.
void BM_PlainSplitFloor(benchmark::State& state) {
  const AnsiString value = HostileCookieValue();
  for (auto _ : state) {
    size_t parts = 0;
    for (std::string_view v = value; !v.empty();) {
      const size_t cut = v.find(';');
      ++parts;
      v = cut == std::string_view::npos ? std::string_view() : v.substr(cut + 1);
    }
    benchmark::DoNotOptimize(parts);
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * value.size()));
}
BENCHMARK(BM_PlainSplitFloor)->Unit(benchmark::kMillisecond);

void BM_HostileSetCookie(benchmark::State& state) {
  const AnsiString value = HostileCookieValue();
  for (auto _ : state) {
    TNetCookieManager manager;
    manager.StoreCookie(value, "h.example");
    benchmark::DoNotOptimize(manager.CookieCollection().Count());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * value.size()));
}
BENCHMARK(BM_HostileSetCookie)->Unit(benchmark::kMillisecond);

void BM_HostileBasicChallenge(benchmark::State& state) {
  const AnsiString value = HostileChallenge();
  for (auto _ : state) {
    auto auth = BasicAuthenticationClass()->Create();
    auth->Challenges().Add(value);
    benchmark::DoNotOptimize(auth->NextStep());
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * value.size()));
}
BENCHMARK(BM_HostileBasicChallenge)->Unit(benchmark::kMillisecond);

// 16 responses of 999 distinct cookies, from one host (range(0) == 1) or from a new
// host every 50 cookies.
void BM_StoreManyCookies(benchmark::State& state) {
  const bool oneHost = state.range(0) == 1;
  for (auto _ : state) {
    TNetCookieManager manager;
    for (int response = 0; response < 16; ++response)
      for (int i = 0; i < 999; ++i) {
        const int n = response * 999 + i;
        const AnsiString host = oneHost ? AnsiString("h.example") : "h" + std::to_string(n / 50) + ".example";
        manager.StoreCookie("C" + std::to_string(n) + "=v; path=/", host);
      }
    benchmark::DoNotOptimize(manager.CookieCollection().Count());
  }
}
BENCHMARK(BM_StoreManyCookies)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
