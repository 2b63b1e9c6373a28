#include "net/NetSocketHandle.h"

#include <algorithm>

#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "platform/WinSock2.h"
#include "runtime/Hooks.h"

TNetSocketHandle::~TNetSocketHandle() { ShutAndClose(); }

void TNetSocketHandle::OpenSocket(int type, int protocol, int family) {
  ShutAndClose();
  if (IsOpen()) ClearState(true);
  osSocket_ = GlobalStack->AllocateSocketOrFail(type, protocol, family);
  family_ = family;
  isOpen_ = true;
}

void TNetSocketHandle::ShutAndClose() {
  if (!isOpen_.exchange(false)) return;
  GlobalStack->shutdown(osSocket_, 1);
  GlobalStack->closesocket(osSocket_);
}

int TNetSocketHandle::ConnectPeer(int family) {
  const int result = GlobalStack->connect(osSocket_, family, remotePort_, remoteAddress_);
  if (result != -1) {
    RefreshLocalAddress();
    RefreshPeerAddress();
  }
  return result;
}

int TNetSocketHandle::StartConnect() {
  unsigned long nonBlocking = 1;
  GlobalStack->CheckResult(GlobalStack->ioctlsocket(osSocket_, WinSock::kFIONBIO, &nonBlocking));
  if (GlobalStack->connect(osSocket_, family_, remotePort_, remoteAddress_) == -1) return -1;
  const int32_t code = FinishConnect();
  if (code == 0) return 0;
  WinSock::WSASetLastError(code);
  return -1;
}

int32_t TNetSocketHandle::FinishConnect() {
  int32_t code = 0;
  int length = sizeof code;
  if (GlobalStack->getsockopt(osSocket_, WinSock::kSolSocket, WinSock::kSoError, &code, &length) == -1)
    code = GlobalStack->WSAGetLastError();
  if (code != 0) return code;
  unsigned long nonBlocking = 0;
  GlobalStack->CheckResult(GlobalStack->ioctlsocket(osSocket_, WinSock::kFIONBIO, &nonBlocking));
  RefreshLocalAddress();
  RefreshPeerAddress();
  return 0;
}

int TNetSocketHandle::RawReceive(void* buffer, int length) { return GlobalStack->recv(osSocket_, buffer, length, 0); }

int TNetSocketHandle::RawReceiveNow(void* buffer, int length) {
  return GlobalStack->recvnow(osSocket_, buffer, length);
}

int TNetSocketHandle::RawSend(const void* buffer, int length) {
  return GlobalStack->send(osSocket_, buffer, length, 0);
}

void TNetSocketHandle::SetOption(int level, int name, int value) {
  GlobalStack->CheckResult(GlobalStack->setsockopt(osSocket_, level, name, &value, sizeof value));
}

void TNetSocketHandle::BindLocal() {
  const bool anyPort = clientPortMin_ == 0 || clientPortMax_ == 0;
  // Nothing asked: the connect picks the address and port itself. A bind to port 0
  // would make the system search its whole port space first, which costs more than
  // the rest of a loopback connect.
  if (port_ == 0 && anyPort && localAddress_.empty()) return;
  if (port_ != 0 || anyPort) {
    if (!BindOnce()) throw ENetCouldNotBindSocket();
  } else if (clientPortMax_ < clientPortMin_) {
    throw ENetInvalidPortRange(Format(NetText::InvalidPortRange, clientPortMin_, clientPortMax_));
  } else if (!BindInRange()) {
    throw ENetCanNotBindPortInRange(Format(NetText::CanNotBindRange, clientPortMin_, clientPortMax_));
  }
}

bool TNetSocketHandle::BindOnce() {
  const int result = GlobalStack->bind(osSocket_, family_, port_, localAddress_);
  if (GlobalStack->CheckResult(result, {WinSock::WSAEADDRINUSE})) return false;
  RefreshLocalAddress();
  return true;
}

bool TNetSocketHandle::BindInRange() {
  for (int32_t port = clientPortMax_; port >= clientPortMin_; --port) {
    port_ = port;
    if (BindOnce()) return true;
  }
  return false;
}

void TNetSocketHandle::SetPeerAddress(const AnsiString& address, int32_t port) {
  remoteAddress_ = address;
  remotePort_ = port;
}

void TNetSocketHandle::ClearState(bool resetLocal) {
  isOpen_ = false;
  osSocket_ = -1;
  remoteAddress_.clear();
  remotePort_ = 0;
  if (resetLocal) {
    localAddress_.clear();
    port_ = 0;
  }
}

void TNetSocketHandle::RefreshLocalAddress() { GlobalStack->getsockname(osSocket_, nullptr, &localAddress_, &port_); }

void TNetSocketHandle::RefreshPeerAddress() {
  GlobalStack->getpeername(osSocket_, nullptr, &remoteAddress_, &remotePort_);
}

bool TNetSocketHandle::WaitReadable(int32_t timeoutMs) {
  if (!IsOpen()) throw ENetConnClosedGracefully();
  if (!TNetFreezeGuardBase::IsEngaged()) return WaitStep(timeoutMs);
  // Slices of IdleTimeOut, the odd remainder first (600 with 250: 100, 250, 250). A loop,
  // so no time-out is too long and no slice length too short.
  const int32_t slice = std::max<int32_t>(1, GlobalFreezeGuard->IdleTimeOut());
  const bool unlimited = timeoutMs == kNetNoTimeLimit;
  int64_t remaining = timeoutMs;
  int32_t step = unlimited ? slice : timeoutMs <= slice ? timeoutMs : (timeoutMs - 1) % slice + 1;
  for (;;) {
    if (WaitStep(step)) return true;
    if (!unlimited) {
      remaining -= step;
      if (remaining <= 0) return false;
    }
    // The step pumped: the socket may be closed by now.
    if (!IsOpen()) throw ENetConnClosedGracefully();
    step = slice;
  }
}

bool TNetSocketHandle::WaitStep(int32_t timeoutMs) {
  // Every message is to be pumped: it is handled as it arrives, not after the step. A
  // download's progress, its Cancel button and a screen reader's questions are served at
  // once however long the server takes. A handler that closes the socket ends the wait.
  if (timeoutMs != 0 && TNetFreezeGuardBase::PumpsWhileWaiting())
    return HookWaitReadablePumping(osSocket_, timeoutMs, [this] { return !IsOpen(); });
  TNetSocketList readList{osSocket_};
  const bool readable = GlobalStack->select(&readList, nullptr, timeoutMs, nullptr) == 1;
  TNetFreezeGuardBase::PumpIfDue(!readable, false);
  return readable;
}
