// The three cookie classes: Netscape cookies, RFC 2109 ("Set-cookie") and RFC 2965
// ("Set-cookie2"). A cookie is parsed from a header value; parsing the same text
// again does nothing. Its composed text is what replaces a stored cookie of the
// same name.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/SysUtils.h"

class TNetNetscapeCookie {
 public:
  TNetNetscapeCookie() = default;
  virtual ~TNetNetscapeCookie() = default;

  // Parses text unless it equals SourceText.
  void Parse(const AnsiString& text);
  // The parts "name=value; path=...; expires=...; domain=...; secure; ..." that are set.
  virtual AnsiString ComposedText() const;

  AnsiString SourceText, CookieName, Value, Domain, Path, Expires;
  bool Secure = false;
  int CookieKind = 0;  // 0 plain (no expiry date in its text), 1 RFC 2109, 2 RFC 2965
  // When the store last filed or sent this cookie (the store's own counter).
  uint64_t LastUse = 0;

 protected:
  // name (upper-cased) -> value of the attributes; flags have an empty value.
  struct Attribute {
    AnsiString Name, Value;
    bool Flag;
  };
  using Attributes = std::vector<Attribute>;
  static const Attribute* Find(const Attributes& attrs, const AnsiString& name);
  virtual void LoadProperties(const Attributes& attrs);
  virtual int NativeKind() const { return 0; }
  // Whether the "expires" date also sets MaxAge.
  virtual void ExpiresRead(const AnsiString&) {}
};

class TNetCookieRFC2109 : public TNetNetscapeCookie {
 public:
  TNetCookieRFC2109() { CookieKind = 1; }
  AnsiString ComposedText() const override;

  int64_t MaxAge = -1;
  AnsiString Version, Comment;

 protected:
  void LoadProperties(const Attributes& attrs) override;
  int NativeKind() const override { return 1; }
  void ExpiresRead(const AnsiString& text) override;
};

class TNetCookieRFC2965 : public TNetCookieRFC2109 {
 public:
  TNetCookieRFC2965() { CookieKind = 2; }

  AnsiString CommentURL;
  bool Discard = false;
  // [80] when "Port" is absent or empty; no list for an unquoted value.
  std::vector<int32_t> PortNumbers;

 protected:
  void LoadProperties(const Attributes& attrs) override;
  int NativeKind() const override { return 2; }
};
