#include "http/NetHTTP.h"

#include <algorithm>

#include "net/NetIOHandlerTLS.h"
#include "runtime/Exception.h"
#include "net/NetScope.h"
#include "runtime/MemoryStream.h"

namespace {

const char* const kMethodWords[] = {"HEAD ", "GET ", "POST ", "OPTIONS ", "TRACE ", "PUT ", "DELETE ", "CONNECT "};

// A chunk-size line: hexadecimal digits up to the first blank or ";" (a chunk
// extension). Anything else, or a size past 31 bits, is not a chunk size.
int32_t ParseChunkSize(const AnsiString& line) {
  AnsiString text = line;
  const size_t cut = text.find_first_of(" \t;");
  if (cut != AnsiString::npos) text.erase(cut);
  int64_t size = 0;
  bool ok = !text.empty();
  for (char c : text) {
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else { ok = false; break; }
    size = size * 16 + digit;
    if (size > 0x7FFFFFFF) { ok = false; break; }
  }
  if (!ok) throw EConvertError(Format("'%s' is not a valid chunk size", line.c_str()));
  return static_cast<int32_t>(size);
}

// The request target as it goes on the wire: the bytes that cannot stand in a request
// line (blank, control bytes, DEL) percent-encoded, every other byte as given.
AnsiString RequestLineTarget(const AnsiString& target) {
  static const char kHex[] = "0123456789ABCDEF";
  AnsiString wire;
  wire.reserve(target.size());
  for (unsigned char c : target) {
    if (c <= 0x20 || c == 0x7F) {
      wire += '%';
      wire += kHex[c >> 4];
      wire += kHex[c & 15];
    } else {
      wire += static_cast<char>(c);
    }
  }
  return wire;
}

}  // namespace

TNetCustomHTTP::TNetCustomHTTP(TComponent* owner) : TNetTCPClient(owner) { SetPort(80); }

TNetCustomHTTP::~TNetCustomHTTP() = default;

void TNetCustomHTTP::SetPort(int32_t value) {
  TNetTCPClient::SetPort(value);
  location_.SetPort(IntToStr(value));
}

void TNetCustomHTTP::SetCookieManager(TNetCookieManager* manager) {
  if (manager == cookieManager_) return;
  cookieManager_ = manager;
  ownCookieManager_.reset();
}

void TNetCustomHTTP::FetchUrl(const AnsiString& url, TStream& stream) {
  if (inRequest_) throw ENetException("Request already in progress");
  inRequest_ = true;
  TNetScopeExit leave([this] { inRequest_ = false; });
  RunRequest(hmGet, url, nullptr, &stream);
}

void TNetCustomHTTP::RunRequest(TNetHTTPMethod method, const AnsiString& url, TStream* source, TStream* stream) {
  const int64_t start = stream ? stream->Position() : 0;
  serverAuthCount_ = proxyAuthCount_ = 0;
  request_.URL = url;
  request_.Method = method;
  request_.Source = source;
  response_.BodyStream = stream;
  // However the exchange ends, bytes of a response left unread would be read as the
  // start of the next one: the connection is kept only when it is in step.
  TNetScopeExit finish([this] {
    if (!responseConsumed_ || InputQueue().Size() > 0 || !ComputeReuseConnection()) CloseConnection();
  });
  for (;;) {
    ++redirectCount_;
    PrepareTarget();
    EnsureConnection();
    SendRequestHead();
    {
      // A server that takes the request and then says nothing breaks the silence rule too.
      BeginSilenceWatch();
      TNetScopeExit unwatch([this] { EndSilenceWatch(); });
      do {
        ReadResponseHead();
      } while (response_.StatusCode() == 100);
    }
    const TNetHTTPNextStep next = DecideNextStep();
    if (next == nsDone) break;
    if (next == nsUndecided) throw ENetException("Undefined situation");
    if (next == nsRepeat) {
      if (stream) {
        stream->SetPosition(start);
        stream->SetSize(start);
      }
      serverAuthCount_ = proxyAuthCount_ = 0;
    } else {  // nsRetryWithAuth
      --redirectCount_;
      request_.URL = url;
    }
  }
  redirectCount_ = 0;
}

void TNetCustomHTTP::PrepareTarget() {
  TNetURI requested(request_.URL);
  if (!requested.Username().empty()) {
    request_.Username = requested.Username();
    request_.Password = requested.Password();
  }
  location_.SetUsername(request_.Username);
  location_.SetPassword(request_.Password);
  location_.SetPath(MergePath(location_.Path(), requested.Path()));
  location_.SetFileSegment(requested.FileSegment());
  location_.SetQuery(requested.Query());
  if (!requested.Host().empty()) location_.SetHost(requested.Host());
  location_.SetScheme(requested.Scheme().empty() ? AnsiString("http") : requested.Scheme());
  if (!requested.Port().empty()) {
    location_.SetPort(requested.Port());
  } else {
    // A port other than the defaults stays for later URLs that name none.
    const int32_t current = StrToIntDef(location_.Port(), 0);
    if (current == 0 || current == 80 || current == 443) {
      if (SameText(location_.Scheme(), "http"))
        location_.SetPort("80");
      else if (SameText(location_.Scheme(), "https"))
        location_.SetPort("443");
      else
        throw ENetUnknownProtocol("");
    }
  }
  AnsiString target = location_.Path() + location_.FileSegment() + location_.Query();
  // The fragment is the client's own: it never goes on the wire, whatever form the URL came in.
  if (const size_t hash = NetSearch::AnsiPos("#", target); hash > 0) target.erase(hash - 1);
  if (request_.Method == hmOptions && location_.FileSegment() == "*") target = "*";
  request_.URL = target;
  // An IPv6 address stands in brackets, as in the URL; its zone names an interface of this
  // machine, which means nothing to the server.
  const AnsiString zoned = location_.Host();
  const size_t zone = TNetStack::IsIPv6Address(zoned) ? zoned.find('%') : AnsiString::npos;
  const AnsiString host = TNetStack::BracketHost(zoned.substr(0, zone));
  request_.Host = location_.Port() == "80" ? host : host + ":" + location_.Port();

  const TNetHTTPMethod m = request_.Method;
  if ((m == hmTrace || m == hmPut || m == hmOptions || m == hmDelete) && protocolVersion_ != pv1_1)
    throw ENetException("This request method is supported in HTTP 1.1");
  request_.SetContentLength((m == hmPost || m == hmPut) && request_.Source
                                ? static_cast<int32_t>(request_.Source->Size())
                                : -1);
}

void TNetCustomHTTP::EnsureConnection() {
  const bool secure = SameText(location_.Scheme(), "HTTPS");
  TNetHTTPConnectionType kind;
  if (!ProxyInUse()) {
    if (!SameText(Host(), location_.Host()) || Port() != StrToInt(location_.Port())) {
      if (IsConnected()) CloseConnection();
      SetHost(location_.Host());
      TNetTCPClient::SetPort(StrToInt(location_.Port()));
    }
    kind = secure ? ckSecure : ckPlain;
  } else {
    if (!SameText(Host(), proxyParams_.ProxyServer()) || Port() != proxyParams_.ProxyPort()) {
      if (IsConnected()) CloseConnection();
      SetHost(proxyParams_.ProxyServer());
      TNetTCPClient::SetPort(proxyParams_.ProxyPort());
    }
    kind = secure ? ckSecureProxy : ckProxy;
  }
  // A handler assigned from outside that does not speak TLS cannot carry https.
  if (secure && IOHandler() && !FreeHandlerOnDisconnect() && !dynamic_cast<TNetIOHandlerTLS*>(IOHandler()))
    throw ENetIOHandlerPropInvalid();
  // A connection is reused only for the same host, port and kind: never https for
  // http or the other way round, nor a proxy's tunnel for another server.
  const AnsiString tunnel =
      kind == ckSecureProxy ? TNetStack::BracketHost(location_.Host()) + ":" + location_.Port() : AnsiString();
  if (secure != UseTLS() || !SameText(tunnel, tunnel_)) {
    if (IsConnected()) CloseConnection();
    SetUseTLS(secure);
  }
  SetTLSHandshakeOnConnect(kind != ckSecureProxy);
  request_.ConnectionKind = kind;
  if (kind == ckProxy) request_.URL = location_.URI();
  if (protocolVersion_ == pv1_0 && request_.Connection.empty()) {
    if (kind == ckPlain) request_.Connection = "keep-alive";
    if (kind == ckProxy) request_.ProxyConnection = "keep-alive";
  }
  if (!ComputeReuseConnection()) CloseConnection();
  ProbeForClose(false);
  // Bytes that came before the request was sent cannot be its answer.
  if (InputQueue().Size() > 0) CloseConnection();
  if (!IsConnected()) {
    OpenConnection(ReadTimeout());
    if (kind == ckSecureProxy) OpenTunnel(tunnel);
  }
}

void TNetCustomHTTP::OpenTunnel(const AnsiString& target) {
  // RFC 9110 CONNECT: the proxy relays bytes to target once it answers 2xx; TLS with
  // the server then runs inside. Proxy credentials go to the proxy only, here.
  const AnsiString credentials = ProxyAuthorization();
  WriteHead({"CONNECT " + target + " HTTP/1.1", "Host: " + target,
             credentials.empty() ? AnsiString() : "Proxy-Authorization: " + credentials});
  const AnsiString status = ReadLine();
  ReadHeaderBlock(nullptr, static_cast<int64_t>(status.size()));
  AnsiString rest = status;
  TakeToken(rest, " ");
  const int code = StrToIntDef(TakeToken(rest, " "), -1);
  if (code / 100 != 2) {
    CloseConnection();
    throw ENetHTTPProtocolException(code, status, AnsiString());
  }
  try {
    StartTLS(location_.Host(), ReadTimeout());
  } catch (const ENetTLSHandshakeError& e) {
    // Said so that a person sees the proxy is part of the road.
    const AnsiString proxy = TNetStack::FormatHostPort(proxyParams_.ProxyServer(), proxyParams_.ProxyPort());
    throw ENetTLSHandshakeError(e.Failure(),
                                Format(NetText::TLSHandshakeThroughProxyFailed, location_.Host().c_str(),
                                       proxy.c_str(), e.Reason().c_str()),
                                e.Reason());
  }
  tunnel_ = target;
}

AnsiString TNetCustomHTTP::ProxyAuthorization() {
  if (!proxyParams_.Authentication && ProxyInUse() && proxyParams_.BasicAuthentication) {
    proxyParams_.Authentication = BasicAuthenticationClass()->Create();
    proxyParams_.Authentication->SetUsername(proxyParams_.ProxyUsername);
    proxyParams_.Authentication->SetPassword(proxyParams_.ProxyPassword);
  }
  return proxyParams_.Authentication ? proxyParams_.Authentication->Authentication() : AnsiString();
}

void TNetCustomHTTP::SendRequestHead() {
  request_.WriteHeaders();
  // Inside a tunnel the request goes to the server itself, which never sees them.
  if (request_.ConnectionKind != ckSecureProxy) {
    if (AnsiString credentials = ProxyAuthorization(); !credentials.empty())
      request_.HeaderLines.SetValueOf("Proxy-Authorization", credentials);
  }
  if (cookieManager_) {
    const AnsiString cookies = cookieManager_->CookieHeaderFor(location_, false);
    if (!cookies.empty()) request_.HeaderLines.SetValueOf("Cookie", cookies);
  }
  responseConsumed_ = false;
  std::vector<AnsiString> head{kMethodWords[request_.Method] + RequestLineTarget(request_.URL) + " HTTP/" +
                                (protocolVersion_ == pv1_0 ? "1.0" : "1.1")};
  for (int i = 0; i < request_.HeaderLines.Count(); ++i) head.push_back(request_.HeaderLines.Strings(i));
  WriteHead(head);
  if ((request_.Method == hmPost || request_.Method == hmPut) && request_.Source) WriteFromStream(*request_.Source);
}

void TNetCustomHTTP::WriteHead(const std::vector<AnsiString>& lines) {
  StartWriteBuffering(-1);
  {
    // A failed collection sends nothing.
    TNetScopeExit discard([this] {
      DiscardWriteBuffering();
      FinishWriteBuffering();
    });
    for (const AnsiString& line : lines)
      if (!line.empty()) WriteLine(line);
    WriteLine("");
    discard.Release();
  }
  FinishWriteBuffering();
}

void TNetCustomHTTP::ReadResponseHead() {
  response_.StatusLine = ReadLine();
  TNetHeaderList& lines = response_.HeaderLines;
  lines.Clear();
  ReadHeaderBlock(&lines, static_cast<int64_t>(response_.StatusLine.size()));
  response_.ReadHeaders();
  ComputeReuseConnection();
  StoreCookies();
}

void TNetCustomHTTP::ReadHeaderBlock(TNetHeaderList* lines, int64_t bytes) {
  int count = 0;
  for (;;) {
    AnsiString line;
    try {
      line = ReadLine();
    } catch (const ENetConnClosedGracefully&) {
      // A close after at least one header line ends the block there.
      if (!lines || count == 0) throw;
      CloseConnection();
      break;
    }
    if (line.empty()) break;
    bytes += static_cast<int64_t>(line.size()) + 2;
    if (count >= kMaxHeaderLines || bytes > kMaxHeaderBytes) {
      CloseConnection();
      throw ENetException("Response header block too large");
    }
    ++count;
    if (lines) lines->Add(line);
  }
}

void TNetCustomHTTP::StoreCookies() {
  if (!cookieManager_ && allowCookies_) {
    ownCookieManager_ = std::make_unique<TNetCookieManager>();
    cookieManager_ = ownCookieManager_.get();
  }
  if (!cookieManager_) return;
  std::vector<AnsiString> cookies, cookies2;
  response_.HeaderLines.CollectValues("Set-cookie", cookies);
  response_.HeaderLines.CollectValues("Set-cookie2", cookies2);
  for (const AnsiString& c : cookies) cookieManager_->StoreCookie(c, location_.Host());
  for (const AnsiString& c : cookies2) cookieManager_->StoreCookie2(c, location_.Host());
}

bool TNetCustomHTTP::ComputeReuseConnection() {
  const AnsiString version = response_.StatusLine.size() >= 8 ? response_.StatusLine.substr(5, 3) : AnsiString();
  if (version == "1.0") response_.StatusVersion = pv1_0;
  if (version == "1.1") response_.StatusVersion = pv1_1;
  CheckConnectionLost(false, false);
  bool reuse = IsConnected();
  if (reuse) {
    const auto says = [this](const char* word) {
      return SameText(Trim(response_.Connection), word) || SameText(Trim(response_.ProxyConnection), word);
    };
    reuse = protocolVersion_ == pv1_1 ? !says("CLOSE") : says("KEEP-ALIVE");
  }
  response_.ReuseConnection = reuse;
  return reuse;
}

TNetHTTPNextStep TNetCustomHTTP::DecideNextStep() {
  const int code = response_.StatusCode();
  const int cls = code / 100;
  if ((cls == 3 && code != 304) || !response_.Location.empty()) return HandleRedirect();
  TNetHTTPNextStep next = nsUndecided;
  authAccepted_ = false;
  if (cls != 2) {
    next = nsRepeat;
    if (code == 401) {
      if (serverAuthCount_ >= authRetries_ || !TryServerAuthorization()) {
        if (request_.Authentication) request_.Authentication->ResetState();
        RaiseProtocolError();
      }
    } else if (code == 407) {
      proxyParams_.ProxyPassword.clear();
      if (proxyParams_.Authentication) proxyParams_.Authentication->ResetState();
      if (proxyAuthCount_ >= authRetries_ || !TryProxyAuthorization()) {
        if (proxyParams_.Authentication) proxyParams_.Authentication->ResetState();
        RaiseProtocolError();
      }
    } else {
      RaiseProtocolError();
    }
    authAccepted_ = true;
  }
  if (IsConnected()) {
    if (authAccepted_ && (httpOptions_ & hoInProcessAuth)) {
      DrainBody();
      next = nsRetryWithAuth;
    } else {
      if (response_.BodyStream) ReadBody(*response_.BodyStream);
      next = nsDone;
    }
  }
  return next;
}

void TNetCustomHTTP::ReadBody(TStream& stream, int64_t limit) {
  const int code = response_.StatusCode();
  // An interim answer is followed by the real one, so it is never read to its end.
  if (code / 100 == 1) return;
  // These answers carry no body whatever their headers say.
  if (request_.Method == hmHead || code == 204 || code == 304) {
    responseConsumed_ = true;
    return;
  }
  // The whole body is watched, chunk-size lines too: a server that goes silent
  // anywhere in it breaks the rule.
  BeginSilenceWatch();
  TNetScopeExit unwatch([this] { EndSilenceWatch(); });
  const int64_t length = response_.ContentLength();
  bool complete = true;
  if (length > 0) {
    const int64_t take = limit < 0 ? length : std::min(length, limit);
    complete = take == length;
    const int64_t start = stream.Position();
    // The transport keeps whole blocks in the stream and the bytes of an unfinished one in
    // its queue: at a break (a cut, a silent peer, a cancel) those are the body's too, and
    // go to the stream, so that a download resumed later goes on right after them.
    const auto keepQueued = [&] {
      const int64_t n = std::min(InputQueue().Size(), take - (stream.Position() - start));
      if (n <= 0) return;
      stream.WriteBuffer(InputQueue().Data(), n);
      InputQueue().Remove(n);
    };
    try {
      TNetWorkBracket work(*this, wmRead, length);
      ReadToStream(stream, take, false);
    } catch (const ENetConnClosedGracefully&) {
      // A short body: the caller compares the bytes received with the declared length.
      keepQueued();
    } catch (const ENetException&) {
      keepQueued();
      throw;
    }
  } else if (response_.IsChunked()) {
    complete = ReadChunked(stream, limit);
  } else if (!response_.LengthKnown) {
    ReadToStream(stream, limit, true);
    complete = !IsConnected();
  }
  if (complete)
    responseConsumed_ = true;
  else
    CloseConnection();  // the rest of the body stays unread
}

bool TNetCustomHTTP::ReadChunked(TStream& stream, int64_t limit) {
  ReportStatus(hsStatusText, "Chunk Started");
  int64_t room = limit < 0 ? INT64_MAX : limit;
  for (;;) {
    const int32_t size = ParseChunkSize(ReadLine());
    if (size == 0) break;
    if (size > room) {
      TNetWorkBracket work(*this, wmRead, size);
      ReadToStream(stream, room, false);
      return false;
    }
    ReadToStream(stream, size, false);
    room -= size;
    ReadLine();
  }
  // Trailer lines up to the blank line are read and dropped.
  ReadHeaderBlock(nullptr, 0);
  return true;
}

AnsiString TNetCustomHTTP::ReadBodyCapped(int32_t timeout) {
  const int32_t oldTimeout = ReadTimeout();
  TNetScopeExit restore([&] { SetReadTimeout(oldTimeout); });
  SetReadTimeout(timeout);
  TMemoryStream temp;
  try {
    ReadBody(temp, kMaxErrorBody);
  } catch (const ENetTLSTruncated&) {
    // Never taken as data, only shown: what arrived before the cut still says why.
  }
  return AnsiString(temp.Memory() ? temp.Memory() : "", static_cast<size_t>(temp.Size()));
}

void TNetCustomHTTP::RaiseProtocolError() {
  const AnsiString body = ReadBodyCapped(kErrorBodyTimeout);
  throw ENetHTTPProtocolException(response_.StatusCode(), response_.StatusLine, body);
}

void TNetCustomHTTP::DrainBody() {
  try {
    ReadBodyCapped(kDrainTimeout);
  } catch (const Exception&) {
    // A failed drain only costs the connection.
    CloseConnection();
  }
}
