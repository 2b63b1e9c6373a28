#include "net/NetIOHandlerSocket.h"

#include <algorithm>
#include <chrono>
#include <thread>

#include "net/NetConnectThread.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetScope.h"

TNetIOHandlerSocket::TNetIOHandlerSocket(TComponent* owner) : TNetIOHandler(owner) {}

TNetIOHandlerSocket::~TNetIOHandlerSocket() { ShutAndClose(); }

void TNetIOHandlerSocket::ShutAndClose() {
  if (socketHandle_) socketHandle_->ShutAndClose();
}

bool TNetIOHandlerSocket::IsConnected() { return socketHandle_ && socketHandle_->IsOpen(); }

void TNetIOHandlerSocket::PrepareSocket() {
  if (socketHandle_) {
    socketHandle_->ClearState(true);
  } else {
    socketHandle_ = std::make_unique<TNetSocketHandle>();
  }
}

bool TNetIOHandlerSocket::WaitReadable(int32_t timeoutMs) {
  if (!socketHandle_) throw ENetConnClosedGracefully();
  return socketHandle_->WaitReadable(timeoutMs);
}

int TNetIOHandlerSocket::RawReceive(void* buffer, int length) {
  if (!IsConnected()) throw ENetClosedSocket();
  return socketHandle_->RawReceive(buffer, length);
}

int TNetIOHandlerSocket::RawReceiveNow(void* buffer, int length) {
  if (!IsConnected()) throw ENetClosedSocket();
  return socketHandle_->RawReceiveNow(buffer, length);
}

int TNetIOHandlerSocket::RawSend(const void* buffer, int length) {
  if (!IsConnected()) throw ENetClosedSocket();
  return socketHandle_->RawSend(buffer, length);
}

TNetSocksInfo& TNetIOHandlerSocket::SocksInfo() {
  if (!socksInfo_) {
    ownSocksInfo_ = std::make_unique<TNetSocksInfo>();
    socksInfo_ = ownSocksInfo_.get();
  }
  return *socksInfo_;
}

void TNetIOHandlerSocket::SetSocksInfo(TNetSocksInfo* info) {
  ownSocksInfo_.reset();
  socksInfo_ = info;
}

void TNetIOHandlerSocket::ConnectTo(const AnsiString& host, int32_t port, int32_t timeout, int32_t boundPortMax,
                                    int32_t boundPortMin, int32_t boundPort, const AnsiString& boundIP) {
  // Connecting to a SOCKS server without the negotiation would hand the peer's
  // protocol to the proxy; this transport connects directly only.
  if (SocksInfo().Version() != svNoSocks) throw ENetSocksError("SOCKS proxies are not supported.");
  const AnsiString& targetHost = host;
  const int32_t targetPort = port;

  if (!socketHandle_) PrepareSocket();
  socketHandle_->OpenSocket(kSockStream, 0);
  socketHandle_->SetLocalAddress(boundIP);
  socketHandle_->SetPort(boundPort);
  socketHandle_->SetClientPortMin(boundPortMin);
  socketHandle_->SetClientPortMax(boundPortMax);
  socketHandle_->BindLocal();

  if (!TNetStack::IsDottedQuad(targetHost)) ReportStatus(hsResolving, targetHost);
  const AnsiString address = GlobalStack->HostToAddress(targetHost);
  socketHandle_->SetPeerAddress(address, targetPort);
  if (!useNagle_) socketHandle_->SetOption(6, 1, 1);  // IPPROTO_TCP, TCP_NODELAY
  ReportStatus(hsConnecting, address);

  if (timeout != kNetDefaultTimeout && timeout != 0) {
    RunConnectWorker(timeout);
  } else if (TNetFreezeGuardBase::IsEngaged()) {
    RunConnectWorker(kGuardedConnectLimit);
  } else {
    GlobalStack->CheckResult(socketHandle_->ConnectPeer(kAFInet));
  }
}

void TNetIOHandlerSocket::RunConnectWorker(int32_t timeout) {
  TNetSocketHandle* handle = socketHandle_.get();
  TNetConnectThread worker(handle);
  handle->SetConnectWorkerRunning(true);
  worker.Start();
  // Whatever happens below, the worker is joined before its descriptor is closed and
  // before it is released.
  TNetScopeExit join([&worker, handle] {
    if (!worker.Finished()) {
      worker.Terminate();
      handle->ShutAndClose();
    }
    worker.Join();
    handle->FinishConnectWorker();
  });

  int32_t slice = kConnectSlice;
  if (TNetFreezeGuardBase::IsEngaged()) slice = std::min(slice, GlobalFreezeGuard->IdleTimeOut());
  slice = std::max<int32_t>(slice, 1);
  const bool unlimited = timeout == kNetNoTimeLimit;
  int64_t remaining = unlimited ? slice + 1 : timeout;
  // Each slice ends early when the worker finishes; the pump still follows it.
  auto sleep = [&worker](int64_t ms) { worker.WaitFinished(ms); };
  while (remaining > slice) {
    sleep(slice);
    remaining = unlimited ? slice + 1 : remaining - slice;
    TNetFreezeGuardBase::PumpIfDue(true, false);
    if (worker.Finished()) {
      remaining = 0;
      break;
    }
  }
  sleep(remaining);
  if (!worker.Finished()) {
    worker.Terminate();
    ShutAndClose();
    worker.Join();
    throw ENetConnectTimeout();
  }
  if (!worker.ConnectError().empty()) throw ENetConnectException(worker.ConnectError());
}
