#include "http/NetCookieManager.h"

#include <algorithm>
#include <ctime>
#include <mutex>

#include "http/NetDateTime.h"
#include "net/NetStack.h"

namespace {

// The text from the host's first "." to its end, or the whole host when it has none.
AnsiString DomainPart(const AnsiString& host) {
  const size_t dot = host.find('.');
  return dot == AnsiString::npos ? host : host.substr(dot);
}

bool Expired(const TNetNetscapeCookie& c, time_t now) {
  if (c.Expires.empty()) return false;
  time_t when = 0;
  return !TryParseInternetDate(c.Expires, when) || when <= now;
}

}  // namespace

bool CookieDomainMatches(const AnsiString& domain, const AnsiString& host) {
  const AnsiString d = UpperCase(domain), h = UpperCase(host);
  if (d.empty()) return false;
  const AnsiString bare = d[0] == '.' ? d.substr(1) : d;
  if (bare.empty()) return false;
  if (h == bare) return true;
  const AnsiString suffix = "." + bare;
  return h.size() > suffix.size() && h.compare(h.size() - suffix.size(), suffix.size(), suffix) == 0;
}

TNetCookies::DomainEntry& TNetCookies::EntryFor(const AnsiString& domain) {
  const auto [at, added] = index_.try_emplace(UpperCase(domain), entries_.size());
  if (added) entries_.push_back({domain, {}});
  return entries_[at->second];
}

void TNetCookies::Touch(TNetNetscapeCookie& cookie) {
  byUse_.erase(cookie.LastUse);
  cookie.LastUse = ++clock_;
  byUse_.emplace(cookie.LastUse, &cookie);
}

void TNetCookies::Remove(DomainEntry& entry, size_t i) {
  byUse_.erase(entry.Cookies[i]->LastUse);
  entry.Cookies.erase(entry.Cookies.begin() + static_cast<std::ptrdiff_t>(i));
}

void TNetCookies::RemoveLeastRecentlyUsed(DomainEntry& entry) {
  size_t oldest = 0;
  for (size_t i = 1; i < entry.Cookies.size(); ++i)
    if (entry.Cookies[i]->LastUse < entry.Cookies[oldest]->LastUse) oldest = i;
  Remove(entry, oldest);
}

void TNetCookies::Add(std::unique_ptr<TNetNetscapeCookie> cookie) {
  std::unique_lock<std::shared_mutex> guard(lock_);
  DomainEntry& entry = EntryFor(cookie->Domain);
  for (auto& stored : entry.Cookies)
    if (SameText(stored->CookieName, cookie->CookieName)) {
      stored->Parse(cookie->ComposedText());
      stored->CookieKind = cookie->CookieKind;
      Touch(*stored);
      return;
    }
  if (entry.Cookies.size() >= kMaxPerDomain) RemoveLeastRecentlyUsed(entry);
  if (byUse_.size() >= kMaxCookies) {
    const TNetNetscapeCookie* oldest = byUse_.begin()->second;
    RemoveLeastRecentlyUsed(entries_[index_.at(UpperCase(oldest->Domain))]);
  }
  entry.Cookies.push_back(std::move(cookie));
  Touch(*entry.Cookies.back());
}

void TNetCookies::RemoveExpired() {
  std::unique_lock<std::shared_mutex> guard(lock_);
  const time_t now = std::time(nullptr);
  for (DomainEntry& e : entries_)
    for (size_t i = e.Cookies.size(); i-- > 0;)
      if (Expired(*e.Cookies[i], now)) Remove(e, i);
}

std::vector<const TNetNetscapeCookie*> TNetCookies::Matching(const AnsiString& host, const AnsiString& path,
                                                            bool secure) {
  // Written to: sending a cookie counts as using it.
  std::unique_lock<std::shared_mutex> guard(lock_);
  std::vector<const TNetNetscapeCookie*> found;
  for (DomainEntry& e : entries_) {
    if (!CookieDomainMatches(e.Domain, host)) continue;
    for (auto it = e.Cookies.rbegin(); it != e.Cookies.rend(); ++it) {
      TNetNetscapeCookie& c = **it;
      // A cookie stored without a path never matches.
      if (!c.Path.empty() && path.compare(0, c.Path.size(), c.Path) == 0 && (!c.Secure || secure) &&
          !c.Value.empty()) {
        found.push_back(&c);
        Touch(c);
      }
    }
  }
  std::stable_sort(found.begin(), found.end(), [](const TNetNetscapeCookie* a, const TNetNetscapeCookie* b) {
    return CompareText(a->Path, b->Path) > 0;
  });
  return found;
}

int TNetCookies::Count() const {
  std::shared_lock<std::shared_mutex> guard(lock_);
  return static_cast<int>(byUse_.size());
}

TNetCookieManager::TNetCookieManager(TComponent* owner) : TComponent(owner) {
  if (OnCreate) OnCreate(this, cookies_);
}

TNetCookieManager::~TNetCookieManager() {
  if (OnDestroy) OnDestroy(this, cookies_);
}

bool TNetCookieManager::Accepts(const TNetNetscapeCookie& cookie, const AnsiString& host, bool domainGiven) const {
  const AnsiString& domain = cookie.Domain;
  // A domain attribute must name at least two labels (".com" would reach every host under it).
  if (domainGiven && domain != host) {
    const AnsiString bare = !domain.empty() && domain[0] == '.' ? domain.substr(1) : domain;
    if (bare.find('.') == AnsiString::npos) return false;
  }
  // An address (IPv4, or IPv6 with an IPv4 tail such as ::ffff:10.0.0.1) has no parent
  // domains: its cookies belong to it alone.
  if (TNetStack::IsDottedQuad(host, true) || TNetStack::IsIPv6Address(host)) return domain == host;
  if (host.empty() || host[0] != '.') {
    if ((domain.empty() || domain[0] != '.') && !TNetStack::IsDottedQuad(domain, true)) return domain == host;
    return domain == DomainPart(host);
  }
  return SameText(domain, DomainPart(host));
}

void TNetCookieManager::Store(std::unique_ptr<TNetNetscapeCookie> cookie, const AnsiString& text,
                              const AnsiString& host) {
  cookie->Parse(text);
  const bool domainGiven = !cookie->Domain.empty();
  if (!domainGiven) cookie->Domain = host;
  if (!Accepts(*cookie, host, domainGiven)) return;
  bool accept = true;
  if (OnNewCookie) OnNewCookie(this, *cookie, accept);
  if (accept) cookies_.Add(std::move(cookie));
}

void TNetCookieManager::StoreCookie(const AnsiString& text, const AnsiString& host) {
  Store(std::make_unique<TNetCookieRFC2109>(), text, host);
}

void TNetCookieManager::StoreCookie2(const AnsiString& text, const AnsiString& host) {
  Store(std::make_unique<TNetCookieRFC2965>(), text, host);
}

AnsiString TNetCookieManager::CookieHeaderFor(const TNetURI& location, bool secure) {
  cookies_.RemoveExpired();
  AnsiString value;
  for (const TNetNetscapeCookie* c : cookies_.Matching(location.Host(), location.Path(), secure)) {
    if (!value.empty()) value += "; ";
    value += c->CookieName + "=" + c->Value;
  }
  return value;
}
