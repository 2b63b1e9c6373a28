#include "net/NetIOHandlerSocket.h"

#include <algorithm>
#include <chrono>

#include "net/NetConnectRace.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetLookup.h"
#include "net/NetScope.h"
#include "platform/Log.h"

TNetIOHandlerSocket::TNetIOHandlerSocket(TComponent* owner) : TNetIOHandler(owner) {}

TNetIOHandlerSocket::~TNetIOHandlerSocket() { ShutAndClose(); }

void TNetIOHandlerSocket::ShutAndClose() {
  if (lookup_) lookup_->Cancel();
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

// A name is looked up on a thread of its own when the wait may pump or has a limit, so
// that the window stays serviced and a cancel or the limit ends the lookup too.
std::vector<TNetIPAddress> TNetIOHandlerSocket::LookUp(const AnsiString& target, int64_t limitMs, bool pumps,
                                                       int32_t sliceMs) {
  if (TNetStack::IsIPAddress(target)) return GlobalStack->HostToAddresses(target);
  ReportStatus(hsResolving, target);
  if (!pumps && limitMs < 0) return GlobalStack->HostToAddresses(target);
  TNetLookup lookup(target);
  lookup_ = &lookup;
  TNetScopeExit done([this] { lookup_ = nullptr; });
  const auto began = std::chrono::steady_clock::now();
  const auto took = [&began] {
    return IntToStr(static_cast<int64_t>(
        std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count()));
  };
  try {
    std::vector<TNetIPAddress> addresses = lookup.Await(limitMs, pumps, sliceMs);
    LogStep("look up " + target + ": " + IntToStr(static_cast<int64_t>(addresses.size())) + " address(es) after " +
            took() + " ms");
    return addresses;
  } catch (const ENetException& e) {
    LogStep("look up " + target + ": ended after " + took() + " ms: " + e.Message());
    throw;
  }
}

void TNetIOHandlerSocket::ConnectTo(const AnsiString& host, int32_t port, int32_t timeout, int32_t boundPortMax,
                                    int32_t boundPortMin, int32_t boundPort, const AnsiString& boundIP) {
  // Connecting to a SOCKS server without the negotiation would hand the peer's
  // protocol to the proxy; this transport connects directly only.
  if (SocksInfo().Version() != svNoSocks) throw ENetSocksError("SOCKS proxies are not supported.");
  if (!socketHandle_) PrepareSocket();
  const AnsiString target = TNetStack::StripBrackets(host);
  const bool limited = timeout != kNetDefaultTimeout && timeout != 0;
  const bool pumps = TNetFreezeGuardBase::IsEngaged();
  int64_t limitMs = limited ? (timeout == kNetNoTimeLimit ? -1 : timeout) : pumps ? kGuardedConnectLimit : -1;
  const int32_t sliceMs = pumps ? std::max<int32_t>(1, std::min(kConnectSlice, GlobalFreezeGuard->IdleTimeOut())) : 0;
  const auto began = std::chrono::steady_clock::now();
  TNetConnectRace race(target, port, ReachableFrom(boundIP, LookUp(target, limitMs, pumps, sliceMs)));
  if (limitMs >= 0) {
    limitMs -= std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now() - began).count();
    limitMs = std::max<int64_t>(limitMs, 0);
  }
  race.AttemptDelay = attemptDelay_;
  race.Pumps = pumps;
  race.Plain = !limited && !pumps;
  race.LimitMs = limitMs;
  if (pumps) race.SliceMs = sliceMs;
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
