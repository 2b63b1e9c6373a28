// Replaces the runtime's message-pump hooks for a test: counts the pump calls and can
// run test code "inside the pump" at a chosen call. Restores the previous hooks on
// destruction.
#pragma once

#include <functional>
#include <map>

#include "runtime/Hooks.h"

class FakePump {
 public:
  FakePump();
  ~FakePump();
  FakePump(const FakePump&) = delete;
  FakePump& operator=(const FakePump&) = delete;

  int ProcessCalls() const { return processCalls_; }
  int HandleOneCalls() const { return handleOneCalls_; }
  int Calls() const { return processCalls_ + handleOneCalls_; }

  // Runs action inside the call-th pump (1-based, both kinds counted together).
  void At(int call, std::function<void()> action) { actions_[call] = std::move(action); }
  // Runs action inside every pump, with the call's number.
  void Every(std::function<void(int call)> action) { every_ = std::move(action); }
  // What HandleOneMessage reports (whether a message was waiting).
  void SetMessageWaiting(bool waiting) { messageWaiting_ = waiting; }

 private:
  void Call();

  TRuntimeHooks saved_;
  int processCalls_ = 0;
  int handleOneCalls_ = 0;
  bool messageWaiting_ = false;
  std::map<int, std::function<void()>> actions_;
  std::function<void(int)> every_;
};
