#include "job/EnvironmentProxy.h"

#include <cstdlib>

#include "http/NetHTTP.h"
#include "http/NetURI.h"
#include "net/NetStack.h"
#include "runtime/CodePage.h"

namespace {

const char* FirstSet(const TEnvironment& env, const char* lower, const char* upper) {
  const char* value = env(lower);
  if (value && *value) return value;
  value = env(upper);
  return value && *value ? value : nullptr;
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

AnsiString PercentDecode(const AnsiString& text) {
  AnsiString out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size() && HexDigit(text[i + 1]) >= 0 && HexDigit(text[i + 2]) >= 0) {
      out += static_cast<char>(HexDigit(text[i + 1]) * 16 + HexDigit(text[i + 2]));
      i += 2;
    } else {
      out += text[i];
    }
  }
  return out;
}

bool IsDecimal(const AnsiString& text) {
  if (text.empty() || text.size() > 5) return false;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
  }
  return true;
}

// "host", "host:port", "[v6]", "[v6]:port", or a bare IPv6 address: host without the
// brackets (a zone written as URLs write it, "%25eth0", read as "%eth0"), port as written
// (empty when none); false when the brackets do not close, hold no IPv6 address, or
// something other than a port follows them.
bool SplitHostPort(const AnsiString& text, AnsiString& host, AnsiString& port) {
  port.clear();
  if (!text.empty() && text[0] == '[') {
    const size_t close = text.find(']');
    if (close == AnsiString::npos) return false;
    host = text.substr(1, close - 1);
    const size_t zone = host.find("%25");
    if (zone != AnsiString::npos) host.erase(zone + 1, 2);
    const AnsiString rest = text.substr(close + 1);
    if (!rest.empty() && rest[0] != ':') return false;
    if (!rest.empty()) port = rest.substr(1);
    return TNetStack::IsIPv6Address(host);
  }
  const size_t colon = text.rfind(':');
  if (colon == AnsiString::npos || TNetStack::IsIPv6Address(text)) {
    host = text;
    return true;
  }
  host = text.substr(0, colon);
  port = text.substr(colon + 1);
  return true;
}

// "[http://][user[:password]@]host[:port][/...]"; why it cannot be read, or null.
const char* ParseProxy(AnsiString text, TProxyChoice& choice) {
  text = Trim(text);
  const size_t scheme = text.find("://");
  if (scheme != AnsiString::npos) {
    if (!SameText(text.substr(0, scheme), "http")) return "only an http:// proxy is spoken";
    text.erase(0, scheme + 3);
  }
  text = text.substr(0, text.find('/'));
  const size_t at = text.rfind('@');
  if (at != AnsiString::npos) {
    const AnsiString userInfo = text.substr(0, at);
    const size_t colon = userInfo.find(':');
    choice.Username = PercentDecode(userInfo.substr(0, colon));
    if (colon != AnsiString::npos) choice.Password = PercentDecode(userInfo.substr(colon + 1));
    text.erase(0, at + 1);
  }
  choice.Port = 1080;
  AnsiString port;
  if (!SplitHostPort(text, choice.Server, port)) return "its host in brackets is not an IPv6 address";
  // A colon with no port after it is a port that is not a number.
  if (!text.empty() && text.back() == ':') return "its port is not a number from 1 to 65535";
  if (!port.empty()) {
    if (!IsDecimal(port)) return "its port is not a number from 1 to 65535";
    choice.Port = StrToInt(port);
  }
  if (choice.Server.empty()) return "it names no host";
  return choice.Port > 0 && choice.Port < 65536 ? nullptr : "its port is not a number from 1 to 65535";
}

// One no_proxy entry against the URL's host and port.
bool Bypasses(AnsiString entry, const AnsiString& host, const AnsiString& port) {
  entry = LowerCase(Trim(entry));
  if (entry.empty()) return false;
  if (entry == "*") return true;
  AnsiString entryPort;
  if (entry.back() == ':' || !SplitHostPort(AnsiString(entry), entry, entryPort)) return false;
  if (!entryPort.empty() && (!IsDecimal(entryPort) || entryPort != port)) return false;
  if (entry.rfind("*.", 0) == 0) entry.erase(0, 1);
  if (!entry.empty() && entry[0] == '.') entry.erase(0, 1);
  const AnsiString name = LowerCase(host);
  if (name == entry) return true;
  // A domain covers the names below it; an address only itself.
  const bool address = entry.find_first_not_of("0123456789.") == AnsiString::npos || TNetStack::IsIPv6Address(entry);
  return !address && name.size() > entry.size() && name.compare(name.size() - entry.size(), entry.size(), entry) == 0 &&
         name[name.size() - entry.size() - 1] == '.';
}

// The variable's value as it may be shown: a password in it is not.
AnsiString Shown(const AnsiString& value) {
  const size_t at = value.rfind('@');
  if (at == AnsiString::npos) return value;
  const size_t scheme = value.find("://");
  const size_t start = scheme == AnsiString::npos || scheme > at ? 0 : scheme + 3;
  return value.substr(0, start) + "***" + value.substr(at);
}

}  // namespace

const char* ProcessEnvironment(const char* name) { return std::getenv(name); }

TProxyChoice ProxyForUrl(const AnsiString& url, const TEnvironment& env) {
  TProxyChoice choice;
  TNetURI uri(url);
  const bool https = SameText(uri.Scheme(), "https");
  const char* proxy = https ? FirstSet(env, "https_proxy", "HTTPS_PROXY") : FirstSet(env, "http_proxy", "HTTP_PROXY");
  if (!proxy) {
    choice.Reason = "none";
    return choice;
  }
  const AnsiString port = uri.Port().empty() ? AnsiString(https ? "443" : "80") : uri.Port();
  if (const char* noProxy = FirstSet(env, "no_proxy", "NO_PROXY")) {
    for (const AnsiString& entry : AnsiSplit(noProxy, ',')) {
      if (Bypasses(entry, uri.Host(), port)) {
        choice.Reason = "no_proxy";
        return choice;
      }
    }
  }
  TProxyChoice parsed;
  if (const char* problem = ParseProxy(proxy, parsed)) {
    choice.Unreadable = true;
    choice.Reason = AnsiString(https ? "https_proxy" : "http_proxy") + "=" + Shown(proxy) + " cannot be read: " + problem;
    return choice;
  }
  parsed.Use = true;
  parsed.Reason = https ? "https_proxy" : "http_proxy";
  return parsed;
}

TProxyChoice UseEnvironmentProxy(TNetHTTP& client, const AnsiString& url) {
  const TProxyChoice choice = ProxyForUrl(url);
  // Someone who set a proxy does not want direct connections.
  if (choice.Unreadable) throw EProxySettingError(choice.Reason);
  TNetProxyConnectionInfo& proxy = client.ProxyParams();
  proxy.SetProxyServer(choice.Server);
  proxy.SetProxyPort(choice.Port);
  proxy.ProxyUsername = choice.Username;
  proxy.ProxyPassword = choice.Password;
  proxy.BasicAuthentication = !choice.Username.empty();
  return choice;
}

AnsiString DescribeProxyChoice(const TProxyChoice& choice) {
  if (!choice.Use) return "direct (proxy: " + choice.Reason + ")";
  return "through proxy " + TNetStack::FormatHostPort(choice.Server, choice.Port) +
         (choice.Username.empty() ? "" : " with credentials") + " (" + choice.Reason + ")";
}
