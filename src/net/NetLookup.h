// Internal to the socket transport; not part of its interface.
// TNetLookup: a host's addresses looked up on a thread of its own.
//
// The system's resolver blocks until it has an answer and nothing can interrupt it
// (a silent name server holds it for several seconds per try). A connect made with the
// freeze guard engaged or with a time limit looks the name up here instead, and waits
// for the answer in slices: it pumps the GUI after each, a Cancel from the pump ends the
// wait with ENetNotConnected "Not Connected", and the limit with ENetConnectTimeout
// "Connect timed out.". The lookup's own failure is raised as the stack raises it.
//
// A lookup left unfinished (cancelled, timed out) is abandoned: its thread ends by
// itself when the resolver returns, and its answer is dropped. The thread owns a share
// of its state and the lookup a user of the stack, so neither goes away under it; the
// user is given back when the thread ends.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "net/NetStack.h"

class TNetLookup {
 public:
  // Starts looking host up (a name; numeric addresses need no lookup).
  explicit TNetLookup(const AnsiString& host);
  ~TNetLookup();
  TNetLookup(const TNetLookup&) = delete;
  TNetLookup& operator=(const TNetLookup&) = delete;

  // Waits for the addresses. limitMs < 0: no limit of its own; with pumps, each wait
  // of at most sliceMs ends in the freeze guard's pump.
  std::vector<TNetIPAddress> Await(int64_t limitMs, bool pumps, int32_t sliceMs);
  // Ends Await at its next step with ENetNotConnected.
  void Cancel() { cancelled_ = true; }

 private:
  struct TShared;
  std::shared_ptr<TShared> shared_;
  bool cancelled_ = false;
};
