#include "net/NetTCPClient.h"

#include "net/NetException.h"
#include "net/NetIOHandlerTLS.h"
#include "net/NetScope.h"
#include "runtime/MemoryStream.h"

TNetTCPClient::TNetTCPClient(TComponent* owner) : TNetTCPConnection(owner) {}

TNetTCPClient::~TNetTCPClient() = default;

void TNetTCPClient::DoOnConnected() {
  if (OnConnected) OnConnected(this);
}

void TNetTCPClient::OpenConnection(int32_t timeout) {
  // Cut to 16 bits, a larger number would connect to another port.
  if (port_ < 0 || port_ > 65535) throw ENetInvalidPort(Format(NetText::InvalidPort, port_));
  if (IOHandler() && IOHandler()->IsConnected()) throw ENetAlreadyConnected();
  // A handler left from a failed connect of the other kind is replaced.
  if (IOHandler() && FreeHandlerOnDisconnect() && (dynamic_cast<TNetIOHandlerTLS*>(IOHandler()) != nullptr) != useTLS_)
    SetIOHandler(nullptr);
  if (!IOHandler()) {
    std::shared_ptr<TNetIOHandlerSocket> handler;
    if (useTLS_) {
      handler = std::make_shared<TNetIOHandlerTLS>();
    } else {
      handler = std::make_shared<TNetIOHandlerSocket>();
    }
    handler->OnStatus = OnStatus;
    AssignOwnedHandler(handler);
    SetFreeHandlerOnDisconnect(true);
  }
  if (auto* own = dynamic_cast<TNetIOHandlerSocket*>(IOHandler()); own && FreeHandlerOnDisconnect())
    own->SetConnectionAttemptDelay(attemptDelay_);
  if (auto* tls = dynamic_cast<TNetIOHandlerTLS*>(IOHandler()); tls && FreeHandlerOnDisconnect()) {
    tls->SetCAFile(tlsCAFile_);
    tls->SetHandshakeOnConnect(tlsHandshakeOnConnect_);
  }
  // Held for the whole connect: a pump inside it may release the connection's reference.
  const std::shared_ptr<TNetIOHandler> handler = HandlerRef();
  TNetScopeExit closeOnFailure([this] { CloseIOHandler(); });
  handler->PrepareSocket();
  ResetInputState();
  handler->ConnectTo(host_, port_, timeout, boundPortMax_, boundPortMin_, boundPort_, boundIP_);
  if (Intercept()) Intercept()->Connect();
  ReportStatus(hsConnected, host_);
  DoOnConnected();
  closeOnFailure.Release();
}

void TNetTCPClient::StartTLS(const AnsiString& host, int32_t timeout) {
  // Held for the whole handshake: a pump inside it may release the connection's reference.
  const std::shared_ptr<TNetIOHandler> handler = HandlerRef();
  auto* tls = dynamic_cast<TNetIOHandlerTLS*>(handler.get());
  if (!tls) throw ENetIOHandlerPropInvalid();
  try {
    // The client speaks first in TLS: bytes that came before the ClientHello (with a
    // proxy's answer to CONNECT, say) cannot be the server's, so whoever sent them does
    // not speak TLS.
    if (InputQueue().Size() != 0)
      throw ENetTLSHandshakeError(tfNotTLS, Format(NetText::TLSHandshakeFailed, host.c_str(), NetText::TLSNotTLS),
                                  NetText::TLSNotTLS);
    tls->StartTLS(host, timeout);
  } catch (...) {
    CloseIOHandler();
    throw;
  }
}

AnsiString TNetTCPClient::ConnectAndReadAll(int32_t timeout) {
  OpenConnection(timeout);
  return ReadAllText();
}
