// Connecting: refused ports, time-outs, statuses, binding, Nagle, writes.
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <memory>

#include "NetTestUtil.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetIOHandlerSocket.h"
#include "support/ExpectRaises.h"
#include "support/FakePump.h"
#include "support/Loopback.h"
#include "support/StalledListener.h"

namespace {

// A loopback port with nothing listening on it.
uint16_t ClosedPort() {
  const int fd = BindLoopback(-1);
  const uint16_t port = LocalPort(fd);
  ::close(fd);
  return port;
}

// Without the guard the connect blocks and raises the socket error; with it a worker
// connects while the wait pumps, and its failure comes back as ENetConnectException.
class RefusedPort : public ::testing::TestWithParam<bool> {};

TEST_P(RefusedPort, FailsWithConnectionRefused) {
  FakePump pump;
  std::unique_ptr<TNetFreezeGuard> guard;
  if (GetParam()) guard = std::make_unique<TNetFreezeGuard>();
  TNetTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(ClosedPort());
  ExpectRaises<ENetException>([&] { client.OpenConnection(); }, "Socket Error # 10061\r\nConnection refused.",
                               [this](const ENetException& e) {
                                 const bool fromWorker = dynamic_cast<const ENetConnectException*>(&e);
                                 EXPECT_EQ(fromWorker, GetParam());
                                 EXPECT_TRUE(fromWorker || dynamic_cast<const ENetSocketError&>(e).SocketErrorCode() == 10061);
                               });
  EXPECT_EQ(pump.Calls() >= 1, GetParam());  // the worker's wait pumps every slice
  EXPECT_FALSE(client.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Guard, RefusedPort, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "Engaged" : "None"; });

TEST(Connect, PendingConnectTimesOutAndLeavesNoDescriptorBehind) {
  StalledListener stalled;
  const int before = OpenDescriptors();
  TNetTCPClient client;
  client.SetHost("127.0.0.1");
  client.SetPort(stalled.Port());
  ExpectRaises<ENetConnectTimeout>([&] { client.OpenConnection(300); }, "Connect timed out.");
  client.CloseConnection();
  EXPECT_EQ(OpenDescriptors(), before);
}

TEST(Connect, UnknownHostReportsResolvingAndFailsWithHostNotFound) {
  // Looked up where the connect runs, and on a thread of its own when the connect has a limit.
  for (const int32_t limit : {kNetDefaultTimeout, 5000}) {
    TNetTCPClient client;
    std::vector<std::string> statuses;
    client.OnStatus = [&](TObject*, TNetStatus, const AnsiString& text) { statuses.push_back(text); };
    client.SetHost("no-such-host.invalid");
    client.SetPort(80);
    ExpectRaises<ENetSocketError>([&] { client.OpenConnection(limit); }, "Socket Error # 11001\r\nHost not found.");
    EXPECT_EQ(statuses, std::vector<std::string>{"Resolving hostname no-such-host.invalid."}) << limit;
  }
}

TEST_F(ServerTest, StatusesNameTheHostAndTheAddress) {
  std::vector<std::string> statuses;
  client.OnStatus = [&](TObject*, TNetStatus, const AnsiString& text) { statuses.push_back(text); };
  client.SetHost("LocalHost");
  client.OpenConnection();
  client.CloseConnection();
  client.SetHost("127.0.0.1");
  client.OpenConnection();
  EXPECT_EQ(statuses, (std::vector<std::string>{"Resolving hostname LocalHost.", "Connecting to 127.0.0.1.",
                                                "Connected.", "Disconnecting.", "Disconnected.",
                                                "Connecting to 127.0.0.1.", "Connected."}));
}

TEST_F(ServerTest, SecondOpenWhileConnectedIsRefusedAndChangesNothing) {
  server.AddConnection(ConnectionScript().ExpectRequest().Send("pong\n"));
  client.OpenConnection();
  ExpectRaises<ENetAlreadyConnected>([&] { client.OpenConnection(); }, "Already connected.");
  client.WriteLine("ping");
  client.WriteLine();
  EXPECT_EQ(client.ReadLine(), "pong");
  EXPECT_EQ(server.AcceptedCount(), 1u);
}

TEST(Connect, ClosingWhatIsNotOpenStillReportsAndFiresOnDisconnected) {
  TNetTCPClient client;
  std::vector<std::string> statuses;
  int disconnected = 0;
  client.OnStatus = [&](TObject*, TNetStatus, const AnsiString& text) { statuses.push_back(text); };
  client.OnDisconnected = [&](TObject*) { ++disconnected; };
  client.CloseConnection();
  EXPECT_EQ(statuses, (std::vector<std::string>{"Disconnecting.", "Disconnected."}));
  EXPECT_EQ(disconnected, 1);
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(ServerTest, NagleOffSetsNoDelayAndTheDefaultLeavesItUnset) {
  for (bool nagle : {true, false}) {
    TNetIOHandlerSocket handler;
    handler.SetUseNagle(nagle);
    client.SetIOHandler(&handler);
    client.OpenConnection();
    int value = -1;
    socklen_t len = sizeof value;
    ::getsockopt(handler.SocketHandle()->OsSocket(), IPPROTO_TCP, TCP_NODELAY, &value, &len);
    EXPECT_EQ(value != 0, !nagle);
    client.CloseConnection();
    EXPECT_EQ(client.IOHandler(), &handler);  // a handler from outside is closed, not released
    client.SetIOHandler(nullptr);
  }
}

TEST(Bind, RangeErrorsNameTheRange) {
  TNetComponent user;
  const int busy = BindLoopback(1, true);
  const int port = LocalPort(busy);

  TNetSocketHandle handle;
  handle.OpenSocket(kSockStream, 0);
  handle.SetClientPortMin(5000);
  handle.SetClientPortMax(4999);
  ExpectRaises<ENetInvalidPortRange>([&] { handle.BindLocal(); }, "Invalid Port Range (5000 - 4999)");
  handle.SetClientPortMin(port);
  handle.SetClientPortMax(port);
  ExpectRaises<ENetCanNotBindPortInRange>([&] { handle.BindLocal(); },
                                          Format("Can not bind in port range (%d - %d)", port, port));
  handle.SetPort(port);
  ExpectRaises<ENetCouldNotBindSocket>([&] { handle.BindLocal(); },
                                       "Could not bind socket. Address and port are already in use.");
  ::close(busy);
}

TEST(SocketHandle, WaitOnAClosedHandleRaisesClosedGracefully) {
  TNetComponent user;
  TNetSocketHandle handle;
  ExpectRaises<ENetConnClosedGracefully>([&] { handle.WaitReadable(10); }, "Connection Closed Gracefully.");
}

TEST_F(ServerTest, EngagedWaitIsCutIntoSlicesThatEachPump) {
  server.AddConnection(ConnectionScript().WaitGate("send").Send("x"));
  client.OpenConnection();
  FakePump pump;
  TNetFreezeGuard guard;
  guard.SetIdleTimeOut(20);
  auto* handler = dynamic_cast<TNetIOHandlerSocket*>(client.IOHandler());
  ASSERT_NE(handler, nullptr);
  EXPECT_FALSE(handler->SocketHandle()->WaitReadable(50));  // 10, 20, 20
  EXPECT_EQ(pump.Calls(), 3);
  // A day in 1 ms slices: the slices follow one another, however many there are.
  guard.SetIdleTimeOut(1);
  server.OpenGate("send");
  EXPECT_TRUE(handler->SocketHandle()->WaitReadable(86400000));
}

class IdlePumping : public ServerTest, public ::testing::WithParamInterface<bool> {};

TEST_P(IdlePumping, DataFasterThanTheIdleTimeOutPumpsOnlyWhenNotIdleOnly) {
  server.AddConnection(ConnectionScript().Send(Pattern(0, 5000), 1000, 40));
  client.OpenConnection();
  FakePump pump;
  TNetFreezeGuard guard;
  guard.SetIdleTimeOut(2000);
  guard.SetOnlyWhenIdle(GetParam());
  int receives = 0;
  client.OnWork = [&](TObject*, TWorkMode, int32_t) { ++receives; };
  client.SetRecvBufferSize(1000);
  TMemoryStream stream;
  client.ReadToStream(stream, 5000);
  if (GetParam()) {
    EXPECT_EQ(pump.Calls(), 0);
  } else {
    EXPECT_GE(pump.Calls(), 5);
  }
}

INSTANTIATE_TEST_SUITE_P(OnlyWhenIdle, IdlePumping, ::testing::Values(true, false));

TEST_F(ServerTest, CollectedWritesLeaveAsExactBytes) {
  server.AddConnection(ConnectionScript().ExpectRequest());
  client.OpenConnection();
  client.StartWriteBuffering();
  client.WriteLine("GET / HTTP/1.1");
  client.WriteLine("Host: x");
  client.WriteLine();
  EXPECT_EQ(client.WriteCollector()->Size(), 27);
  EXPECT_EQ(server.RequestCount(0), 0u);
  client.FinishWriteBuffering();
  EXPECT_EQ(client.WriteCollector(), nullptr);
  ASSERT_TRUE(server.WaitDone(3000));
  EXPECT_EQ(server.Request(0, 0), "GET / HTTP/1.1\r\nHost: x\r\n\r\n");
}

TEST_F(ServerTest, StreamWritesReportEverySendUnderWrite) {
  const std::string body = Pattern(0, 100000);
  server.AddConnection(ConnectionScript().ExpectBytes(100004));
  client.OpenConnection();
  WorkLog log;
  log.Attach(client);
  TMemoryStream source;
  source.WriteBuffer(body.data(), 100000);
  client.WriteFromStream(source, true, 0, true);
  ASSERT_TRUE(server.WaitDone(3000));
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin w 100000", "work w 32768", "work w 65536",
                                                  "work w 98304", "work w 100000", "end w"}));
  const std::string got = server.Request(0, 0);
  ASSERT_EQ(got.size(), 100004u);
  EXPECT_EQ(got.substr(0, 4), std::string("\x00\x01\x86\xa0", 4));
  EXPECT_TRUE(got.substr(4) == body);
}

TEST_F(ServerTest, WritingToAResetPeerFailsWithoutKillingTheProcess) {
  server.AddConnection(ConnectionScript().Reset());
  bool failed = false;
  // The reset may already arrive while the connection is being set up.
  try {
    client.OpenConnection();
  } catch (const ENetException&) {
    failed = true;
  }
  server.WaitDone(2000);
  const std::string block(65536, 'x');
  for (int i = 0; i < 20 && !failed; ++i) {
    try {
      client.WriteBytes(block.data(), static_cast<int64_t>(block.size()));
    } catch (const ENetException&) {
      failed = true;
    }
  }
  EXPECT_TRUE(failed);
  EXPECT_FALSE(client.IsConnected());
}

}  // namespace
