#include "net/NetIOHandlerTLS.h"

#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <climits>

#include "net/NetException.h"
#include "platform/WinSock2.h"

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// What OpenSSL's reads and writes reach: the socket handle, and whether a receive saw
// the end of the stream (OpenSSL asks through BIO_CTRL_EOF).
struct BioTarget {
  TNetSocketHandle* Handle = nullptr;
  bool Eof = false;
};

// The target of a BIO call, its retry flags cleared; null (and "not connected" as the last
// error) once the socket is closed.
BioTarget* OpenTarget(BIO* bio) {
  BIO_clear_retry_flags(bio);
  auto* target = static_cast<BioTarget*>(BIO_get_data(bio));
  if (target->Handle->IsOpen()) return target;
  WinSock::WSASetLastError(WinSock::WSAENOTCONN);
  return nullptr;
}

int BioWrite(BIO* bio, const char* data, size_t length, size_t* written) {
  BioTarget* target = OpenTarget(bio);
  if (!target) return 0;
  const int n = target->Handle->RawSend(data, static_cast<int>(std::min<size_t>(length, INT_MAX / 2)));
  if (n <= 0) return 0;
  *written = static_cast<size_t>(n);
  return 1;
}

int BioRead(BIO* bio, char* data, size_t length, size_t* read) {
  BioTarget* target = OpenTarget(bio);
  if (!target) return 0;
  const int n = target->Handle->RawReceiveNow(data, static_cast<int>(std::min<size_t>(length, INT_MAX / 2)));
  if (n > 0) {
    *read = static_cast<size_t>(n);
    return 1;
  }
  if (n == 0) {
    target->Eof = true;
  } else if (WinSock::WSAGetLastError() == WinSock::WSAEWOULDBLOCK) {
    BIO_set_retry_read(bio);
  }
  return 0;
}

long BioCtrl(BIO* bio, int command, long, void*) {
  switch (command) {
    case BIO_CTRL_FLUSH:
      return 1;
    case BIO_CTRL_EOF:
      return static_cast<BioTarget*>(BIO_get_data(bio))->Eof ? 1 : 0;
    default:
      return 0;
  }
}

int BioCreate(BIO* bio) {
  BIO_set_init(bio, 1);
  return 1;
}

BIO_METHOD* SocketHandleMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* m = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "tavro socket handle");
    BIO_meth_set_write_ex(m, BioWrite);
    BIO_meth_set_read_ex(m, BioRead);
    BIO_meth_set_ctrl(m, BioCtrl);
    BIO_meth_set_create(m, BioCreate);
    return m;
  }();
  return method;
}

// OpenSSL's reason for the first error queued on this thread.
AnsiString OpenSSLReason() {
  const unsigned long code = ERR_peek_error();
  if (code == 0) return "unknown error";
  const char* reason = ERR_reason_error_string(code);
  return reason ? AnsiString(reason) : Format("error %lu", code);
}

// A record that cannot be TLS at all: a plain-text answer, or bytes of something else.
bool IsNotTLS(unsigned long code) {
  return ERR_GET_LIB(code) == ERR_LIB_SSL && ERR_GET_REASON(code) == SSL_R_WRONG_VERSION_NUMBER;
}

bool IsProtocolTooOld(unsigned long code) {
  if (ERR_GET_LIB(code) != ERR_LIB_SSL) return false;
  switch (ERR_GET_REASON(code)) {
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
    case SSL_R_NO_PROTOCOLS_AVAILABLE:
    case SSL_R_WRONG_SSL_VERSION:
    case SSL_R_VERSION_TOO_LOW:
      return true;
    default:
      return false;
  }
}

[[noreturn]] void RaiseHandshake(const AnsiString& host, TNetTLSFailure failure, const AnsiString& reason) {
  ERR_clear_error();
  throw ENetTLSHandshakeError(failure, Format(NetText::TLSHandshakeFailed, host.c_str(), reason.c_str()), reason);
}

// The client's settings: TLS 1.2 or later, the peer verified against the system's trusted
// certificates or only against the caller's CA file.
void ConfigureContext(SSL_CTX* context, const AnsiString& host, const AnsiString& caFile) {
  SSL_CTX_set_min_proto_version(context, TLS1_2_VERSION);
  SSL_CTX_set_verify(context, SSL_VERIFY_PEER, nullptr);
  // SSL_OP_IGNORE_UNEXPECTED_EOF stays off: a stream that ends without close_notify must
  // read as cut (ENetTLSTruncated), never as the server's own end of the data.
  SSL_CTX_set_read_ahead(context, 1);
  const bool trusted = caFile.empty() ? SSL_CTX_set_default_verify_paths(context) == 1
                                      : SSL_CTX_load_verify_locations(context, caFile.c_str(), nullptr) == 1;
  if (!trusted && !caFile.empty()) RaiseHandshake(host, tfOther, Format(NetText::TLSCAFileUnreadable, caFile.c_str()));
}

// SNI, and the name (or address) the server's certificate must be valid for.
// A literal address (IPv4, or IPv6 with or without brackets) is checked as an address
// and sends no SNI, which names hosts only.
void ExpectPeerName(SSL* ssl, const AnsiString& host) {
  SSL_set_hostflags(ssl, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
  if (const AnsiString bare = TNetStack::StripBrackets(host); TNetStack::IsIPAddress(bare)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), bare.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, host.c_str());
    X509_VERIFY_PARAM_set1_host(SSL_get0_param(ssl), host.c_str(), 0);
  }
}

// Raises the handshake's failure in plain words: what the certificate check found, an old
// protocol, a closed connection, else OpenSSL's own reason.
[[noreturn]] void RaiseHandshakeFailure(const AnsiString& host, SSL* ssl, int error) {
  if (error == SSL_ERROR_ZERO_RETURN || error == SSL_ERROR_SYSCALL) RaiseHandshake(host, tfClosed, NetText::TLSServerClosed);
  const long verify = SSL_get_verify_result(ssl);
  switch (verify) {
    case X509_V_OK:
      break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      RaiseHandshake(host, tfNameMismatch, Format(NetText::TLSNameMismatch, host.c_str()));
    case X509_V_ERR_CERT_HAS_EXPIRED:
      RaiseHandshake(host, tfExpired, NetText::TLSExpired);
    case X509_V_ERR_CERT_NOT_YET_VALID:
      RaiseHandshake(host, tfNotYetValid, NetText::TLSNotYetValid);
    default:
      RaiseHandshake(host, tfUntrusted, Format(NetText::TLSUntrusted, X509_verify_cert_error_string(verify)));
  }
  if (IsNotTLS(ERR_peek_error())) RaiseHandshake(host, tfNotTLS, NetText::TLSNotTLS);
  if (IsProtocolTooOld(ERR_peek_error())) RaiseHandshake(host, tfProtocolTooOld, NetText::TLSProtocolTooOld);
  if (ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING)
    RaiseHandshake(host, tfClosed, NetText::TLSServerClosed);
  RaiseHandshake(host, tfOther, OpenSSLReason());
}

}  // namespace

// How the server's stream ended, kept so that every later receive reports the same end.
enum class TLSEnd { None, CloseNotify, SocketError, Cut, Failure };

struct TNetIOHandlerTLS::Session {
  uint64_t Id = 0;
  SSL_CTX* Context = nullptr;
  SSL* Ssl = nullptr;
  BioTarget Target;
  bool Established = false;
  // After the end of the stream, a fatal error or our close_notify, OpenSSL must not be
  // asked for anything more, not even a close.
  bool Finished = false;
  TLSEnd End = TLSEnd::None;
  int32_t SocketCode = 0;
  AnsiString Failure;

  // Records how a read ended (error: SSL_get_error's answer), while OpenSSL's error
  // queue still says why. Only close_notify is the server's own end of the data; a
  // stream that just stops is a cut.
  void RecordEnd(int error) {
    Finished = true;
    const int32_t code = WinSock::WSAGetLastError();
    if (error == SSL_ERROR_ZERO_RETURN) {
      End = TLSEnd::CloseNotify;
    } else if (error == SSL_ERROR_SYSCALL && code != 0) {
      End = TLSEnd::SocketError;
      SocketCode = code;
    } else if (error == SSL_ERROR_SYSCALL || ERR_GET_REASON(ERR_peek_error()) == SSL_R_UNEXPECTED_EOF_WHILE_READING) {
      End = TLSEnd::Cut;
    } else {
      End = TLSEnd::Failure;
      Failure = Format(NetText::TLSFailed, OpenSSLReason().c_str());
    }
    ERR_clear_error();
  }

  // The recorded end as a receive reports it: 0 for close_notify, -1 with the code for a
  // socket failure, else the exception.
  int ReportEnd() const {
    switch (End) {
      case TLSEnd::CloseNotify:
        return 0;
      case TLSEnd::SocketError:
        WinSock::WSASetLastError(SocketCode);
        return -1;
      case TLSEnd::Cut:
        throw ENetTLSTruncated();
      default:
        throw ENetTLSError(Failure);
    }
  }

  ~Session() {
    SSL_free(Ssl);
    SSL_CTX_free(Context);
  }
};

TNetIOHandlerTLS::TNetIOHandlerTLS(TComponent* owner) : TNetIOHandlerSocket(owner) {}

TNetIOHandlerTLS::~TNetIOHandlerTLS() {
  ShutAndClose();
  EndSession();
}

void TNetIOHandlerTLS::EndSession() { session_.reset(); }

void TNetIOHandlerTLS::ShutAndClose() {
  // The server is told the stream ends here (close_notify); the alert is a few bytes
  // and never waits for an answer.
  if (session_ && session_->Established && !session_->Finished && IsConnected()) {
    session_->Finished = true;
    ERR_clear_error();
    SSL_shutdown(session_->Ssl);
    ERR_clear_error();
  }
  TNetIOHandlerSocket::ShutAndClose();
}

AnsiString TNetIOHandlerTLS::ProtocolVersion() const {
  return session_ && session_->Established ? AnsiString(SSL_get_version(session_->Ssl)) : AnsiString();
}

void TNetIOHandlerTLS::ConnectTo(const AnsiString& host, int32_t port, int32_t timeout, int32_t boundPortMax,
                                 int32_t boundPortMin, int32_t boundPort, const AnsiString& boundIP) {
  EndSession();
  TNetIOHandlerSocket::ConnectTo(host, port, timeout, boundPortMax, boundPortMin, boundPort, boundIP);
  if (handshakeOnConnect_) Handshake(host, timeout);
}

void TNetIOHandlerTLS::StartTLS(const AnsiString& host, int32_t timeout) {
  if (!IsConnected()) throw ENetClosedSocket();
  EndSession();
  Handshake(host, timeout);
}

bool TNetIOHandlerTLS::WaitSocket(int64_t deadlineMs, bool unlimited) {
  const uint64_t id = session_->Id;
  int32_t wait = -2;
  if (!unlimited) wait = static_cast<int32_t>(std::clamp<int64_t>(deadlineMs - NowMs(), 0, INT32_MAX));
  bool readable;
  try {
    readable = SocketHandle()->WaitReadable(wait);
  } catch (const ENetConnClosedGracefully&) {
    // Closed on this side (a CloseConnection during the wait's pump).
    throw ENetNotConnected();
  }
  if (!IsConnected() || !session_ || session_->Id != id) throw ENetNotConnected();
  return readable;
}

void TNetIOHandlerTLS::Handshake(const AnsiString& host, int32_t timeout) {
  static std::atomic<uint64_t> nextId{0};
  auto session = std::make_unique<Session>();
  session->Id = ++nextId;
  session->Target.Handle = SocketHandle();
  const auto fail = [&host](TNetTLSFailure failure, const AnsiString& reason) { RaiseHandshake(host, failure, reason); };

  SSL_CTX* context = SSL_CTX_new(TLS_client_method());
  session->Context = context;
  if (!context) fail(tfOther, OpenSSLReason());
  ConfigureContext(context, host, caFile_);

  SSL* ssl = SSL_new(context);
  session->Ssl = ssl;
  if (!ssl) fail(tfOther, OpenSSLReason());
  BIO* bio = BIO_new(SocketHandleMethod());
  if (!bio) fail(tfOther, OpenSSLReason());
  BIO_set_data(bio, &session->Target);
  SSL_set_bio(ssl, bio, bio);
  ExpectPeerName(ssl, host);
  SSL_set_connect_state(ssl);
  session_ = std::move(session);

  const bool unlimited = timeout == -2;
  const int64_t deadline = NowMs() + (timeout > 0 ? timeout : kHandshakeLimit);
  for (;;) {
    ERR_clear_error();
    WinSock::WSASetLastError(0);
    const int result = SSL_do_handshake(ssl);
    if (result == 1) break;
    const int error = SSL_get_error(ssl, result);
    if (error == SSL_ERROR_WANT_READ) {
      if (!WaitSocket(deadline, unlimited)) {
        session_->Finished = true;
        fail(tfTimeout, NetText::TLSNoAnswer);
      }
      continue;
    }
    session_->Finished = true;
    RaiseHandshakeFailure(host, ssl, error);
  }
  session_->Established = true;
}

bool TNetIOHandlerTLS::WaitReadable(int32_t timeoutMs) {
  if (!session_ || !session_->Established) return TNetIOHandlerSocket::WaitReadable(timeoutMs);
  if (!IsConnected()) throw ENetConnClosedGracefully();
  const uint64_t id = session_->Id;
  const bool unlimited = timeoutMs == -2;
  const int64_t deadline = NowMs() + std::max(timeoutMs, 0);
  for (;;) {
    if (session_->Finished || SSL_pending(session_->Ssl) > 0 || PeekDecided()) return true;
    const int32_t wait =
        unlimited ? -2 : static_cast<int32_t>(std::clamp<int64_t>(deadline - NowMs(), 0, INT32_MAX));
    if (!SocketHandle()->WaitReadable(wait)) return false;
    // Closed or reconnected in the wait's pump: the caller's receive step notices.
    if (!IsConnected() || !session_ || session_->Id != id) return true;
    // Time is up, but bytes did arrive: one more look without waiting.
    if (!unlimited && NowMs() >= deadline) return PeekDecided();
  }
}

bool TNetIOHandlerTLS::PeekDecided() {
  SSL* ssl = session_->Ssl;
  char byte;
  size_t got = 0;
  ERR_clear_error();
  WinSock::WSASetLastError(0);
  if (SSL_peek_ex(ssl, &byte, 1, &got) == 1) return true;
  const int error = SSL_get_error(ssl, 0);
  if (error == SSL_ERROR_WANT_READ) return false;
  // The end of the stream or a failure: the receive that follows reports it.
  session_->RecordEnd(error);
  return true;
}

int TNetIOHandlerTLS::Receive(char* buffer, int length, bool wait) {
  if (!session_ && IsConnected()) {
    return wait ? TNetIOHandlerSocket::RawReceive(buffer, length) : TNetIOHandlerSocket::RawReceiveNow(buffer, length);
  }
  if (!IsConnected() || !session_ || !session_->Established) throw ENetClosedSocket();
  if (session_->End != TLSEnd::None) return session_->ReportEnd();
  if (session_->Finished) throw ENetClosedSocket();
  const uint64_t id = session_->Id;
  SSL* ssl = session_->Ssl;
  int total = 0;
  while (total < length) {
    size_t got = 0;
    ERR_clear_error();
    WinSock::WSASetLastError(0);
    if (SSL_read_ex(ssl, buffer + total, static_cast<size_t>(length - total), &got) == 1) {
      total += static_cast<int>(got);
      continue;
    }
    const int error = SSL_get_error(ssl, 0);
    if (error == SSL_ERROR_WANT_READ) {
      if (total > 0) return total;
      if (!wait) {
        WinSock::WSASetLastError(WinSock::WSAEWOULDBLOCK);
        return -1;
      }
      SocketHandle()->WaitReadable(-2);
      if (!IsConnected() || !session_ || session_->Id != id) throw ENetClosedSocket();
      continue;
    }
    session_->RecordEnd(error);
    if (total > 0) return total;  // the next call reports the end
    return session_->ReportEnd();
  }
  return total;
}

int TNetIOHandlerTLS::RawReceive(void* buffer, int length) { return Receive(static_cast<char*>(buffer), length, true); }

int TNetIOHandlerTLS::RawReceiveNow(void* buffer, int length) {
  return Receive(static_cast<char*>(buffer), length, false);
}

int TNetIOHandlerTLS::RawSend(const void* buffer, int length) {
  if (!session_ && IsConnected()) return TNetIOHandlerSocket::RawSend(buffer, length);
  if (!IsConnected() || !session_ || !session_->Established) throw ENetClosedSocket();
  const uint64_t id = session_->Id;
  SSL* ssl = session_->Ssl;
  for (;;) {
    if (session_->Finished) {
      WinSock::WSASetLastError(WinSock::WSAESHUTDOWN);
      return -1;
    }
    size_t written = 0;
    ERR_clear_error();
    WinSock::WSASetLastError(0);
    if (SSL_write_ex(ssl, buffer, static_cast<size_t>(length), &written) == 1) return static_cast<int>(written);
    const int error = SSL_get_error(ssl, 0);
    if (error == SSL_ERROR_WANT_READ) {
      // The server's handshake messages come first.
      SocketHandle()->WaitReadable(-2);
      if (!IsConnected() || !session_ || session_->Id != id) throw ENetClosedSocket();
      continue;
    }
    session_->Finished = true;
    if (error == SSL_ERROR_SYSCALL || error == SSL_ERROR_ZERO_RETURN) {
      if (WinSock::WSAGetLastError() == 0) WinSock::WSASetLastError(WinSock::WSAECONNRESET);
      return -1;
    }
    const AnsiString reason = OpenSSLReason();
    ERR_clear_error();
    throw ENetTLSError(Format(NetText::TLSFailed, reason.c_str()));
  }
}
