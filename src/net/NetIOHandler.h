// TNetIOHandler: what a connection needs from its transport.
//
// Destroying a handler closes nothing by itself: a virtual call from this base's
// destructor would reach only the base's empty ShutAndClose. Every handler that holds
// a transport closes it in its own destructor (TNetIOHandlerSocket does).
#pragma once

#include <cstdint>
#include <functional>
#include <vector>

#include "net/NetComponent.h"

class TNetIOHandler : public TNetComponent {
 public:
  using TNetComponent::TNetComponent;
  ~TNetIOHandler() override;

  virtual void AfterAccept() {}
  virtual void ShutAndClose() {}
  virtual void ConnectTo(const AnsiString& host, int32_t port, int32_t timeout, int32_t boundPortMax,
                         int32_t boundPortMin, int32_t boundPort, const AnsiString& boundIP) {
    (void)host, (void)port, (void)timeout, (void)boundPortMax, (void)boundPortMin, (void)boundPort,
        (void)boundIP;
  }
  virtual bool IsConnected() = 0;
  virtual void PrepareSocket() {}
  virtual bool WaitReadable(int32_t timeoutMs) = 0;
  virtual int RawReceive(void* buffer, int length) = 0;
  virtual int RawSend(const void* buffer, int length) = 0;
  // A receive that never waits: -1 with code 10035 when nothing is waiting. The
  // default waits 0 ms first, so handlers need not provide it.
  virtual int RawReceiveNow(void* buffer, int length);

  // Called when the handler is destroyed, so users holding a plain reference can drop it.
  void AddFreeNotification(void* key, std::function<void()> notify);
  void RemoveFreeNotification(void* key);

 private:
  std::vector<std::pair<void*, std::function<void()>>> freeNotifications_;
};
