// What the download benchmarks share: a large file of pseudo-random bytes for nginx to
// serve, and seconds between two clock readings.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <fstream>
#include <string>
#include <vector>

namespace bench {

using Clock = std::chrono::steady_clock;

inline double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// size bytes of xorshift output (incompressible, like a firmware package).
inline void WriteSite(const std::string& file, int64_t size) {
  std::ofstream out(file, std::ios::binary);
  std::vector<char> block(1 << 20);
  uint32_t x = 2463534242u;
  for (int64_t done = 0; done < size; done += static_cast<int64_t>(block.size())) {
    for (char& c : block) {
      x ^= x << 13;
      x ^= x >> 17;
      x ^= x << 5;
      c = static_cast<char>(x);
    }
    out.write(block.data(), static_cast<std::streamsize>(std::min<int64_t>(size - done, block.size())));
  }
}

}  // namespace bench
