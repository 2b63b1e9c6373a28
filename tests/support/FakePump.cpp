#include "support/FakePump.h"

FakePump::FakePump() : saved_(RuntimeHooks()) {
  RuntimeHooks().ProcessMessages = [this] {
    ++processCalls_;
    Call();
  };
  RuntimeHooks().HandleOneMessage = [this] {
    ++handleOneCalls_;
    Call();
    return messageWaiting_;
  };
}

FakePump::~FakePump() {
  RuntimeHooks().ProcessMessages = saved_.ProcessMessages;
  RuntimeHooks().HandleOneMessage = saved_.HandleOneMessage;
}

void FakePump::Call() {
  const int call = Calls();
  if (every_) every_(call);
  auto it = actions_.find(call);
  if (it != actions_.end()) {
    auto action = std::move(it->second);
    actions_.erase(it);
    action();
  }
}
