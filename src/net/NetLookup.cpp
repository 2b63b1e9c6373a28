#include "net/NetLookup.h"

#include <chrono>
#include <condition_variable>
#include <exception>
#include <mutex>
#include <thread>

#include "net/NetException.h"
#include "net/NetFreezeGuard.h"

struct TNetLookup::TShared {
  std::mutex Lock;
  std::condition_variable Done;
  bool Finished = false;
  bool Abandoned = false;
  std::vector<TNetIPAddress> Addresses;
  std::exception_ptr Failure;
};

TNetLookup::TNetLookup(const AnsiString& host) : shared_(std::make_shared<TShared>()) {
  AddStackUser();
  TNetStack* stack = GlobalStack;
  std::thread([shared = shared_, stack, host] {
    std::vector<TNetIPAddress> addresses;
    std::exception_ptr failure;
    try {
      addresses = stack->HostToAddresses(host);
    } catch (...) {
      failure = std::current_exception();
    }
    bool abandoned = false;
    {
      std::lock_guard<std::mutex> lock(shared->Lock);
      shared->Addresses = std::move(addresses);
      shared->Failure = failure;
      shared->Finished = true;
      abandoned = shared->Abandoned;
      shared->Done.notify_all();
    }
    // The lookup's user of the stack is given back by whichever side ends last.
    if (abandoned) RemoveStackUser();
  }).detach();
}

TNetLookup::~TNetLookup() {
  bool finished = false;
  {
    std::lock_guard<std::mutex> lock(shared_->Lock);
    finished = shared_->Finished;
    shared_->Abandoned = !finished;
  }
  if (finished) RemoveStackUser();
}

std::vector<TNetIPAddress> TNetLookup::Await(int64_t limitMs, bool pumps, int32_t sliceMs) {
  const auto start = std::chrono::steady_clock::now();
  const auto elapsed = [&start] {
    return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - start).count();
  };
  for (;;) {
    if (cancelled_) throw ENetNotConnected();
    if (limitMs >= 0 && elapsed() >= limitMs) throw ENetConnectTimeout();
    int64_t wait = pumps ? sliceMs : 60000;
    if (limitMs >= 0) wait = std::min<int64_t>(wait, limitMs - elapsed());
    {
      std::unique_lock<std::mutex> lock(shared_->Lock);
      if (shared_->Done.wait_for(lock, std::chrono::milliseconds(wait), [this] { return shared_->Finished; })) {
        if (shared_->Failure) std::rethrow_exception(shared_->Failure);
        return shared_->Addresses;
      }
    }
    if (pumps) TNetFreezeGuardBase::PumpIfDue(true, false);
  }
}
