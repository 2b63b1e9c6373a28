// Every address of a host: the connect races them, families alternating, and the first
// that answers wins. The host "multi.test" resolves to the addresses a case gives, and
// "silent.test" to nothing until the case ends, as a name server that never answers (the
// resolver is the stack's, swapped through the stack-class seam); the sockets are real,
// on ::1 and 127.0.0.x, with a listener that never answers where a case needs one.
#include <unistd.h>

#include <condition_variable>
#include <cstdlib>
#include <memory>
#include <mutex>

#include "NetTestUtil.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetStackPosix.h"
#include "platform/Log.h"
#include "support/ExpectRaises.h"
#include "support/FakePump.h"
#include "support/Loopback.h"
#include "support/StalledListener.h"
#include "support/TempDir.h"

namespace {

std::vector<TNetIPAddress> gAnswer;
std::mutex gSilenceLock;
std::condition_variable gSilenceOver;
bool gSilent = false;

class TTableStack : public TNetStackPosix {
 public:
  std::vector<TNetIPAddress> getaddrinfo(const AnsiString& host) override {
    if (host == "silent.test") {
      std::unique_lock<std::mutex> lock(gSilenceLock);
      gSilenceOver.wait(lock, [] { return !gSilent; });
      throw ENetSocketError(11001, "Host not found.");
    }
    return host == "multi.test" ? gAnswer : TNetStackPosix::getaddrinfo(host);
  }
};

// The name server of "silent.test" answers nothing while one lives; at its end it
// answers, and waits until an abandoned lookup has given its user of the stack back.
struct SilentNameServer {
  SilentNameServer() : users(StackUsers) { gSilent = true; }
  ~SilentNameServer() {
    {
      std::lock_guard<std::mutex> lock(gSilenceLock);
      gSilent = false;
      gSilenceOver.notify_all();
    }
    for (int i = 0; i < 5000 && UsersNow() > users; ++i) ::usleep(1000);
  }
  static int32_t UsersNow() {
    std::lock_guard<std::mutex> lock(StackLock());
    return StackUsers;
  }
  const int32_t users;
};

// Installed before the fixture's components exist, removed after they are gone.
struct TableResolver {
  TableResolver() : original(StackClass) {
    StackClass = [] { return static_cast<TNetStack*>(new TTableStack()); };
  }
  ~TableResolver() { StackClass = original; }
  TNetStackClass original;
};

class EveryAddress : public ::testing::Test, protected TableResolver {
 protected:
  void SetUp() override {
    ASSERT_EQ(StackUsers, 1) << "another component keeps the stack";
    client.SetHost("multi.test");
    client.SetConnectionAttemptDelay(20);
    RecordAttempts(client, tried);
  }
  void TearDown() override {
    client.OnStatus = nullptr;
    client.CloseConnection();
  }
  static void Answer(const std::vector<const char*>& addresses) {
    gAnswer.clear();
    for (const char* a : addresses)
      gAnswer.push_back(TNetIPAddress{std::string(a).find(':') != std::string::npos ? kAFInet6 : kAFInet, a});
  }

  TNetTCPClient client;
  std::vector<std::string> tried;
};

struct ReachCase {
  const char* name;
  std::vector<const char*> answer;
  const char* stalled;  // an address that never answers, or null
  const char* server;
  const char* used;
  std::vector<std::string> tried;
};

class Reach : public EveryAddress, public ::testing::WithParamInterface<ReachCase> {};

TEST_P(Reach, ConnectsThroughTheFirstAddressThatAnswersAndLogsEachAttempt) {
  const ReachCase& c = GetParam();
  TempDir state;
  ::setenv("XDG_STATE_HOME", state.Path().c_str(), 1);
  StartLog(false);
  std::unique_ptr<StalledListener> stalled;
  ScriptedServer server;
  if (c.stalled) stalled = std::make_unique<StalledListener>(c.stalled);
  server.ListenOn(c.server, stalled ? stalled->Port() : 0);
  server.Start();
  Answer(c.answer);
  client.SetPort(server.Port());
  client.OpenConnection();
  EXPECT_EQ(UsedAddress(client), c.used);
  EXPECT_EQ(tried, c.tried);
  const std::string log = state.Read("tavro/tavro.log");
  const std::string target = "connect multi.test:" + std::to_string(server.Port()) + ": ";
  EXPECT_NE(log.find(target + "using " + TNetStack::BracketHost(c.used)), std::string::npos) << log;
  for (const auto& address : c.tried)
    EXPECT_NE(log.find(target + TNetStack::BracketHost(address) + " started at "), std::string::npos) << log;
  client.CloseConnection();
  server.Stop();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, Reach,
    ::testing::Values(
        ReachCase{"ServerOnIPv6Only", {"::1", "127.0.0.1"}, nullptr, "::1", "::1", {"::1"}},
        ReachCase{"ServerOnIPv4Only", {"::1", "127.0.0.1"}, nullptr, "127.0.0.1", "127.0.0.1", {"::1", "127.0.0.1"}},
        ReachCase{"FirstAddressNeverAnswers", {"127.0.0.1", "::1"}, "127.0.0.1", "::1", "::1", {"127.0.0.1", "::1"}},
        ReachCase{"FamiliesAlternate",
                  {"127.0.0.2", "127.0.0.3", "::1"},
                  nullptr,
                  "::1",
                  "::1",
                  {"127.0.0.2", "::1"}}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(EveryAddress, EveryAddressFailingNamesTheHostAndEachAddressWithItsReason) {
  const int fd = BindAddress("::1", 0, 0);
  const uint16_t port = LocalPort(fd);
  ::close(fd);
  Answer({"::1", "127.0.0.1"});
  client.SetPort(port);
  const std::string refused = "Socket Error # 10061 Connection refused.";
  ExpectRaises<ENetConnectException>([&] { client.OpenConnection(); },
                                     "Could not connect to multi.test port " + std::to_string(port) +
                                         "; every address failed:\r\n[::1]: " + refused + "\r\n127.0.0.1: " + refused);
  EXPECT_FALSE(client.IsConnected());
}

// Ways a connect to addresses that never answer ends: a cancel in the pump while the
// first attempt waits alone or while both wait, or the time limit over them all; and
// the same while the name is still being looked up (no attempt made, the window pumped).
struct EndCase {
  const char* name;
  std::vector<const char*> stalled;  // empty: the host is "silent.test"
  int cancelOnceTried;               // -1: no cancel; the connect's time limit ends it
  const char* message;
};

class Ends : public EveryAddress, public ::testing::WithParamInterface<EndCase> {};

TEST_P(Ends, WithoutALeftoverSocket) {
  const EndCase& c = GetParam();
  std::vector<std::unique_ptr<StalledListener>> stalled;
  uint16_t port = 0;
  for (const char* address : c.stalled) {
    stalled.push_back(std::make_unique<StalledListener>(address, port));
    port = stalled.back()->Port();
  }
  Answer(c.stalled);
  SilentNameServer silent;
  if (c.stalled.empty()) client.SetHost("silent.test");
  client.SetPort(c.stalled.empty() ? 80 : port);
  FakePump pump;
  TNetFreezeGuard guard;
  guard.SetIdleTimeOut(10);
  if (c.cancelOnceTried == 1) client.SetConnectionAttemptDelay(60000);
  pump.Every([&](int) {
    if (c.cancelOnceTried >= 0 && tried.size() == static_cast<size_t>(c.cancelOnceTried)) client.CloseConnection();
  });
  const int before = OpenDescriptors();
  ExpectRaises<ENetException>([&] { client.OpenConnection(c.cancelOnceTried >= 0 ? 0 : 100); }, c.message);
  EXPECT_EQ(tried.size(), c.cancelOnceTried >= 0 ? c.cancelOnceTried : c.stalled.size());
  // Serviced all along the wait, not once: a time limit's 100 ms hold many of the guard's slices.
  EXPECT_GT(pump.Calls(), c.cancelOnceTried >= 0 ? 0 : 2);
  EXPECT_FALSE(client.IsConnected());
  client.CloseConnection();
  EXPECT_EQ(OpenDescriptors(), before);
}

INSTANTIATE_TEST_SUITE_P(Cases, Ends,
                         ::testing::Values(EndCase{"CancelWhileTheFirstWaits", {"127.0.0.1", "::1"}, 1, "Not Connected"},
                                           EndCase{"CancelWhileBothWait", {"127.0.0.1", "::1"}, 2, "Not Connected"},
                                           EndCase{"TimeLimitOverAll", {"127.0.0.1", "::1"}, -1, "Connect timed out."},
                                           EndCase{"CancelWhileTheNameIsLookedUp", {}, 0, "Not Connected"},
                                           EndCase{"TimeLimitWhileTheNameIsLookedUp", {}, -1, "Connect timed out."}),
                         [](const auto& info) { return std::string(info.param.name); });

}  // namespace
