// TNetTCPClient: a connection that connects itself to Host:Port. On its first
// OpenConnection it creates its own TNetIOHandlerSocket (a TNetIOHandlerTLS when
// UseTLS is set), which CloseConnection releases again.
#pragma once

#include "net/NetTCPConnection.h"

class TNetTCPClient : public TNetTCPConnection {
 public:
  explicit TNetTCPClient(TComponent* owner = nullptr);
  ~TNetTCPClient() override;

  const AnsiString& BoundIP() const { return boundIP_; }
  void SetBoundIP(const AnsiString& value) { boundIP_ = value; }
  int32_t BoundPort() const { return boundPort_; }
  void SetBoundPort(int32_t value) { boundPort_ = value; }
  int32_t BoundPortMax() const { return boundPortMax_; }
  void SetBoundPortMax(int32_t value) { boundPortMax_ = value; }
  int32_t BoundPortMin() const { return boundPortMin_; }
  void SetBoundPortMin(int32_t value) { boundPortMin_ = value; }
  const AnsiString& Host() const { return host_; }
  virtual void SetHost(const AnsiString& value) { host_ = value; }
  int32_t Port() const { return port_; }
  virtual void SetPort(int32_t value) { port_ = value; }
  // The handler OpenConnection creates speaks TLS to Host (see TNetIOHandlerTLS).
  bool UseTLS() const { return useTLS_; }
  void SetUseTLS(bool value) { useTLS_ = value; }
  // PEM file of the certificates a TLS connection trusts; empty: the system's.
  const AnsiString& TLSCAFile() const { return tlsCAFile_; }
  void SetTLSCAFile(const AnsiString& value) { tlsCAFile_ = value; }
  // False: a TLS connection starts plain (a proxy's tunnel) until StartTLS.
  bool TLSHandshakeOnConnect() const { return tlsHandshakeOnConnect_; }
  void SetTLSHandshakeOnConnect(bool value) { tlsHandshakeOnConnect_ = value; }
  // Passed to the handler OpenConnection creates: ms between the starts of two connect
  // attempts to a host's addresses (TNetIOHandlerSocket::ConnectionAttemptDelay).
  int32_t ConnectionAttemptDelay() const { return attemptDelay_; }
  void SetConnectionAttemptDelay(int32_t value) { attemptDelay_ = value; }
  // The TLS handshake with host over the open connection (see TNetIOHandlerTLS).
  void StartTLS(const AnsiString& host, int32_t timeout = -1);

  TNotifyEvent OnConnected;

  // Connects to Host:Port (ENetAlreadyConnected "Already connected." when connected).
  // A failure closes the handler before the exception leaves.
  virtual void OpenConnection(int32_t timeout = kNetDefaultTimeout);
  // Connects, reads everything until the peer closes, and returns it.
  AnsiString ConnectAndReadAll(int32_t timeout = kNetDefaultTimeout);

 protected:
  // The connected-event hook: fires OnConnected.
  virtual void DoOnConnected();

 private:
  AnsiString boundIP_;
  int32_t boundPort_ = 0;
  int32_t boundPortMax_ = 0;
  int32_t boundPortMin_ = 0;
  AnsiString host_;
  int32_t port_ = 0;
  bool useTLS_ = false;
  bool tlsHandshakeOnConnect_ = true;
  AnsiString tlsCAFile_;
  int32_t attemptDelay_ = 250;
};
