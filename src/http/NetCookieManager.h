// TNetCookieManager: the in-memory cookie store of one HTTP client.
//
// Cookies are filed by domain (in the order their domains were first stored) and, in
// a domain, by name (in the order names were first stored); domains and names compare
// without regard to case. A domain entry matches a request host only on a label
// boundary: ".b.c" (or "b.c") matches "b.c" and "x.b.c", never "xb.c" or
// "x.b.c.evil.example".
//
// The store keeps at most kMaxPerDomain cookies per domain and kMaxCookies in all (the
// least that browsers are expected to keep); a new cookie past either limit drops the
// one of that domain, or of the whole store, used longest ago (stored or sent). A
// domain is found through an index, and a name is looked for only among the cookies of
// its domain.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <shared_mutex>
#include <unordered_map>
#include <vector>

#include "http/NetCookie.h"
#include "http/NetURI.h"
#include "runtime/Component.h"

using TNetCookieList = std::vector<std::unique_ptr<TNetNetscapeCookie>>;

class TNetCookies {
 public:
  struct DomainEntry {
    AnsiString Domain;
    TNetCookieList Cookies;
  };

  static constexpr size_t kMaxPerDomain = 50;
  static constexpr size_t kMaxCookies = 3000;

  // Files an accepted cookie: replaces the stored one of the same name (keeping its
  // place) by re-parsing it from the new cookie's composed text, else appends it.
  void Add(std::unique_ptr<TNetNetscapeCookie> cookie);
  // Removes every cookie whose expiry date lies in the past (or does not parse).
  void RemoveExpired();
  // Cookies for a request to host and path, longest path first; each counts as used.
  std::vector<const TNetNetscapeCookie*> Matching(const AnsiString& host, const AnsiString& path, bool secure);

  int Count() const;
  const std::vector<DomainEntry>& Entries() const { return entries_; }

 private:
  DomainEntry& EntryFor(const AnsiString& domain);
  void Touch(TNetNetscapeCookie& cookie);
  // Removes the cookie at position i of entry.
  void Remove(DomainEntry& entry, size_t i);
  void RemoveLeastRecentlyUsed(DomainEntry& entry);

  mutable std::shared_mutex lock_;
  std::vector<DomainEntry> entries_;
  // Upper-cased domain -> position in entries_ (entries are never removed).
  std::unordered_map<AnsiString, size_t> index_;
  // LastUse -> cookie, oldest first; every stored cookie is here once.
  std::map<uint64_t, TNetNetscapeCookie*> byUse_;
  uint64_t clock_ = 0;
};

// True when a cookie for domain may be sent to host (see above).
bool CookieDomainMatches(const AnsiString& domain, const AnsiString& host);

class TNetCookieManager : public TComponent {
 public:
  explicit TNetCookieManager(TComponent* owner = nullptr);
  ~TNetCookieManager() override;

  // Parses a "Set-cookie" value (RFC 2109 cookie) from host and stores it when accepted.
  void StoreCookie(const AnsiString& text, const AnsiString& host);
  // The same for a "Set-cookie2" value (RFC 2965 cookie).
  void StoreCookie2(const AnsiString& text, const AnsiString& host);
  // The "Cookie" header value for a request to location; empty when none matches.
  AnsiString CookieHeaderFor(const TNetURI& location, bool secure);

  TNetCookies& CookieCollection() { return cookies_; }

  std::function<void(TObject* ASender, TNetCookies& ACookieCollection)> OnCreate;
  std::function<void(TObject* ASender, TNetCookies& ACookieCollection)> OnDestroy;
  std::function<void(TObject* ASender, TNetNetscapeCookie& ACookie, bool& VAccept)> OnNewCookie;

 private:
  void Store(std::unique_ptr<TNetNetscapeCookie> cookie, const AnsiString& text, const AnsiString& host);
  bool Accepts(const TNetNetscapeCookie& cookie, const AnsiString& host, bool domainGiven) const;

  TNetCookies cookies_;
};
