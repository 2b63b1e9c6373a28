// The freeze guard lets the transport's blocking waits run the GUI's pending messages.
//
// One guard is in force per process (GlobalFreezeGuard): the newest constructed one;
// destroying any guard leaves none in force. A wait pumps only on the main thread,
// only while the guard is Active, and (with OnlyWhenIdle) only after a step in which
// nothing arrived. Pump runs application code (timers, clicks, the cancel button)
// inside the blocked network operation.
#pragma once

#include <cstdint>

#include "net/NetComponent.h"

class TNetFreezeGuardBase : public TNetBaseComponent {
 public:
  explicit TNetFreezeGuardBase(TComponent* owner = nullptr);
  ~TNetFreezeGuardBase() override;

  bool Active() const { return active_; }
  void SetActive(bool value) { active_ = value; }
  bool ApplicationHasPriority() const { return applicationHasPriority_; }
  void SetApplicationHasPriority(bool value) { applicationHasPriority_ = value; }
  int32_t IdleTimeOut() const { return idleTimeOut_; }
  void SetIdleTimeOut(int32_t value) { idleTimeOut_ = value; }
  bool OnlyWhenIdle() const { return onlyWhenIdle_; }
  void SetOnlyWhenIdle(bool value) { onlyWhenIdle_ = value; }

  virtual void Pump() = 0;

  // A guard exists, the caller is the main thread, and the guard is Active.
  static bool IsEngaged();
  // Pumps if engaged and (idle, or not OnlyWhenIdle, or override).
  static void PumpIfDue(bool idle, bool override);
  // Engaged, pumping every message whether or not the wait is idle, and the GUI can wait on
  // a socket and its messages at once: a wait then handles messages as they arrive.
  static bool PumpsWhileWaiting();

  // Design-time construction refuses a second guard (the run-time one replaces it).
  static void SetDesigning(bool designing);

 private:
  bool active_ = true;
  bool applicationHasPriority_ = true;
  int32_t idleTimeOut_ = 250;
  bool onlyWhenIdle_ = true;
};

class TNetFreezeGuard : public TNetFreezeGuardBase {
 public:
  using TNetFreezeGuardBase::TNetFreezeGuardBase;
  // With ApplicationHasPriority: every pending message; else at most one. Never waits.
  void Pump() override;
};

// The guard in force, or nullptr. Set and cleared on the GUI thread only.
extern TNetFreezeGuardBase* GlobalFreezeGuard;
