// TNetIOHandlerTLS: the I/O handler for "https": TLS (1.2 or later, OpenSSL's libssl)
// over the same TNetSocketHandle and connect sequence as TNetIOHandlerSocket.
//
// ConnectTo connects as the plain handler does, then runs the handshake: SNI with the
// host name, the server's chain checked against the system's trusted certificates
// (SSL_CERT_FILE / SSL_CERT_DIR are honoured) or, when CAFile is set, against that
// file alone, and the host name (or IP address) checked against the certificate. A
// failed handshake raises ENetTLSHandshakeError, whose message says why.
//
// Every byte goes through the socket stack: OpenSSL reads with the stack's
// non-waiting receive and writes with its send, and each wait for the server is the
// socket handle's WaitReadable, so the freeze guard pumps during the handshake exactly
// as during a read, and a CloseConnection run in that pump is noticed at the next
// slice. WaitReadable reports readable only once decrypted bytes (or the end of the
// stream, or an error) are there, so RawReceive after it never blocks.
//
// Handshake time limit: the connect's timeout when one is given, -2 for none, else
// kHandshakeLimit.
#pragma once

#include <cstdint>
#include <memory>

#include "net/NetIOHandlerSocket.h"

struct ssl_st;
struct ssl_ctx_st;

class TNetIOHandlerTLS : public TNetIOHandlerSocket {
 public:
  explicit TNetIOHandlerTLS(TComponent* owner = nullptr);
  ~TNetIOHandlerTLS() override;

  // PEM file of the certificates to trust instead of the system's; empty: the system's.
  const AnsiString& CAFile() const { return caFile_; }
  void SetCAFile(const AnsiString& value) { caFile_ = value; }
  // True (the default): ConnectTo runs the handshake. False: the connection starts plain
  // (through a proxy's CONNECT tunnel, say) until StartTLS.
  bool HandshakeOnConnect() const { return handshakeOnConnect_; }
  void SetHandshakeOnConnect(bool value) { handshakeOnConnect_ = value; }
  // The handshake with host over the connected socket; timeout as for ConnectTo.
  void StartTLS(const AnsiString& host, int32_t timeout);

  void ShutAndClose() override;
  void ConnectTo(const AnsiString& host, int32_t port, int32_t timeout, int32_t boundPortMax,
                 int32_t boundPortMin, int32_t boundPort, const AnsiString& boundIP) override;
  bool WaitReadable(int32_t timeoutMs) override;
  // Decrypted bytes; 0 when the server ended the stream with close_notify; -1 with the
  // stack's code for a socket failure. A stream that stops without close_notify raises
  // ENetTLSTruncated, a TLS protocol failure ENetTLSError; later calls report the same.
  int RawReceive(void* buffer, int length) override;
  int RawReceiveNow(void* buffer, int length) override;
  int RawSend(const void* buffer, int length) override;

  // The negotiated protocol ("TLSv1.3"), empty before a handshake.
  AnsiString ProtocolVersion() const;

  static constexpr int32_t kHandshakeLimit = 120000;

 private:
  struct Session;
  void Handshake(const AnsiString& host, int32_t timeout);
  int Receive(char* buffer, int length, bool wait);
  // True when decrypted bytes wait or the stream has ended (the end is recorded for the
  // next receive); false when more must come from the socket first.
  bool PeekDecided();
  // Waits until the socket is readable or the time is up; false on time-out. Raises
  // ENetNotConnected when the socket was closed meanwhile.
  bool WaitSocket(int64_t deadlineMs, bool unlimited);
  void EndSession();

  AnsiString caFile_;
  bool handshakeOnConnect_ = true;
  std::unique_ptr<Session> session_;
};
