#include "http/NetCookie.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>

#include "http/NetDateTime.h"
#include "http/NetURI.h"

namespace {

AnsiString StripQuotes(AnsiString v) {
  if (!v.empty() && v.front() == '"') v.erase(0, 1);
  if (!v.empty() && v.back() == '"') v.pop_back();
  return v;
}

// Expiry arithmetic saturates: a server's huge max-age (or a date far off) gives the
// latest time an Internet date can carry, never an overflow.
constexpr int64_t kLatestExpiry = 253402300799;  // 31 Dec 9999 23:59:59 UTC

int64_t SaturatedSum(int64_t a, int64_t b) {
  int64_t sum;
  if (__builtin_add_overflow(a, b, &sum)) return b > 0 ? INT64_MAX : INT64_MIN;
  return sum;
}

int64_t SaturatedDifference(int64_t a, int64_t b) {
  int64_t difference;
  if (__builtin_sub_overflow(a, b, &difference)) return b < 0 ? INT64_MAX : INT64_MIN;
  return difference;
}

void AddPart(AnsiString& text, const AnsiString& part) {
  if (!text.empty()) text += "; ";
  text += part;
}

}  // namespace

const TNetNetscapeCookie::Attribute* TNetNetscapeCookie::Find(const Attributes& attrs, const AnsiString& name) {
  // Names are stored upper-cased and asked for in upper case.
  for (const Attribute& a : attrs)
    if (a.Name == name) return &a;
  return nullptr;
}

void TNetNetscapeCookie::Parse(const AnsiString& text) {
  if (text == SourceText) return;
  SourceText = text;
  CookieName.clear();
  Value.clear();
  Domain.clear();
  Path.clear();
  Expires.clear();
  Secure = false;
  TNetTokenWalk parts(text, ";");
  AnsiString first = Trim(parts.Next());
  CookieName = TakeToken(first, "=");
  Value = first;
  Attributes attrs;
  while (!parts.AtEnd()) {
    AnsiString part = Trim(parts.Next());
    if (part.empty()) continue;  // names nothing
    const size_t eq = part.find('=');
    if (eq == AnsiString::npos)
      attrs.push_back({UpperCase(part), "", true});
    else
      attrs.push_back({UpperCase(part.substr(0, eq)), part.substr(eq + 1), false});
  }
  LoadProperties(attrs);
}

void TNetNetscapeCookie::LoadProperties(const Attributes& attrs) {
  if (const Attribute* a = Find(attrs, "PATH")) Path = StripQuotes(a->Value);
  const Attribute* expires = Find(attrs, "EXPIRES");
  if (expires) {
    Expires = expires->Value;
    ExpiresRead(Expires);
  }
  if (const Attribute* a = Find(attrs, "DOMAIN")) Domain = a->Value;
  for (const Attribute& a : attrs)
    if (a.Flag && a.Name == "SECURE") Secure = true;
  CookieKind = expires ? NativeKind() : 0;
}

AnsiString TNetNetscapeCookie::ComposedText() const {
  AnsiString text;
  if (!Value.empty()) AddPart(text, CookieName + "=" + Value);
  if (!Path.empty()) AddPart(text, "path=" + Path);
  if (!Expires.empty() && CookieKind == 0) AddPart(text, "expires=" + Expires);
  if (!Domain.empty()) AddPart(text, "domain=" + Domain);
  if (Secure) AddPart(text, "secure");
  return text;
}

void TNetCookieRFC2109::ExpiresRead(const AnsiString& text) {
  time_t utc = 0;
  if (MaxAge < 0 && TryParseInternetDate(text, utc)) MaxAge = SaturatedDifference(utc, std::time(nullptr));
}

void TNetCookieRFC2109::LoadProperties(const Attributes& attrs) {
  MaxAge = -1;
  if (const Attribute* a = Find(attrs, "MAX-AGE")) {
    const AnsiString v = Trim(a->Value);
    char* end = nullptr;
    const long long n = std::strtoll(v.c_str(), &end, 10);
    if (!v.empty() && end && *end == '\0') MaxAge = n;
  }
  TNetNetscapeCookie::LoadProperties(attrs);
  const Attribute* version = Find(attrs, "VERSION");
  Version = version ? version->Value : AnsiString();
  const Attribute* comment = Find(attrs, "COMMENT");
  Comment = comment ? comment->Value : AnsiString();
  if (CookieKind == 0 && MaxAge >= 0)
    Expires = UnixToInternetStr(std::min(SaturatedSum(std::time(nullptr), MaxAge), kLatestExpiry));
}

AnsiString TNetCookieRFC2109::ComposedText() const {
  AnsiString text = TNetNetscapeCookie::ComposedText();
  if (MaxAge >= 0 && Expires.empty()) AddPart(text, "max-age=" + IntToStr(MaxAge));
  if (!Comment.empty()) AddPart(text, "comment=" + Comment);
  if (!Version.empty()) AddPart(text, "version=" + Version);
  return text;
}

void TNetCookieRFC2965::LoadProperties(const Attributes& attrs) {
  TNetCookieRFC2109::LoadProperties(attrs);
  const Attribute* url = Find(attrs, "COMMENTURL");
  CommentURL = url ? url->Value : AnsiString();
  Discard = false;
  for (const Attribute& a : attrs)
    if (a.Flag && a.Name == "DISCARD") Discard = true;
  PortNumbers.clear();
  const Attribute* port = Find(attrs, "PORT");
  const AnsiString v = port ? Trim(port->Value) : AnsiString();
  if (v.size() >= 2 && v.front() == '"' && v.back() == '"') {
    const AnsiString list = v.substr(1, v.size() - 2);
    for (TNetTokenWalk ports(list, ","); !ports.AtEnd();) PortNumbers.push_back(StrToInt(Trim(ports.Next())));
  } else if (!v.empty()) {
    return;  // an unquoted value names no port list
  }
  if (PortNumbers.empty()) PortNumbers.push_back(80);
}
