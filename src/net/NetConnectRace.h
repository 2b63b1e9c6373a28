// Internal to the socket transport; not part of its interface.
// TNetConnectRace: connects to the first of a host's addresses that answers, the way
// browsers do (Happy Eyeballs, RFC 8305).
//
// The addresses are tried in the resolver's order with the families alternating,
// starting with the first address's family. Each attempt is a non-blocking connect on
// a socket of its own; the next one starts AttemptDelay ms after the previous one
// started, or at once when the previous one has ended (refused, unreachable). The
// first connection made wins and every other attempt is closed. Everything runs on
// the calling thread: between attempts it waits in select, and with Pumps set each
// wait is a slice of at most SliceMs that ends in the freeze guard's pump, so a
// window stays serviced and a cancel there (Cancel, from the handler's ShutAndClose)
// ends the race with ENetNotConnected "Not Connected".
//
// Failures: LimitMs over -> ENetConnectTimeout "Connect timed out."; every address
// failed -> with one address its own error (ENetSocketError when Plain, else
// ENetConnectException with the same text), with several ENetConnectException naming
// the host and each address's reason. Every outcome goes to the log.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

#include "net/NetSocketHandle.h"

struct TNetConnectAttempt {
  enum TState { csPending, csConnected, csFailed, csClosed };
  TNetIPAddress Address;
  std::unique_ptr<TNetSocketHandle> Handle;
  TState State = csPending;
  int64_t StartedMs = 0;  // since the race began
  int64_t EndedMs = 0;
  int32_t Code = 0;   // the socket error of a failure, 0 for another reason
  AnsiString Reason;  // why it failed or was closed
};

class TNetConnectRace {
 public:
  // host names the target in messages and the log; addresses are its addresses.
  TNetConnectRace(AnsiString host, int32_t port, const std::vector<TNetIPAddress>& addresses);

  int32_t AttemptDelay = 250;
  int64_t LimitMs = -1;  // -1: no limit of its own
  bool Pumps = false;
  int32_t SliceMs = 125;
  // Failures of a single address raise ENetSocketError (the blocking connect's form).
  bool Plain = false;
  // Opens nothing: readies a freshly opened socket (bind, options) before its connect.
  std::function<void(TNetSocketHandle&)> Prepare;
  // Told the address of every attempt as it starts.
  std::function<void(const TNetIPAddress&)> OnAttempt;

  // Runs the race; returns the connected socket handle.
  std::unique_ptr<TNetSocketHandle> Run();
  // Closes every attempt; Run ends with ENetNotConnected at its next step.
  void Cancel();
  const std::vector<TNetConnectAttempt>& Attempts() const { return attempts_; }

  // The addresses with the families alternating, starting with the first one's.
  static std::vector<TNetIPAddress> Interleave(const std::vector<TNetIPAddress>& addresses);

 private:
  int64_t Elapsed() const;
  bool StartDue() const;
  void StartNext();
  void Fail(TNetConnectAttempt& attempt, int32_t code, const AnsiString& reason);
  void WaitStep();
  int32_t StepWait() const;
  void CloseOthers(const AnsiString& reason);
  size_t PendingCount() const;
  [[noreturn]] void RaiseAllFailed();
  void LogOutcome() const;

  AnsiString host_;
  int32_t port_;
  std::vector<TNetIPAddress> order_;
  std::vector<TNetConnectAttempt> attempts_;
  int64_t startMs_ = 0;
  bool cancelled_ = false;
  std::exception_ptr singleFailure_;
};
