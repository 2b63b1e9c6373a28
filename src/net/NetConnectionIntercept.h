// TNetConnectionIntercept: an optional filter between a connection and its handler
// (connect, disconnect, receive and send hooks). Each hook runs its own work, then the
// nested intercept's. None is attached in this system.
#pragma once

#include "net/NetSimpleBuffer.h"

class TNetConnectionIntercept {
 public:
  virtual ~TNetConnectionIntercept() = default;
  virtual void Connect();
  virtual void Disconnect();
  // The buffer holds the bytes from position 0; a hook may replace them.
  virtual void Receive(TNetSimpleBuffer& buffer);
  virtual void Send(TNetSimpleBuffer& buffer);

  TNetConnectionIntercept* Intercept() const { return intercept_; }
  void SetIntercept(TNetConnectionIntercept* value) { intercept_ = value; }

 private:
  TNetConnectionIntercept* intercept_ = nullptr;
};
