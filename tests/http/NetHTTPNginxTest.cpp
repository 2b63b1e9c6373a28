// The client against a real nginx on 127.0.0.1 serving a generated site, over plain
// HTTP and over TLS with certificates made at test time.
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "HttpTestSupport.h"
#include "net/NetException.h"
#include "net/NetStack.h"
#include "support/ExpectRaises.h"
#include "support/Loopback.h"
#include "support/NginxServer.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"
#include "support/TestCertificates.h"

namespace {

std::string PatternFile(size_t size) {
  std::string s(size, '\0');
  uint32_t x = 12345;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 24);
  }
  return s;
}

// The site of these tests served by nginx, with the certificate of the given name
// (none: plain HTTP).
std::unique_ptr<NginxServer> StartSite(const TempDir& site, const TestCertificates* certs, const std::string& cert,
                                       NginxServer::Options options = {}) {
  options.Root = site.Path();
  if (certs && !cert.empty()) {
    options.TlsCertificate = certs->Pem(cert);
    options.TlsKey = certs->Key(cert);
  }
  auto nginx = std::make_unique<NginxServer>(options);
  EXPECT_TRUE(nginx->Start()) << nginx->LastError();
  return nginx;
}

// The same tests over plain HTTP (false) and over TLS (true).
class AgainstNginx : public ::testing::TestWithParam<bool> {
 protected:
  void SetUp() override {
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    ASSERT_TRUE(certs.Made());
    site.Write("TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini", "[Models]\r\nCount=1\r\n");
    site.Write("TavroMP3LiveUpdate2/Firmware/M1/p.zip", PatternFile(24 * 1024 * 1024 + 7));
    nginx = StartSite(site, &certs, GetParam() ? "localhost" : "");
    ConfigureHttpClient(http);
    http.SetTLSCAFile(certs.CA());
    http.OnConnected = [this](TObject*) { ++connects; };
  }

  const TestCertificates& certs = TestCertificates::Shared();
  TempDir site;
  std::unique_ptr<NginxServer> nginx;
  TNetHTTP http;
  int connects = 0;
};

INSTANTIATE_TEST_SUITE_P(PlainAndTLS, AgainstNginx, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "TLS" : "Plain"; });

TEST_P(AgainstNginx, StaticFilesArriveWholeOverOneKeptConnection) {
  TMemoryStream first, second;
  http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"), first);
  EXPECT_EQ(StreamText(first), "[Models]\r\nCount=1\r\n");
  EXPECT_EQ(http.ResponseCode(), 200);
  EXPECT_TRUE(http.Response().LengthKnown);
  EXPECT_EQ(http.Response().ContentLength(), first.Size());
  EXPECT_TRUE(http.IsConnected());
  http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"), second);
  EXPECT_EQ(StreamText(second), StreamText(first));
  EXPECT_EQ(connects, 1);
}

TEST_P(AgainstNginx, MissingFileRaisesWithTheErrorPageAsBody) {
  TMemoryStream s;
  ExpectRaises<ENetHTTPProtocolException>(
      [&] { http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/Firmware/M1/none.asp"), s); }, "HTTP/1.1 404 Not Found",
      [](const ENetHTTPProtocolException& e) {
        EXPECT_EQ(e.ErrorCode(), 404);
        EXPECT_NE(e.ErrorBody().find("404 Not Found"), std::string::npos);
      });
  EXPECT_EQ(s.Size(), 0);
  // The error answer was read to its end, so the connection serves the next request.
  TMemoryStream next;
  http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"), next);
  EXPECT_EQ(connects, 1);
}

TEST_P(AgainstNginx, LargeFileArrivesWholeWithProgress) {
  int32_t begin = -1, last = 0, works = 0;
  http.OnWorkBegin = [&](TObject*, TWorkMode m, int32_t max) { if (m == wmRead) begin = max; };
  http.OnWork = [&](TObject*, TWorkMode m, int32_t n) {
    if (m == wmRead) {
      last = n;
      ++works;
    }
  };
  TMemoryStream s;
  http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/Firmware/M1/p.zip"), s);
  const std::string expected = site.Read("TavroMP3LiveUpdate2/Firmware/M1/p.zip");
  ASSERT_EQ(s.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), s.Memory()));
  EXPECT_EQ(begin, static_cast<int32_t>(expected.size()));
  EXPECT_EQ(last, begin);
  EXPECT_GT(works, 100);
}

TEST_P(AgainstNginx, AConnectionIsReusedOnlyForTheSameSchemeHostAndPort) {
  auto other = StartSite(site, &certs, GetParam() ? "" : "localhost");
  TMemoryStream s1, s2, s3;
  http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"), s1);
  http.FetchUrl(other->Url("/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"), s2);
  http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"), s3);
  EXPECT_EQ(StreamText(s2), StreamText(s1));
  EXPECT_EQ(StreamText(s3), StreamText(s1));
  EXPECT_EQ(connects, 3);
}

// A handshake that fails says why, and leaves nothing connected; one the client must
// accept delivers the file.
struct HandshakeCase {
  const char* name;
  const char* cert;                  // the server's certificate for "localhost"
  const char* protocols = "TLSv1.2 TLSv1.3";  // nginx ssl_protocols
  TNetTLSFailure failure = tfOther;
  const char* why = nullptr;         // nullptr: the handshake succeeds
  const char* host = "localhost";    // the URL's host
  const char* defaultCert = "";      // for names the server does not know (and no SNI)
};

class TLSHandshake : public ::testing::TestWithParam<HandshakeCase> {};

TEST_P(TLSHandshake, SucceedsOrRaisesWithItsReason) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  const HandshakeCase& c = GetParam();
  const TestCertificates& certs = TestCertificates::Shared();
  ASSERT_TRUE(certs.Made());
  TempDir site;
  site.Write("a.txt", "a");
  NginxServer::Options options;
  options.TlsProtocols = c.protocols;
  // An old protocol needs old ciphers, which today's security level refuses.
  if (std::string(c.protocols) == "TLSv1") options.TlsCiphers = "DEFAULT@SECLEVEL=0";
  if (*c.defaultCert) {
    options.TlsDefaultCertificate = certs.Pem(c.defaultCert);
    options.TlsDefaultKey = certs.Key(c.defaultCert);
  }
  auto nginx = StartSite(site, &certs, c.cert, options);
  TNetHTTP http;
  http.SetTLSCAFile(certs.CA());
  TMemoryStream s;
  const std::string url = "https://" + std::string(c.host) + ":" + std::to_string(nginx->Port()) + "/a.txt";
  if (!c.why) {
    http.FetchUrl(url, s);
    EXPECT_EQ(StreamText(s), "a");
    return;
  }
  ExpectRaises<ENetTLSHandshakeError>([&] { http.FetchUrl(url, s); },
                                      "TLS handshake with " + TNetStack::StripBrackets(c.host) + " failed: " + c.why + ".",
                                      [&](const ENetTLSHandshakeError& e) { EXPECT_EQ(e.Failure(), c.failure); });
  EXPECT_FALSE(http.IsConnected());
  EXPECT_EQ(s.Size(), 0);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, TLSHandshake,
    ::testing::Values(
        HandshakeCase{.name = "UntrustedCA", .cert = "untrusted", .failure = tfUntrusted,
                      .why = "the server's certificate is not trusted (unable to get local issuer certificate)"},
        HandshakeCase{.name = "WrongHostName", .cert = "wronghost", .failure = tfNameMismatch,
                      .why = "the server's certificate is not valid for the name localhost"},
        // An address in the URL is checked against the certificate as a name is.
        HandshakeCase{.name = "WrongAddress", .cert = "wronghost", .failure = tfNameMismatch,
                      .why = "the server's certificate is not valid for the name 127.0.0.1", .host = "127.0.0.1"},
        // An IPv6 address too, with no SNI (which names hosts only).
        HandshakeCase{.name = "IPv6Address", .cert = "localhost", .host = "[::1]"},
        HandshakeCase{.name = "WrongIPv6Address", .cert = "wronghost", .failure = tfNameMismatch,
                      .why = "the server's certificate is not valid for the name ::1", .host = "[::1]"},
        HandshakeCase{.name = "Expired", .cert = "expired", .failure = tfExpired,
                      .why = "the server's certificate has expired"},
        HandshakeCase{.name = "TLS10Only", .cert = "localhost", .protocols = "TLSv1", .failure = tfProtocolTooOld,
                      .why = "the server offers only a protocol older than TLS 1.2"},
        HandshakeCase{.name = "TLS12OnlyIsAccepted", .cert = "localhost", .protocols = "TLSv1.2"},
        // The server presents the named host's certificate only when SNI names it.
        HandshakeCase{.name = "SNIPicksTheNamedHostsCertificate", .cert = "localhost", .defaultCert = "wronghost"}),
    [](const auto& info) { return std::string(info.param.name); });

// Servers that never finish the handshake: one closes after the ClientHello, one
// never answers it within the connect's time limit.
struct SilentServerCase {
  const char* name;
  bool closes;
  TNetTLSFailure failure;
  const char* why;
};

class TLSHandshakeWithoutNginx : public ::testing::TestWithParam<SilentServerCase> {};

TEST_P(TLSHandshakeWithoutNginx, EndsWithItsReason) {
  const SilentServerCase& c = GetParam();
  ScriptedServer server;
  ConnectionScript script;
  script.ExpectBytes(5);
  if (c.closes) {
    script.Close();
  } else {
    script.WaitClientClose();
  }
  server.AddConnection(script);
  server.Start();
  TNetHTTP http;
  http.SetReadTimeout(300);  // also the connect's limit
  TMemoryStream s;
  ExpectRaises<ENetTLSHandshakeError>(
      [&] { http.FetchUrl("https://127.0.0.1:" + std::to_string(server.Port()) + "/x", s); },
      "TLS handshake with 127.0.0.1 failed: " + std::string(c.why) + ".",
      [&](const ENetTLSHandshakeError& e) { EXPECT_EQ(e.Failure(), c.failure); });
  EXPECT_FALSE(http.IsConnected());
  server.Stop();
}

INSTANTIATE_TEST_SUITE_P(Cases, TLSHandshakeWithoutNginx,
                         ::testing::Values(SilentServerCase{"Closes", true, tfClosed, "the server closed the connection"},
                                           SilentServerCase{"NeverAnswers", false, tfTimeout,
                                                            "the server did not answer in time"}),
                         [](const auto& info) { return std::string(info.param.name); });

// A proxy's side of a CONNECT tunnel: relays bytes between the client and port until
// either side closes (or nothing moves for ten seconds).
void Relay(int client, uint16_t port) {
  const int server = ConnectLoopback(port);
  if (server < 0) return;
  pollfd fds[2] = {{client, POLLIN, 0}, {server, POLLIN, 0}};
  std::vector<char> buffer(65536);
  for (int idle = 0; idle < 100;) {
    const int ready = ::poll(fds, 2, 100);
    if (ready <= 0) {
      ++idle;
      continue;
    }
    idle = 0;
    for (int i = 0; i < 2; ++i) {
      if (!(fds[i].revents & (POLLIN | POLLHUP | POLLERR))) continue;
      const ssize_t n = ::read(fds[i].fd, buffer.data(), buffer.size());
      if (n <= 0) {
        ::close(server);
        return;
      }
      for (ssize_t sent = 0; sent < n;) {
        const ssize_t w = ::send(fds[1 - i].fd, buffer.data() + sent, static_cast<size_t>(n - sent), MSG_NOSIGNAL);
        if (w <= 0) {
          ::close(server);
          return;
        }
        sent += w;
      }
    }
  }
  ::close(server);
}

void UseProxy(TNetHTTP& http, uint16_t port) {
  http.ProxyParams().SetProxyServer("127.0.0.1");
  http.ProxyParams().SetProxyPort(port);
  http.ProxyParams().ProxyUsername = "u";
  http.ProxyParams().ProxyPassword = "p";
  http.ProxyParams().BasicAuthentication = true;
}

TEST(TLSThroughAProxy, RunsInOneConnectTunnelThatCarriesTheProxysCredentials) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  const TestCertificates& certs = TestCertificates::Shared();
  ASSERT_TRUE(certs.Made());
  TempDir site;
  site.Write("a.txt", "through the tunnel");
  auto nginx = StartSite(site, &certs, "localhost");
  ScriptedServer proxy;
  const uint16_t port = nginx->Port();
  proxy.AddConnection(ConnectionScript().ExpectRequest().Send("HTTP/1.1 200 Connection established\r\n\r\n").Run(
      [port](int fd) { Relay(fd, port); }));
  proxy.Start();
  TNetHTTP http;
  ConfigureHttpClient(http);
  http.SetTLSCAFile(certs.CA());
  UseProxy(http, proxy.Port());
  int connects = 0;
  http.OnConnected = [&connects](TObject*) { ++connects; };
  TMemoryStream first, second;
  http.FetchUrl(nginx->Url("/a.txt"), first);
  http.FetchUrl(nginx->Url("/a.txt"), second);
  EXPECT_EQ(StreamText(first), "through the tunnel");
  EXPECT_EQ(StreamText(second), "through the tunnel");
  EXPECT_EQ(connects, 1);
  http.CloseConnection();
  proxy.Stop();
  const std::string target = "localhost:" + std::to_string(port);
  EXPECT_EQ(proxy.Request(0, 0),
            "CONNECT " + target + " HTTP/1.1\r\nHost: " + target + "\r\nProxy-Authorization: Basic dTpw\r\n\r\n");
}

TEST(TLSThroughAProxy, ARefusedTunnelRaisesTheProxysStatus) {
  ScriptedServer proxy;
  proxy.AddConnection(ConnectionScript().ExpectRequest().Send("HTTP/1.1 403 Forbidden\r\n\r\n").WaitClientClose());
  proxy.Start();
  TNetHTTP http;
  UseProxy(http, proxy.Port());
  TMemoryStream s;
  ExpectRaises<ENetHTTPProtocolException>([&] { http.FetchUrl("https://localhost/x", s); }, "HTTP/1.1 403 Forbidden",
                                          [](const ENetHTTPProtocolException& e) { EXPECT_EQ(e.ErrorCode(), 403); });
  EXPECT_FALSE(http.IsConnected());
  proxy.Stop();
}

// A proxy that says yes to CONNECT and then sends something that is not TLS, in the
// same write as its answer or after the ClientHello: a failed handshake through the proxy.
class TunnelAnswer : public ::testing::TestWithParam<bool> {};

TEST_P(TunnelAnswer, ThatIsNotTLSFailsTheHandshakeThroughTheProxy) {
  const char kAccepted[] = "HTTP/1.1 200 Connection established\r\n\r\n";
  const char kNotTLS[] = "HTTP/1.1 400 Bad Request\r\n\r\n";
  ScriptedServer proxy;
  ConnectionScript script;
  if (GetParam()) {
    script.ExpectRequest().Send(std::string(kAccepted) + kNotTLS);
  } else {
    script.ExpectRequest().Send(kAccepted).ExpectBytes(5).Send(kNotTLS);
  }
  proxy.AddConnection(script.WaitClientClose());
  proxy.Start();
  TNetHTTP http;
  UseProxy(http, proxy.Port());
  TMemoryStream s;
  ExpectRaises<ENetTLSHandshakeError>(
      [&] { http.FetchUrl("https://localhost/x", s); },
      "TLS handshake with localhost through the proxy 127.0.0.1:" + std::to_string(proxy.Port()) +
          " failed: what came back is not TLS.",
      [](const ENetTLSHandshakeError& e) { EXPECT_EQ(e.Failure(), tfNotTLS); });
  EXPECT_FALSE(http.IsConnected());
  proxy.Stop();
}

INSTANTIATE_TEST_SUITE_P(Writes, TunnelAnswer, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "InTheSameWrite" : "AfterTheClientHello"; });

TEST(RedirectFromHttps, ToAnHttpAddressIsRefusedAndNeverFollowed) {
  if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
  const TestCertificates& certs = TestCertificates::Shared();
  ASSERT_TRUE(certs.Made());
  ScriptedServer plain;  // where the redirect points: it must never be asked
  plain.Start();
  const std::string target = "http://127.0.0.1:" + std::to_string(plain.Port()) + "/a.txt";
  TempDir site;
  NginxServer::Options options;
  options.ServerDirectives = "location = /moved { return 302 " + target + "; }";
  auto nginx = StartSite(site, &certs, "localhost", options);
  for (const bool follow : {false, true}) {
    TNetHTTP http;
    ConfigureHttpClient(http);
    http.SetTLSCAFile(certs.CA());
    http.SetHandleRedirects(follow);
    TMemoryStream s;
    ExpectRaises<ENetHTTPProtocolException>(
        [&] { http.FetchUrl(nginx->Url("/moved"), s); },
        "Redirect from https to " + target + " refused: it leaves the secure connection",
        [](const ENetHTTPProtocolException& e) { EXPECT_EQ(e.ErrorCode(), 302); });
    EXPECT_EQ(s.Size(), 0);
  }
  EXPECT_EQ(plain.AcceptedCount(), 0u);
}

}  // namespace
