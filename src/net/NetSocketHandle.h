// TNetSocketHandle: owns one socket; opens, binds, connects, waits and closes it.
//
// WaitReadable is where the freeze guard pumps: with the guard engaged the wait is cut
// into IdleTimeOut slices, each starting with a check that the socket is still open
// (so a close during a pump is noticed) and ending with PumpIfDue.
//
// A socket is of one address family (Family: kAFInet or kAFInet6), chosen when it is
// opened; its addresses are numeric texts of that family. A connect either blocks
// (ConnectPeer) or is started without waiting (StartConnect) and judged once the
// socket is writable (FinishConnect), so that several can run at once on one thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "net/NetStack.h"

class TNetSocketHandle {
 public:
  TNetSocketHandle() = default;
  ~TNetSocketHandle();
  TNetSocketHandle(const TNetSocketHandle&) = delete;
  TNetSocketHandle& operator=(const TNetSocketHandle&) = delete;

  TNetSocket OsSocket() const { return osSocket_; }
  bool IsOpen() const { return isOpen_.load(); }
  const AnsiString& LocalAddress() const { return localAddress_; }
  void SetLocalAddress(const AnsiString& value) { localAddress_ = value; }
  const AnsiString& RemoteAddress() const { return remoteAddress_; }
  int32_t Port() const { return port_; }
  void SetPort(int32_t value) { port_ = value; }
  int32_t RemotePort() const { return remotePort_; }
  int32_t ClientPortMin() const { return clientPortMin_; }
  void SetClientPortMin(int32_t value) { clientPortMin_ = value; }
  int32_t ClientPortMax() const { return clientPortMax_; }
  void SetClientPortMax(int32_t value) { clientPortMax_ = value; }

  void OpenSocket(int type, int protocol, int family = kAFInet);
  int Family() const { return family_; }
  void ShutAndClose();
  // connect to RemoteAddress:RemotePort; on success reads back both addresses.
  int ConnectPeer(int family);
  // The same without waiting: 0 when connected at once; -1 with code 10035 (would
  // block) while the connect goes on, or with the code of its failure. Raises only
  // when the socket cannot be switched to non-blocking.
  int StartConnect();
  // Once select found the socket writable: 0 when it is connected (it blocks again
  // and both addresses are read back), else the code of the connect's failure.
  int32_t FinishConnect();
  int RawReceive(void* buffer, int length);
  // Never waits: -1 with code 10035 when nothing is waiting.
  int RawReceiveNow(void* buffer, int length);
  int RawSend(const void* buffer, int length);
  void SetOption(int level, int name, int value);
  void BindLocal();
  bool BindOnce();
  bool BindInRange();
  void SetPeerAddress(const AnsiString& address, int32_t port);
  void ClearState(bool resetLocal);
  void RefreshLocalAddress();
  void RefreshPeerAddress();
  // Timeout in ms, or kNetNoTimeLimit. Raises ENetConnClosedGracefully when not open.
  bool WaitReadable(int32_t timeoutMs);

 private:
  bool WaitStep(int32_t timeoutMs);

  TNetSocket osSocket_ = -1;
  std::atomic<bool> isOpen_{false};
  int family_ = kAFInet;
  AnsiString localAddress_;
  AnsiString remoteAddress_;
  int32_t port_ = 0;
  int32_t remotePort_ = 0;
  int32_t clientPortMin_ = 0;
  int32_t clientPortMax_ = 0;
};
