#include "http/NetCookieManager.h"

#include <gtest/gtest.h>

#include "runtime/Exception.h"

namespace {

AnsiString CookieFor(TNetCookieManager& m, const AnsiString& url) {
  TNetURI u(url);
  return m.CookieHeaderFor(u, false);
}

TEST(Cookies, StoredForTheHostAndSentForAnyPathUnderTheirs) {
  TNetCookieManager m;
  m.StoreCookie("SID=abc; path=/", "h.b.c");
  EXPECT_EQ(CookieFor(m, "http://h.b.c/x/y.htm"), "SID=abc");
  EXPECT_EQ(CookieFor(m, "http://other/x"), "");
}

TEST(Cookies, WithoutPathOrWithEmptyValueStoredButNeverSent) {
  TNetCookieManager m;
  m.StoreCookie("A=1", "h");
  m.StoreCookie("B=; path=/", "h");
  EXPECT_EQ(m.CookieCollection().Count(), 2);
  EXPECT_EQ(CookieFor(m, "http://h/"), "");
}

TEST(Cookies, SameNameReplacesInPlace) {
  TNetCookieManager m;
  m.StoreCookie("A=1; path=/", "h");
  m.StoreCookie("B=1; path=/", "h");
  m.StoreCookie("a=2; path=/", "h");
  ASSERT_EQ(m.CookieCollection().Count(), 2);
  const auto& cookies = m.CookieCollection().Entries()[0].Cookies;
  EXPECT_EQ(cookies[0]->CookieName, "a");
  EXPECT_EQ(cookies[0]->Value, "2");
  // Equal paths go out in collection order: last stored first.
  EXPECT_EQ(CookieFor(m, "http://h/"), "B=1; a=2");
}

TEST(Cookies, LongerPathsGoFirst) {
  TNetCookieManager m;
  m.StoreCookie("Root=1; path=/", "h");
  m.StoreCookie("Deep=2; path=/TavroMP3LiveUpdate2/", "h");
  EXPECT_EQ(CookieFor(m, "http://h/TavroMP3LiveUpdate2/a.ini"), "Deep=2; Root=1");
  EXPECT_EQ(CookieFor(m, "http://h/other"), "Root=1");
}

TEST(Cookies, ExpiredUnparseableAndMaxAgeZeroAreRemovedBeforeTheNextRequest) {
  TNetCookieManager m;
  m.StoreCookie("Old=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT", "h");
  m.StoreCookie("Bad=1; path=/; expires=whenever", "h");
  m.StoreCookie("Zero=1; path=/; max-age=0", "h");
  m.StoreCookie("Live=1; path=/; max-age=3600", "h");
  m.StoreCookie("Future=1; path=/; expires=Fri, 01 Jan 2100 00:00:00 GMT", "h");
  EXPECT_EQ(m.CookieCollection().Count(), 5);
  EXPECT_EQ(CookieFor(m, "http://h/"), "Future=1; Live=1");
  EXPECT_EQ(m.CookieCollection().Count(), 2);
}

struct DomainCase {
  const char* Cookie;
  const char* FromHost;
  bool Stored;
  const char* RequestHost;
  bool Sent;
};
class CookieDomains : public ::testing::TestWithParam<DomainCase> {};

TEST_P(CookieDomains, AcceptOnlyOwnDomainsAndMatchOnLabelBoundaries) {
  const DomainCase& c = GetParam();
  TNetCookieManager m;
  m.StoreCookie(c.Cookie, c.FromHost);
  EXPECT_EQ(m.CookieCollection().Count(), c.Stored ? 1 : 0);
  EXPECT_EQ(CookieFor(m, AnsiString("http://") + c.RequestHost + "/") == "A=1", c.Sent);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, CookieDomains,
    ::testing::Values(DomainCase{"A=1; path=/; domain=.b.c", "h.b.c", true, "X.B.C", true},
                      DomainCase{"A=1; path=/; domain=.b.c", "h.b.c", true, "b.c", true},
                      DomainCase{"A=1; path=/; domain=.b.c", "h.b.c", true, "x.b.c.evil.example", false},
                      DomainCase{"A=1; path=/; domain=.b.c", "h.b.c", true, "xb.c", false},
                      DomainCase{"A=1; path=/; domain=b.c", "h.b.c", false, "h.b.c", false},
                      DomainCase{"A=1; path=/; domain=.com", "h.com", false, "h.com", false},
                      DomainCase{"A=1; path=/", "10.0.0.1", true, "10.0.0.1", true},
                      DomainCase{"A=1; path=/; domain=.0.0.1", "10.0.0.1", false, "10.0.0.1", false},
                      DomainCase{"A=1; path=/", "h.b.c", true, "h.b.c.evil", false},
                      DomainCase{"A=1; path=/; domain=localhost", "localhost", true, "localhost", true}));

TEST(Cookies, Rfc2965PortListsAndBadPortRaises) {
  TNetCookieRFC2965 c;
  c.Parse("A=1; Port=\"80,8080\"; Discard");
  EXPECT_EQ(c.PortNumbers, (std::vector<int32_t>{80, 8080}));
  EXPECT_TRUE(c.Discard);
  TNetCookieRFC2965 d;
  d.Parse("A=1; Port");
  EXPECT_EQ(d.PortNumbers, (std::vector<int32_t>{80}));
  TNetCookieManager m;
  EXPECT_THROW(m.StoreCookie2("A=1; Port=\"x\"", "h"), EConvertError);
}

TEST(Cookies, ReplacementByAnExpiresCookieLosesTheExpiry) {
  TNetCookieManager m;
  m.StoreCookie("A=1; path=/", "h");
  m.StoreCookie("A=2; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT", "h");
  EXPECT_EQ(CookieFor(m, "http://h/"), "A=2");
}

}  // namespace
