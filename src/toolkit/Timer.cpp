#include "toolkit/Timer.h"

#include "toolkit/ErrorBox.h"

TTimer::TTimer(TComponent* owner, bool enabled, int interval)
    : TComponent(owner), enabled_(enabled), interval_(interval) {
  // A coarse Qt timer may fire up to 5% late (50 ms at one second); the speed label
  // counts one second per tick, so ticks are kept precise.
  timer_.setTimerType(Qt::PreciseTimer);
  QObject::connect(&timer_, &QTimer::timeout, [this] { Tick(); });
  Restart();
}

void TTimer::SetEnabled(bool enabled) {
  if (enabled == enabled_) return;
  enabled_ = enabled;
  Restart();
}

void TTimer::SetInterval(int interval) {
  if (interval == interval_) return;
  interval_ = interval;
  Restart();
}

void TTimer::Tick() {
  if (OnTimer) RunGuarded([this] { OnTimer(this); });
}

void TTimer::Restart() {
  timer_.stop();
  if (enabled_ && interval_ > 0) timer_.start(interval_);
}
