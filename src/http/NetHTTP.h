// TNetHTTP: the HTTP/1.x client component. FetchUrl(URL, stream) fetches one URL and
// writes the response body into the caller's stream at its position, raising on any
// failure; the client *is* its TCP connection (CloseConnection, work events, status).
//
// Kept between calls: the current location (host, port, path, credentials), the
// request record (with any authentication object), the last response, the cookie
// manager and, when the last response allowed keep-alive, the open connection.
//
// Reading the outcome after FetchUrl: ResponseCode() is the status code;
// Response().LengthKnown / Response().ContentLength() tell the declared body length;
// the bytes received are the growth of the caller's stream (a server that closes
// early leaves a shorter body without an error when a length was declared; over TLS
// only when it closed with close_notify: a stream cut without it raises
// ENetTLSTruncated, whatever delimits the body).
//
// "https://" URLs (default port 443) are spoken over TLS: the client's connection then
// creates a TNetIOHandlerTLS, trusting the system's certificates or TLSCAFile(). An open
// connection is reused only for the same scheme, host and port. Through a proxy, https
// runs in a CONNECT tunnel (the proxy's credentials go to the proxy alone; a refusal
// raises ENetHTTPProtocolException with the proxy's status). A failed handshake
// raises ENetTLSHandshakeError saying why (and, in a tunnel, naming the proxy).
//
// An answer that stops arriving while the connection stays open can be cut short:
// SetSilenceLimit(minBytes, windowMs) (of the connection) makes the read of the response
// head, and then of the body, raise ENetConnectionSilent once fewer than minBytes arrived
// in windowMs (each counted from its own start); the connection is then closed, as after
// any failed read. Off by default.
//
// Error answers raise ENetHTTPProtocolException with the status code, the status line
// as message and up to 64 KiB of the body as ErrorBody; the caller's stream is never
// written by them. FetchUrl is not re-entrant: a call on a client that is already
// inside one (a message pumped during a wait) raises ENetException.
//
// Deliberate departures from the original client's reading of a response:
// - "chunked" in the Transfer-Encoding value is recognised in any case ("Chunked" too);
// - a chunk-size line that is not hexadecimal raises EConvertError instead of ending
//   the body as a size of 0;
// - a chunk extension after ";" is ignored, so "6;ext" is read as 6, not as 0.
// Beyond it: trailer lines after the last chunk are read and dropped, an interim
// answer other than 100 closes the connection, and the request line percent-encodes
// blanks, control bytes and DEL.
#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "http/NetCookieManager.h"
#include "http/NetHTTPHeaderInfo.h"
#include "http/NetURI.h"
#include "net/NetTCPClient.h"

// An answer outside 2xx (or a redirect not followed). Message: the status line.
class ENetHTTPProtocolException : public ENetException {
 public:
  ENetHTTPProtocolException(int32_t code, AnsiString message, AnsiString errorBody)
      : ENetException(std::move(message)), code_(code), errorBody_(std::move(errorBody)) {}
  int32_t ErrorCode() const { return code_; }
  const AnsiString& ErrorBody() const { return errorBody_; }

 private:
  int32_t code_;
  AnsiString errorBody_;
};

enum TNetHTTPOption { hoInProcessAuth = 1, hoKeepOrigProtocol = 2, hoForceEncodeParams = 4 };
using TNetHTTPOptions = int;  // a set of TNetHTTPOption bits

enum TNetHTTPNextStep { nsDone, nsRepeat, nsRetryWithAuth, nsUndecided };

using TNetRedirectEvent = std::function<void(TObject* Sender, AnsiString& dest, int& NumRedirect, bool& Handled,
                                             TNetHTTPMethod& VMethod)>;
using TNetSelectAuthorizationEvent =
    std::function<void(TObject* Sender, TNetAuthenticationClass& AuthenticationClass, TNetHeaderList& AuthInfo)>;
using TNetAuthorizationEvent = std::function<void(TObject* Sender, TNetAuthentication& Authentication, bool& Handled)>;

class TNetCustomHTTP : public TNetTCPClient {
 public:
  explicit TNetCustomHTTP(TComponent* owner = nullptr);
  ~TNetCustomHTTP() override;

  // GET URL into stream (see the header comment).
  void FetchUrl(const AnsiString& url, TStream& stream);

  // Also writes the number into the current location's port.
  void SetPort(int32_t value) override;

  TNetHTTPProtocolVersion ProtocolVersion() const { return protocolVersion_; }
  void SetProtocolVersion(TNetHTTPProtocolVersion v) { protocolVersion_ = v; }
  bool HandleRedirects() const { return handleRedirects_; }
  void SetHandleRedirects(bool v) { handleRedirects_ = v; }
  int RedirectMaximum() const { return redirectMaximum_; }
  void SetRedirectMaximum(int v) { redirectMaximum_ = v; }
  int AuthRetries() const { return authRetries_; }
  void SetAuthRetries(int v) { authRetries_ = v; }
  bool AllowCookies() const { return allowCookies_; }
  void SetAllowCookies(bool v) { allowCookies_ = v; }
  TNetHTTPOptions HTTPOptions() const { return httpOptions_; }
  void SetHTTPOptions(TNetHTTPOptions v) { httpOptions_ = v; }
  TNetProxyConnectionInfo& ProxyParams() { return proxyParams_; }
  TNetHTTPRequest& Request() { return request_; }
  TNetHTTPResponse& Response() { return response_; }
  // The status code of the last response (-1 when its status line had none).
  int ResponseCode() const { return response_.StatusCode(); }
  const AnsiString& ResponseText() const { return response_.StatusLine; }
  // The current location (merged from every requested URL).
  TNetURI& URL() { return location_; }
  int RedirectCount() const { return redirectCount_; }

  TNetCookieManager* CookieManager() const { return cookieManager_; }
  // A manager the client created itself is freed when another one is assigned.
  void SetCookieManager(TNetCookieManager* manager);

  TNetRedirectEvent OnRedirect;
  TNetSelectAuthorizationEvent OnSelectAuthorization;
  TNetSelectAuthorizationEvent OnSelectProxyAuthorization;
  TNetAuthorizationEvent OnAuthorization;
  TNetAuthorizationEvent OnProxyAuthorization;

  // Caps that keep a hostile server from making the client read without end.
  static constexpr int kMaxHeaderLines = 1000;
  static constexpr int64_t kMaxHeaderBytes = 1024 * 1024;
  static constexpr int64_t kMaxErrorBody = 64 * 1024;
  // The read time-outs of an error answer's body and of a drained body.
  static constexpr int32_t kErrorBodyTimeout = 2000;
  static constexpr int32_t kDrainTimeout = 4000;

 protected:
  void DoOnDisconnected() override;

  void RunRequest(TNetHTTPMethod method, const AnsiString& url, TStream* source, TStream* stream);
  void PrepareTarget();
  void EnsureConnection();
  // Asks the proxy for a tunnel to target ("host:port") and starts TLS inside it.
  void OpenTunnel(const AnsiString& target);
  // "Basic ..." for the proxy when it has credentials, else empty.
  AnsiString ProxyAuthorization();
  void SendRequestHead();
  // The non-empty lines and a blank line, each with CR LF, sent in one write.
  void WriteHead(const std::vector<AnsiString>& lines);
  void ReadResponseHead();
  TNetHTTPNextStep DecideNextStep();
  // Reads the body as the headers describe it into stream; with limit >= 0 at most
  // that many bytes, closing the connection when more would follow.
  void ReadBody(TStream& stream, int64_t limit = -1);
  [[noreturn]] void RaiseProtocolError();
  void DrainBody();
  // Keep-alive decision of the last response, re-evaluated against the connection.
  bool ComputeReuseConnection();

 private:
  TNetHTTPNextStep HandleRedirect();
  bool TryServerAuthorization();
  bool TryProxyAuthorization();
  bool RunAuthorization(std::unique_ptr<TNetAuthentication>& auth, TNetHeaderList& challenges,
                        const TNetSelectAuthorizationEvent& onSelect, const TNetAuthorizationEvent& onAuth,
                        AnsiString& username, AnsiString& password, bool* basicFlag);
  // False when the limit cut the body short.
  bool ReadChunked(TStream& stream, int64_t limit);
  // Header lines up to the blank line, within the header block caps, into lines (or
  // dropped when lines is null); bytes counts what the block already holds.
  void ReadHeaderBlock(TNetHeaderList* lines, int64_t bytes);
  // Reads the body into a temporary stream of at most kMaxErrorBody bytes with the
  // given read timeout; the rest is left unread and the connection closed.
  AnsiString ReadBodyCapped(int32_t timeout);
  void StoreCookies();
  bool ProxyInUse() const { return !proxyParams_.ProxyServer().empty(); }

  TNetURI location_;
  TNetHTTPRequest request_;
  TNetHTTPResponse response_;
  TNetProxyConnectionInfo proxyParams_;
  TNetHTTPProtocolVersion protocolVersion_ = pv1_1;
  bool handleRedirects_ = false;
  int redirectMaximum_ = 15;
  int authRetries_ = 3;
  bool allowCookies_ = true;
  TNetHTTPOptions httpOptions_ = hoForceEncodeParams;
  TNetCookieManager* cookieManager_ = nullptr;
  std::unique_ptr<TNetCookieManager> ownCookieManager_;
  int redirectCount_ = 0;
  int serverAuthCount_ = 0;
  int proxyAuthCount_ = 0;
  bool authAccepted_ = false;
  // The last response was read to its end (so an open connection is in step).
  bool responseConsumed_ = true;
  bool inRequest_ = false;
  // The server ("host:port") that the open connection is a proxy's tunnel to.
  AnsiString tunnel_;
};

class TNetHTTP : public TNetCustomHTTP {
 public:
  using TNetCustomHTTP::TNetCustomHTTP;
};
