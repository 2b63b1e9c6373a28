// The HTTP header records: typed properties written into a header list before a
// request goes out (WriteHeaders) and read from the received lines (ReadHeaders).
// The client owns one request and one response record for its whole life, so their
// values persist from one request to the next.
#pragma once

#include <memory>

#include "http/NetAuthentication.h"
#include "http/NetDateTime.h"
#include "http/NetHeaderList.h"
#include "runtime/Stream.h"

enum TNetHTTPMethod { hmHead, hmGet, hmPost, hmOptions, hmTrace, hmPut, hmDelete, hmConnect };
enum TNetHTTPConnectionType { ckPlain, ckSecure, ckProxy, ckSecureProxy };
enum TNetHTTPProtocolVersion { pv1_0, pv1_1 };

class TNetEntityHeaderInfo {
 public:
  TNetEntityHeaderInfo();
  virtual ~TNetEntityHeaderInfo() = default;
  TNetEntityHeaderInfo(const TNetEntityHeaderInfo&) = delete;
  TNetEntityHeaderInfo& operator=(const TNetEntityHeaderInfo&) = delete;

  virtual void ResetToDefaults();

  int32_t ContentLength() const { return contentLength_; }
  // Also sets LengthKnown = (value >= 0).
  void SetContentLength(int32_t v) {
    contentLength_ = v;
    LengthKnown = v >= 0;
  }

  AnsiString CacheControl, Connection, ContentEncoding, ContentLanguage, ContentType, ContentVersion, Pragma;
  int32_t ContentRangeStart = 0, ContentRangeEnd = 0;
  TDateTime Date = 0, Expires = 0, LastModified = 0;
  bool LengthKnown = false;
  TNetHeaderList CustomHeaders{78};
  TNetHeaderList HeaderLines{1024};

 private:
  int32_t contentLength_ = -1;
};

class TNetRequestHeaderInfo : public TNetEntityHeaderInfo {
 public:
  void ResetToDefaults() override;

  AnsiString Accept, AcceptCharSet, AcceptEncoding, AcceptLanguage, From, Host, ProxyConnection, Referer,
      UserAgent, Username, Password;
  bool BasicAuthentication = false;
  // Owned; none at first (see the client's authorization steps).
  std::unique_ptr<TNetAuthentication> Authentication;
};

class TNetHTTPRequest : public TNetRequestHeaderInfo {
 public:
  TNetHTTPRequest() { ResetToDefaults(); }
  // Rebuilds HeaderLines from the properties, in the fixed order of the request head.
  void WriteHeaders();

  AnsiString URL;
  TNetHTTPMethod Method = hmGet;
  TStream* Source = nullptr;  // not owned
  TNetHTTPConnectionType ConnectionKind = ckPlain;
};

class TNetResponseHeaderInfo : public TNetEntityHeaderInfo {
 public:
  void ResetToDefaults() override;
  // Fills the properties from HeaderLines. A malformed "Content-Range" raises
  // EConvertError; a malformed "Content-Length" reads as no length (-1).
  virtual void ReadHeaders();

  AnsiString Location, ProxyConnection, Server;
  TNetHeaderList WWWAuthenticate, ProxyAuthenticate;
};

class TNetHTTPResponse : public TNetResponseHeaderInfo {
 public:
  TNetHTTPResponse() { ResetToDefaults(); }

  AnsiString StatusLine;
  // The number after the first space of the status line; -1 when it is not one.
  int StatusCode() const;
  // The body comes in chunks: "chunked" anywhere in the Transfer-Encoding value, in any
  // case (a deliberate widening: "Chunked" is read as chunked too).
  bool IsChunked() const;
  TNetHTTPProtocolVersion StatusVersion = pv1_0;
  bool ReuseConnection = false;
  TStream* BodyStream = nullptr;  // not owned
};

class TNetProxyConnectionInfo {
 public:
  void ResetToDefaults();
  const AnsiString& ProxyServer() const { return server_; }
  // A different server (case-insensitively) or port frees the authentication object.
  void SetProxyServer(const AnsiString& v);
  int ProxyPort() const { return port_; }
  void SetProxyPort(int v);

  AnsiString ProxyUsername, ProxyPassword;
  bool BasicAuthentication = false;
  std::unique_ptr<TNetAuthentication> Authentication;

 private:
  AnsiString server_;
  int port_ = 0;
};

// Internet dates as the header records write them ("%s, %d %s %d %s %s").
AnsiString DateTimeToInternetStr(TDateTime localTime);
