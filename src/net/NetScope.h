// Scope objects of the transport and the HTTP client: cleanup that runs however a
// block ends, including when code pumped inside it raises.
#pragma once

#include <exception>
#include <utility>

#include "net/NetComponent.h"

// Runs action at the end of a scope entered with `pending` exceptions in flight. While an exception is already on its way out
// the action's own exception is dropped, so it never replaces the first one; on a
// normal exit it propagates.
template <typename Action>
void NetRunAtScopeEnd(int pending, Action& action) {
  if (std::uncaught_exceptions() > pending) {
    try {
      action();
    } catch (...) {
    }
  } else {
    action();
  }
}

// Runs an action when the scope ends (see NetRunAtScopeEnd).
template <typename Action>
class TNetScopeExit {
 public:
  explicit TNetScopeExit(Action action) : action_(std::move(action)), pending_(std::uncaught_exceptions()) {}
  TNetScopeExit(const TNetScopeExit&) = delete;
  TNetScopeExit& operator=(const TNetScopeExit&) = delete;
  ~TNetScopeExit() noexcept(false) {
    if (armed_) NetRunAtScopeEnd(pending_, action_);
  }
  // The action will not run.
  void Release() { armed_ = false; }

 private:
  Action action_;
  int pending_;
  bool armed_ = true;
};

// One work bracket: OpenWork on construction, CloseWork on destruction. CloseWork also
// runs when OpenWork raises (from an OnWorkBegin handler), so every OpenWork is paired
// with exactly one CloseWork.
class TNetWorkBracket {
 public:
  TNetWorkBracket(TNetComponent& component, TWorkMode mode, int64_t countMax)
      : component_(component), mode_(mode), pending_(std::uncaught_exceptions()) {
    try {
      component.OpenWork(mode, countMax);
    } catch (...) {
      try {
        component.CloseWork(mode);
      } catch (...) {
      }
      throw;
    }
  }
  TNetWorkBracket(const TNetWorkBracket&) = delete;
  TNetWorkBracket& operator=(const TNetWorkBracket&) = delete;
  ~TNetWorkBracket() noexcept(false) {
    auto close = [this] { component_.CloseWork(mode_); };
    NetRunAtScopeEnd(pending_, close);
  }

 private:
  TNetComponent& component_;
  TWorkMode mode_;
  int pending_;
};
