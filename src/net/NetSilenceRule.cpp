#include "net/NetSilenceRule.h"

#include <algorithm>
#include <chrono>

#include "net/NetComponent.h"
#include "net/NetException.h"

namespace {
int64_t SteadyMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}
}  // namespace

void TNetSilenceRule::Begin() {
  if (depth_++ > 0) return;
  start_ = SteadyMs();
  arrivals_.clear();
}

void TNetSilenceRule::End() {
  if (depth_ > 0) --depth_;
}

void TNetSilenceRule::Note(int64_t bytes) {
  if (!Active() || bytes <= 0) return;
  // Receives close together share a bucket stamped with the latest of them, so the rule
  // is never judged broken early and the record stays small however fast bytes come.
  const int64_t now = SteadyMs();
  if (!arrivals_.empty() && now - arrivals_.back().first < std::max(1, windowMs_ / 16)) {
    arrivals_.back().first = now;
    arrivals_.back().second += bytes;
  } else {
    arrivals_.emplace_back(now, bytes);
  }
}

int32_t TNetSilenceRule::BoundedWait(int32_t timeout, bool* bound) {
  *bound = false;
  if (!Active()) return timeout;
  const int64_t now = SteadyMs();
  while (!arrivals_.empty() && arrivals_.front().first <= now - windowMs_) arrivals_.pop_front();
  // The rule holds until the newest arrivals that make up MinBytes leave the window.
  int64_t deadline = start_ + windowMs_;
  int64_t bytes = 0;
  for (auto it = arrivals_.rbegin(); it != arrivals_.rend(); ++it) {
    bytes += it->second;
    if (bytes >= minBytes_) {
      deadline = it->first + windowMs_;
      break;
    }
  }
  if (deadline <= now) Raise();
  const int64_t left = deadline - now;
  if (timeout != kNetNoTimeLimit && timeout <= left) return timeout;
  *bound = true;
  return static_cast<int32_t>(left);
}

void TNetSilenceRule::Raise() const {
  throw ENetConnectionSilent(Format(NetText::ConnectionSilent, minBytes_, windowMs_));
}
