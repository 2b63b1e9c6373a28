// TNetIOHandlerSocket: the connection's I/O handler over one TNetSocketHandle. It
// runs the connect sequence: resolve the host to every address it has (TNetLookup, on
// a thread of its own, when the connect pumps or has a limit), then race
// connects to them (TNetConnectRace: families alternating, the next attempt
// ConnectionAttemptDelay ms after the previous one unless that one has ended), each
// socket bound and given TCP_NODELAY as asked before its connect; the first one
// connected becomes SocketHandle. The race has a time limit when a timeout is given
// (or, with the freeze guard engaged, kGuardedConnectLimit); with the guard engaged it
// pumps every slice, and a CloseConnection there (ShutAndClose) ends it Not Connected.
// The limit and the cancel cover the lookup too.
#pragma once

#include <memory>

#include "net/NetIOHandler.h"
#include "net/NetSocketHandle.h"
#include "net/NetSocksInfo.h"

class TNetConnectRace;
class TNetLookup;

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

  // Milliseconds between the start of one connect attempt and the next (while the
  // earlier one is still pending). 250 as browsers use; tests shorten it.
  int32_t ConnectionAttemptDelay() const { return attemptDelay_; }
  void SetConnectionAttemptDelay(int32_t value) { attemptDelay_ = value > 0 ? value : 1; }

  static constexpr int32_t kDefaultAttemptDelay = 250;
  // Longest a connect may take with the freeze guard engaged and no timeout given.
  static constexpr int32_t kGuardedConnectLimit = 120000;
  static constexpr int32_t kConnectSlice = 125;

 private:
  std::vector<TNetIPAddress> LookUp(const AnsiString& target, int64_t limitMs, bool pumps, int32_t sliceMs);

  std::unique_ptr<TNetSocketHandle> socketHandle_;
  std::unique_ptr<TNetSocksInfo> ownSocksInfo_;
  TNetSocksInfo* socksInfo_ = nullptr;
  bool useNagle_ = true;
  int32_t attemptDelay_ = kDefaultAttemptDelay;
  // The lookup and the race under way in ConnectTo, which ShutAndClose cancels.
  TNetLookup* lookup_ = nullptr;
  TNetConnectRace* race_ = nullptr;
};
