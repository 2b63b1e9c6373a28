// The proxy from the environment, as command-line tools take it: http_proxy (else
// HTTP_PROXY) for http URLs, https_proxy (else HTTPS_PROXY) for https URLs, and no_proxy
// (else NO_PROXY), a comma list of host names that are reached directly: "*" for all,
// a domain name for itself and every host below it (a leading "." or "*." changes
// nothing), or a literal address for that address only (an IPv6 one with or without
// brackets: "::1", "[::1]", "[::1]:8080"). Names compare without regard
// to case; an entry "name:port" applies to that port only.
//
// A proxy is written "[http://][user[:password]@]host[:port][/]", an IPv6 host in
// brackets ("http://[::1]:3128"); the port defaults to
// 1080, user and password may be percent-encoded, and an IPv6 zone is written as URLs
// write it ("[fe80::1%25eth0]"). A variable that is set but cannot be read (brackets
// that hold no IPv6 address, a port that is no port, a scheme the client does not speak)
// is an error: nothing is sent, and nothing goes direct instead.
//
// With no proxy variable set the client connects straight to the server, as before.
#pragma once

#include <functional>

#include "runtime/Exception.h"
#include "runtime/SysUtils.h"

class TNetHTTP;

// A proxy variable that is set but cannot be read: "http_proxy=<value> cannot be read: <why>".
TAVRO_DECLARE_EXCEPTION(EProxySettingError, Exception)

struct TProxyChoice {
  bool Use = false;
  AnsiString Server;
  int Port = 0;
  AnsiString Username, Password;
  // Why no proxy is used, or which variable gave it ("http_proxy", "no_proxy", "none"),
  // or why the variable cannot be read.
  AnsiString Reason;
  bool Unreadable = false;  // the variable is set but cannot be read
};

// Reads an environment variable; null when unset. Tests pass their own.
using TEnvironment = std::function<const char*(const char*)>;
const char* ProcessEnvironment(const char* name);

TProxyChoice ProxyForUrl(const AnsiString& url, const TEnvironment& env = ProcessEnvironment);

// Gives the client the proxy settings for the URL (or none), just before it fetches it;
// returns the choice. Raises EProxySettingError for a variable that cannot be read.
TProxyChoice UseEnvironmentProxy(TNetHTTP& client, const AnsiString& url);

// The choice in words for the log, without the credentials.
AnsiString DescribeProxyChoice(const TProxyChoice& choice);
