// The exceptions of the network transport and their fixed texts.
//
// Classes that always carry the same text construct it by default; every class also
// takes an explicit message.
#pragma once

#include <cstdint>

#include "runtime/Exception.h"

namespace NetText {
inline constexpr const char* WinsockInitializationError = "Winsock Initialization Error.";
inline constexpr const char* SetSizeExceeded = "Set Size Exceeded.";
inline constexpr const char* CannotAllocateSocket = "Cannot allocate socket.";
inline constexpr const char* InvalidServiceName = "%s is not a valid service.";
inline constexpr const char* StubLoadError = "Error on loading Winsock2 library (%s)";
inline constexpr const char* StubCallError = "Error on call Winsock2 library function %s";
inline constexpr const char* SocketError = "Socket Error # %d\r\n%s";
inline constexpr const char* CouldNotBindSocket = "Could not bind socket. Address and port are already in use.";
inline constexpr const char* InvalidPortRange = "Invalid Port Range (%d - %d)";
inline constexpr const char* InvalidPort = "Invalid port %d: a port is a number from 0 to 65535.";
inline constexpr const char* CanNotBindRange = "Can not bind in port range (%d - %d)";
inline constexpr const char* ConnectionClosedGracefully = "Connection Closed Gracefully.";
inline constexpr const char* StatusDisconnected = "Disconnected.";
inline constexpr const char* ConnectTimeout = "Connect timed out.";
// Followed by one line per address: "<address>: <why it failed>".
inline constexpr const char* EveryAddressFailed = "Could not connect to %s port %d; every address failed:";
// A body read that the peer left silent: the least bytes, then the time.
inline constexpr const char* ConnectionSilent = "Connection silent: fewer than %d bytes arrived in %d ms.";
inline constexpr const char* NotConnected = "Not Connected";
inline constexpr const char* NotEnoughDataInBuffer = "Not enough data in buffer.";
inline constexpr const char* NoDataToRead = "No data to read.";
inline constexpr const char* InvalidIOHandler = "IOHandler value is not valid";
inline constexpr const char* ReadTimeout = "Read Timeout";
inline constexpr const char* MaxLineLengthExceeded = "Max line length exceeded.";
inline constexpr const char* AlreadyConnected = "Already connected.";
inline constexpr const char* OnlyOneFreezeGuard = "Only one TNetFreezeGuard can exist per application.";
// TLS ("https"): the handshake's failure is "TLS handshake with <host> failed: <why>.".
inline constexpr const char* TLSHandshakeFailed = "TLS handshake with %s failed: %s.";
// The same inside a proxy's CONNECT tunnel: host, then the proxy ("host:port"), then why.
inline constexpr const char* TLSHandshakeThroughProxyFailed = "TLS handshake with %s through the proxy %s failed: %s.";
inline constexpr const char* TLSUntrusted = "the server's certificate is not trusted (%s)";
inline constexpr const char* TLSNameMismatch = "the server's certificate is not valid for the name %s";
inline constexpr const char* TLSExpired = "the server's certificate has expired";
inline constexpr const char* TLSNotYetValid = "the server's certificate is not valid yet";
inline constexpr const char* TLSProtocolTooOld = "the server offers only a protocol older than TLS 1.2";
inline constexpr const char* TLSServerClosed = "the server closed the connection";
inline constexpr const char* TLSNotTLS = "what came back is not TLS";
inline constexpr const char* TLSNoAnswer = "the server did not answer in time";
inline constexpr const char* TLSCAFileUnreadable = "the trusted certificates file %s cannot be read";
inline constexpr const char* TLSFailed = "TLS error: %s.";
inline constexpr const char* TLSNoCloseNotify =
    "Connection closed without TLS close_notify: what arrived may be cut short.";
}  // namespace NetText

// A class whose default message is a fixed text.
#define TAVRO_NET_EXCEPTION(Name, Base, DefaultText)             \
  class Name : public Base {                                     \
   public:                                                       \
    Name() : Base(DefaultText) {}                                \
    explicit Name(AnsiString message) : Base(std::move(message)) {} \
  };

TAVRO_DECLARE_EXCEPTION(ENetException, Exception)
// Exceptions that end an operation without being an error to show.
TAVRO_DECLARE_EXCEPTION(ENetSilentException, ENetException)

// Socket stack.
TAVRO_DECLARE_EXCEPTION(ENetStackError, ENetException)
TAVRO_NET_EXCEPTION(ENetStackInitializationFailed, ENetStackError, NetText::WinsockInitializationError)
TAVRO_NET_EXCEPTION(ENetStackSetSizeExceeded, ENetStackError, NetText::SetSizeExceeded)
TAVRO_NET_EXCEPTION(ENetInvalidSocket, ENetException, NetText::CannotAllocateSocket)
TAVRO_DECLARE_EXCEPTION(ENetInvalidServiceName, ENetException)

// A failed socket call: SocketErrorCode() is the Windows Sockets code.
class ENetSocketError : public ENetException {
 public:
  ENetSocketError(int32_t code, AnsiString message) : ENetException(std::move(message)), code_(code) {}
  int32_t SocketErrorCode() const { return code_; }

 private:
  int32_t code_;
};

// The sockets library could not be loaded or an entry was used before it was.
class ENetWS2StubError : public ENetException {
 public:
  ENetWS2StubError(const AnsiString& title, int32_t win32Error);
  int32_t Win32Error() const { return win32Error_; }
  const AnsiString& Win32ErrorMessage() const { return win32ErrorMessage_; }
  const AnsiString& Title() const { return title_; }

 private:
  int32_t win32Error_;
  AnsiString win32ErrorMessage_;
  AnsiString title_;
};

// Socket handle and I/O handler.
TAVRO_DECLARE_EXCEPTION(ENetSocketHandleError, ENetException)
TAVRO_NET_EXCEPTION(ENetCouldNotBindSocket, ENetSocketHandleError, NetText::CouldNotBindSocket)
TAVRO_DECLARE_EXCEPTION(ENetCanNotBindPortInRange, ENetSocketHandleError)
TAVRO_DECLARE_EXCEPTION(ENetInvalidPortRange, ENetSocketHandleError)
// A port that does not fit the 16 bits of a socket address.
TAVRO_DECLARE_EXCEPTION(ENetInvalidPort, ENetSocketHandleError)
TAVRO_NET_EXCEPTION(ENetConnClosedGracefully, ENetSilentException, NetText::ConnectionClosedGracefully)
TAVRO_NET_EXCEPTION(ENetClosedSocket, ENetException, NetText::StatusDisconnected)
TAVRO_NET_EXCEPTION(ENetConnectTimeout, ENetException, NetText::ConnectTimeout)
TAVRO_DECLARE_EXCEPTION(ENetConnectException, ENetException)
TAVRO_DECLARE_EXCEPTION(ENetSocksError, ENetException)

// TCP connection.
TAVRO_DECLARE_EXCEPTION(ENetTCPConnectionError, ENetException)
TAVRO_NET_EXCEPTION(ENetNotConnected, ENetTCPConnectionError, NetText::NotConnected)
TAVRO_NET_EXCEPTION(ENetNotEnoughDataInBuffer, ENetTCPConnectionError, NetText::NotEnoughDataInBuffer)
TAVRO_NET_EXCEPTION(ENetNoDataToRead, ENetTCPConnectionError, NetText::NoDataToRead)
TAVRO_DECLARE_EXCEPTION(ENetFileNotFound, ENetTCPConnectionError)
TAVRO_NET_EXCEPTION(ENetIOHandlerPropInvalid, ENetTCPConnectionError, NetText::InvalidIOHandler)
TAVRO_NET_EXCEPTION(ENetReadTimeout, ENetException, NetText::ReadTimeout)
// A body read during which the peer sent fewer than the connection's SilenceMinBytes in
// SilenceWindow ms while the connection stayed open: a connection that is as good as
// broken (lost Wi-Fi, a NAT that forgot the flow), to be treated like a cut one.
TAVRO_DECLARE_EXCEPTION(ENetConnectionSilent, ENetException)
TAVRO_NET_EXCEPTION(ENetReadLnMaxLineLengthExceeded, ENetException, NetText::MaxLineLengthExceeded)
TAVRO_NET_EXCEPTION(ENetAlreadyConnected, ENetException, NetText::AlreadyConnected)

// TLS ("https"). A failure of the protocol on an established connection.
TAVRO_DECLARE_EXCEPTION(ENetTLSError, ENetException)
// The stream ended without the server's close_notify: the end is not authenticated, so
// nothing read up to it can be taken as whole (someone on the path may have cut it).
TAVRO_NET_EXCEPTION(ENetTLSTruncated, ENetTLSError, NetText::TLSNoCloseNotify)

// Why a TLS handshake failed.
enum TNetTLSFailure {
  tfUntrusted,       // the chain does not end at a trusted certificate
  tfNameMismatch,    // the certificate names another host
  tfExpired,
  tfNotYetValid,
  tfProtocolTooOld,  // the server speaks nothing newer than TLS 1.1
  tfClosed,          // the server closed the connection during the handshake
  tfNotTLS,          // the answer is not TLS at all (or bytes came before it)
  tfTimeout,
  tfOther
};

// Message: "TLS handshake with <host> failed: <Reason()>." (or the proxy's form).
class ENetTLSHandshakeError : public ENetTLSError {
 public:
  ENetTLSHandshakeError(TNetTLSFailure failure, AnsiString message, AnsiString reason = AnsiString())
      : ENetTLSError(std::move(message)), failure_(failure), reason_(std::move(reason)) {}
  TNetTLSFailure Failure() const { return failure_; }
  const AnsiString& Reason() const { return reason_; }

 private:
  TNetTLSFailure failure_;
  AnsiString reason_;
};
