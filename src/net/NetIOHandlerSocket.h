// TNetIOHandlerSocket: the connection's I/O handler over one TNetSocketHandle. It
// runs the connect sequence: bind, resolve, optional TCP_NODELAY, then connect, with
// a worker thread and a time limit when the freeze guard is engaged or a timeout is
// given.
#pragma once

#include <memory>

#include "net/NetIOHandler.h"
#include "net/NetSocketHandle.h"
#include "net/NetSocksInfo.h"

class TNetIOHandlerSocket : public TNetIOHandler {
 public:
  explicit TNetIOHandlerSocket(TComponent* owner = nullptr);
  ~TNetIOHandlerSocket() override;

  void ShutAndClose() override;
  void ConnectTo(const AnsiString& host, int32_t port, int32_t timeout, int32_t boundPortMax,
                 int32_t boundPortMin, int32_t boundPort, const AnsiString& boundIP) override;
  bool IsConnected() override;
  void PrepareSocket() override;
  bool WaitReadable(int32_t timeoutMs) override;
  // Raise ENetClosedSocket "Disconnected." when not connected.
  int RawReceive(void* buffer, int length) override;
  int RawReceiveNow(void* buffer, int length) override;
  int RawSend(const void* buffer, int length) override;

  TNetSocketHandle* SocketHandle() const { return socketHandle_.get(); }
  TNetSocksInfo& SocksInfo();
  // Uses another component's settings instead of its own.
  void SetSocksInfo(TNetSocksInfo* info);
  bool UseNagle() const { return useNagle_; }
  void SetUseNagle(bool value) { useNagle_ = value; }

  // Connects SocketHandle on a worker, pumping every slice (kNetNoTimeLimit: no limit).
  void RunConnectWorker(int32_t timeout);

  // Longest a connect through the worker may take when the caller gave no timeout.
  static constexpr int32_t kGuardedConnectLimit = 120000;
  static constexpr int32_t kConnectSlice = 125;

 private:
  std::unique_ptr<TNetSocketHandle> socketHandle_;
  std::unique_ptr<TNetSocksInfo> ownSocksInfo_;
  TNetSocksInfo* socksInfo_ = nullptr;
  bool useNagle_ = true;
};
