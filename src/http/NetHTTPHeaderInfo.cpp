#include "http/NetHTTPHeaderInfo.h"

#include <cctype>

#include "http/NetURI.h"
#include "runtime/Exception.h"

AnsiString DateTimeToInternetStr(TDateTime localTime) { return DateTimeGMTToHttpStr(localTime); }

TNetEntityHeaderInfo::TNetEntityHeaderInfo() { TNetEntityHeaderInfo::ResetToDefaults(); }

void TNetEntityHeaderInfo::ResetToDefaults() {
  Connection.clear();
  ContentVersion.clear();
  ContentEncoding.clear();
  ContentLanguage.clear();
  ContentType = "text/html";
  contentLength_ = -1;  // LengthKnown is left as it was
  ContentRangeStart = ContentRangeEnd = 0;
  Date = Expires = LastModified = 0;
  HeaderLines.Clear();
}

void TNetRequestHeaderInfo::ResetToDefaults() {
  Accept = "text/html, */*";
  AcceptCharSet.clear();
  UserAgent = "Mozilla/3.0 (compatible; Tavro Net Library)";
  BasicAuthentication = false;
  TNetEntityHeaderInfo::ResetToDefaults();
}

void TNetHTTPRequest::WriteHeaders() {
  TNetHeaderList& h = HeaderLines;
  h.Clear();
  const auto date = [](TDateTime d) { return d > 0 ? DateTimeToInternetStr(d) : AnsiString(); };
  h.SetValueOf("Connection", Connection);
  h.SetValueOf("Content-Version", ContentVersion);
  h.SetValueOf("Content-Encoding", ContentEncoding);
  h.SetValueOf("Content-Language", ContentLanguage);
  h.SetValueOf("Content-Type", ContentType);
  if (ContentLength() >= 0) h.SetValueOf("Content-Length", IntToStr(ContentLength()));
  h.SetValueOf("Cache-control", CacheControl);
  h.SetValueOf("Date", date(Date));
  h.SetValueOf("Expires", date(Expires));
  h.SetValueOf("Pragma", Pragma);
  if (CustomHeaders.Count() > 0) h.SetText(h.Text() + CustomHeaders.Text());
  h.SetValueOf("Proxy-Connection", ProxyConnection);
  h.SetValueOf("Host", Host);
  h.SetValueOf("Accept", Accept);
  h.SetValueOf("Accept-Charset", AcceptCharSet);
  h.SetValueOf("Accept-Encoding", AcceptEncoding);
  h.SetValueOf("Accept-Language", AcceptLanguage);
  h.SetValueOf("From", From);
  h.SetValueOf("Referer", Referer);
  h.SetValueOf("User-Agent", UserAgent);
  h.SetValueOf("If-Modified-Since", date(LastModified));
  if (ContentRangeStart != 0 || ContentRangeEnd != 0) {
    AnsiString range = "bytes=" + IntToStr(ContentRangeStart) + "-";
    if (ContentRangeEnd != 0) range += IntToStr(ContentRangeEnd);
    h.SetValueOf("Range", range);
  }
  if (BasicAuthentication && !Authentication) {
    Authentication = BasicAuthenticationClass()->Create();
    Authentication->SetUsername(Username);
    Authentication->SetPassword(Password);
  }
  if (Authentication) h.SetValueOf("Authorization", Authentication->Authentication());
}

void TNetResponseHeaderInfo::ResetToDefaults() {
  TNetEntityHeaderInfo::ResetToDefaults();
  Location.clear();
  Server.clear();
  WWWAuthenticate.Clear();
  ProxyAuthenticate.Clear();
}

void TNetResponseHeaderInfo::ReadHeaders() {
  const TNetHeaderList& h = HeaderLines;
  Location = h.ValueOf("Location");
  Server = h.ValueOf("Server");
  ProxyConnection = h.ValueOf("Proxy-Connection");
  AnsiString range = h.ValueOf("Content-Range");
  if (!range.empty()) {
    TakeToken(range, " ");
    ContentRangeStart = StrToInt(TakeToken(range, "-"));
    ContentRangeEnd = StrToInt(TakeToken(range, "/"));
  }
  WWWAuthenticate.Clear();
  h.CollectValues("WWW-Authenticate", WWWAuthenticate);
  ProxyAuthenticate.Clear();
  h.CollectValues("Proxy-Authenticate", ProxyAuthenticate);
  Connection = h.ValueOf("Connection");
  ContentVersion = h.ValueOf("Content-Version");
  ContentEncoding = h.ValueOf("Content-Encoding");
  ContentLanguage = h.ValueOf("Content-Language");
  ContentType = h.ValueOf("Content-Type");
  // Only a plain decimal number counts as a length.
  const AnsiString length = Trim(h.ValueOf("Content-Length"));
  int32_t n = -1;
  bool decimal = !length.empty();
  for (size_t i = 0; i < length.size(); ++i)
    if (!(std::isdigit(static_cast<unsigned char>(length[i])) || (i == 0 && length[i] == '+'))) decimal = false;
  SetContentLength(decimal && TryStrToInt(length, n) ? n : -1);
  Date = GMTToLocalDateTime(h.ValueOf("Date"));
  LastModified = GMTToLocalDateTime(h.ValueOf("Last-Modified"));
  const AnsiString expires = h.ValueOf("Expires");
  int32_t seconds = 0;
  if (TryStrToInt(Trim(expires), seconds) && seconds != -1)
    Expires = NetNow() + seconds / 86400.0;
  else
    Expires = GMTToLocalDateTime(expires);
  Pragma = h.ValueOf("Pragma");
}

int TNetHTTPResponse::StatusCode() const {
  AnsiString line = StatusLine;
  const size_t space = line.find(' ');
  if (space == AnsiString::npos) return -1;
  line = Trim(line.substr(space + 1));
  int32_t code = 0;
  return TryStrToInt(TakeToken(line, " "), code) ? code : -1;
}

bool TNetHTTPResponse::IsChunked() const {
  return NetSearch::AnsiPosText("chunked", HeaderLines.ValueOf("Transfer-Encoding")) > 0;
}

void TNetProxyConnectionInfo::ResetToDefaults() {
  server_.clear();
  ProxyUsername.clear();
  ProxyPassword.clear();
  port_ = 0;
}

void TNetProxyConnectionInfo::SetProxyServer(const AnsiString& v) {
  if (!SameText(v, server_)) Authentication.reset();
  server_ = v;
}

void TNetProxyConnectionInfo::SetProxyPort(int v) {
  if (v != port_) Authentication.reset();
  port_ = v;
}
