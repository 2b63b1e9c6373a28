// A timer component: a QTimer with the platform's enable/disable rules.
//
// Enabling a disabled timer starts a fresh interval; enabling an enabled one changes
// nothing; disabling it inside its own tick handler stops further ticks; changing the
// interval of an enabled timer starts a fresh interval. Ticks run under the error box.
#pragma once

#include <QTimer>
#include <functional>

#include "runtime/Component.h"

class TTimer : public TComponent {
 public:
  explicit TTimer(TComponent* owner = nullptr, bool enabled = true, int interval = 1000);

  bool Enabled() const { return enabled_; }
  void SetEnabled(bool enabled);
  int Interval() const { return interval_; }
  void SetInterval(int interval);

  // Runs one tick now, as if the interval had passed (tests drive the ticks this way).
  void Tick();

  std::function<void(TObject* Sender)> OnTimer;

 private:
  void Restart();

  QTimer timer_;
  bool enabled_;
  int interval_;
};
