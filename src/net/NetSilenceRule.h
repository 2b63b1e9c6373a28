// TNetSilenceRule: when a body read counts as broken although its connection stays open.
//
// While watched (Begin ... End, nesting), fewer than MinBytes bytes in the last WindowMs
// ms (counted from Begin at first) break the rule. The connection tells it every receive
// (Note) and asks before every wait how long that wait may take (BoundedWait), so the
// wait ends when the rule would break, however long its own timeout is. MinBytes 0 (the
// default) turns it off.
#pragma once

#include <cstdint>
#include <deque>
#include <utility>

class TNetSilenceRule {
 public:
  int32_t MinBytes() const { return minBytes_; }
  int32_t WindowMs() const { return windowMs_; }
  void Set(int32_t minBytes, int32_t windowMs) {
    minBytes_ = minBytes;
    windowMs_ = windowMs > 0 ? windowMs : 1;
  }
  void Begin();
  void End();
  void Note(int64_t bytes);
  // timeout (ms, or kNetNoTimeLimit) cut to the time the rule holds; *bound tells whether
  // the rule cut it. Raises ENetConnectionSilent once the rule is broken.
  int32_t BoundedWait(int32_t timeout, bool* bound);
  [[noreturn]] void Raise() const;

 private:
  bool Active() const { return depth_ > 0 && minBytes_ > 0; }

  int32_t minBytes_ = 0;
  int32_t windowMs_ = 30000;
  int depth_ = 0;
  int64_t start_ = 0;
  // (ms of the latest receive, bytes) in a few buckets.
  std::deque<std::pair<int64_t, int64_t>> arrivals_;
};
