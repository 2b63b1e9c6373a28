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

TEST(Cookies, ExpiredUnparseableAndMaxAgeZeroAreRemovedBeforeTheNextRequestHugeMaxAgeLasts) {
  TNetCookieManager m;
  m.StoreCookie("Old=1; path=/; expires=Sun, 06 Nov 1994 08:49:37 GMT", "h");
  m.StoreCookie("Bad=1; path=/; expires=whenever", "h");
  m.StoreCookie("Zero=1; path=/; max-age=0", "h");
  m.StoreCookie("Live=1; path=/; max-age=3600", "h");
  m.StoreCookie("Future=1; path=/; expires=Fri, 01 Jan 2100 00:00:00 GMT", "h");
  // Past any representable date: saturated, never an overflow (run under UBSan).
  m.StoreCookie("Huge=1; path=/; max-age=9223372036854775807", "h");
  m.StoreCookie("Longer=1; path=/; max-age=999999999999999999999999", "h");
  EXPECT_EQ(m.CookieCollection().Count(), 7);
  EXPECT_EQ(CookieFor(m, "http://h/"), "Longer=1; Huge=1; Future=1; Live=1");
  EXPECT_EQ(m.CookieCollection().Count(), 4);
}

// Sized so that splitting by copying the rest takes seconds; walking takes milliseconds.
TEST(Cookies, AHalfMegabyteCookieTextIsReadToItsLastAttribute) {
  AnsiString text = "A=1";
  while (text.size() < 512 * 1024) text += "; x";
  TNetCookieManager m;
  m.StoreCookie(text + ";;; path=/", "h");
  EXPECT_EQ(CookieFor(m, "http://h/"), "A=1");
}

TEST(Cookies, StoreKeepsFiftyPerDomainAndThreeThousandInAllDroppingTheLeastRecentlyUsed) {
  TNetCookieManager m;
  const auto name = [](int n) { return "C" + std::to_string(n); };
  for (int n = 0; n < 50; ++n) m.StoreCookie(name(n) + "=v; path=/", "h.example");
  m.StoreCookie("C0=w; path=/", "h.example");  // used again: C1 is now the oldest
  m.StoreCookie("New=v; path=/", "h.example");
  const auto& kept = m.CookieCollection().Entries()[0].Cookies;
  ASSERT_EQ(kept.size(), 50u);
  EXPECT_EQ(kept[0]->Value, "w");
  EXPECT_EQ(kept[1]->CookieName, "C2");
  EXPECT_EQ(kept.back()->CookieName, "New");

  // 16 responses of 999 distinct cookies, a new host every 25: the newest 3,000 stay.
  TNetCookieManager many;
  const int total = 16 * 999;
  for (int n = 0; n < total; ++n)
    many.StoreCookie(name(n) + "=v; path=/", "h" + std::to_string(n / 25) + ".example");
  EXPECT_EQ(many.CookieCollection().Count(), 3000);
  EXPECT_EQ(CookieFor(many, "http://h" + std::to_string((total - 3000) / 25 - 1) + ".example/"), "");
  const int last = total - 1;
  EXPECT_NE(CookieFor(many, "http://h" + std::to_string(last / 25) + ".example/").find(name(last)), std::string::npos);
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
                      DomainCase{"A=1; path=/", "::1", true, "[::1]:8080", true},
                      DomainCase{"A=1; path=/; domain=.0.0.1", "::ffff:10.0.0.1", false, "20.0.0.1", false},
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
