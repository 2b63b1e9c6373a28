#include "net/NetIOHandlerSocket.h"

#include <algorithm>

#include "net/NetConnectRace.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetScope.h"

TNetIOHandlerSocket::TNetIOHandlerSocket(TComponent* owner) : TNetIOHandler(owner) {}

TNetIOHandlerSocket::~TNetIOHandlerSocket() { ShutAndClose(); }

void TNetIOHandlerSocket::ShutAndClose() {
  if (race_) race_->Cancel();
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

namespace {
// Only addresses of the bound address's family can be reached from it.
std::vector<TNetIPAddress> ReachableFrom(const AnsiString& boundIP, std::vector<TNetIPAddress> addresses) {
  if (boundIP.empty()) return addresses;
  const int family = boundIP.find(':') != AnsiString::npos ? kAFInet6 : kAFInet;
  std::vector<TNetIPAddress> same;
  for (const auto& address : addresses) {
    if (address.Family == family) same.push_back(address);
  }
  return same.empty() ? addresses : same;
}
}  // namespace

void TNetIOHandlerSocket::ConnectTo(const AnsiString& host, int32_t port, int32_t timeout, int32_t boundPortMax,
                                    int32_t boundPortMin, int32_t boundPort, const AnsiString& boundIP) {
  // Connecting to a SOCKS server without the negotiation would hand the peer's
  // protocol to the proxy; this transport connects directly only.
  if (SocksInfo().Version() != svNoSocks) throw ENetSocksError("SOCKS proxies are not supported.");
  if (!socketHandle_) PrepareSocket();
  const AnsiString target = TNetStack::StripBrackets(host);
  if (!TNetStack::IsIPAddress(target)) ReportStatus(hsResolving, host);
  TNetConnectRace race(target, port, ReachableFrom(boundIP, GlobalStack->HostToAddresses(target)));
  race.AttemptDelay = attemptDelay_;
  const bool limited = timeout != kNetDefaultTimeout && timeout != 0;
  race.Pumps = TNetFreezeGuardBase::IsEngaged();
  race.Plain = !limited && !race.Pumps;
  race.LimitMs = limited ? (timeout == kNetNoTimeLimit ? -1 : timeout) : race.Pumps ? kGuardedConnectLimit : -1;
  if (race.Pumps) race.SliceMs = std::max<int32_t>(1, std::min(kConnectSlice, GlobalFreezeGuard->IdleTimeOut()));
  race.Prepare = [&](TNetSocketHandle& handle) {
    handle.SetLocalAddress(boundIP);
    handle.SetPort(boundPort);
    handle.SetClientPortMin(boundPortMin);
    handle.SetClientPortMax(boundPortMax);
    handle.BindLocal();
    if (!useNagle_) handle.SetOption(6, 1, 1);  // IPPROTO_TCP, TCP_NODELAY
  };
  race.OnAttempt = [this](const TNetIPAddress& address) { ReportStatus(hsConnecting, address.Text); };
  race_ = &race;
  TNetScopeExit done([this] { race_ = nullptr; });
  socketHandle_ = race.Run();
}
