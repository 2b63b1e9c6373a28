// The cancel button: CloseConnection run inside the freeze guard's pump while a read,
// a send or a connect of the same connection is on the stack. Run under the sanitizer
// build, these also prove the interrupted operation touches no released memory.
#include <poll.h>

#include "NetTestUtil.h"
#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetIOHandlerSocket.h"
#include "support/ExpectRaises.h"
#include "support/FakePump.h"
#include "support/StalledListener.h"

namespace {

class Cancel : public ServerTest {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    guard.SetIdleTimeOut(30);
    log.Attach(client);
    client.OnDisconnected = [this](TObject*) { ++disconnected; };
  }
  // Cancels at the next pump from now.
  void CancelAtNextPump() {
    pump.At(pump.Calls() + 1, [this] { client.CloseConnection(); });
  }
  FakePump pump;
  TNetFreezeGuard guard;
  WorkLog log;
  int disconnected = 0;
};

TEST_F(Cancel, DuringAReadWhoseWaitFoundDataEndsNotConnected) {
  server.AddConnection(ConnectionScript().Send("HEAD\n").Pause(100).Send(Pattern(0, 100000), 10000, 20));
  client.OpenConnection();
  ASSERT_EQ(client.ReadLine(), "HEAD");
  guard.SetOnlyWhenIdle(false);  // pump after every step, data or not
  guard.SetIdleTimeOut(5000);
  CancelAtNextPump();
  TMemoryStream stream;
  ExpectRaises<ENetNotConnected>([&] { client.ReadToStream(stream, 100000); }, "Not Connected");
  EXPECT_EQ(log.events.back(), "end r");
  EXPECT_EQ(disconnected, 1);
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_FALSE(client.IsConnected());
}

TEST_F(Cancel, DuringAReadWhoseWaitTimedOutEndsClosedGracefully) {
  server.AddConnection(ConnectionScript().Send("HEAD\n0123456789").Pause(3000));
  client.OpenConnection();
  ASSERT_EQ(client.ReadLine(), "HEAD");
  CancelAtNextPump();  // the first idle slice
  TMemoryStream stream;
  EXPECT_THROW(client.ReadToStream(stream, 1000), ENetConnClosedGracefully);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin r 1000", "work r 10", "end r"}));
  EXPECT_EQ(stream.Size(), 10);
  EXPECT_EQ(client.IOHandler(), nullptr);
}

TEST_F(Cancel, DuringAReadUntilCloseEndsTheReadNormally) {
  server.AddConnection(ConnectionScript().Send("HEAD\n0123456789").Pause(3000));
  client.OpenConnection();
  ASSERT_EQ(client.ReadLine(), "HEAD");
  CancelAtNextPump();
  TMemoryStream stream;
  client.ReadToStream(stream, -1, true);
  EXPECT_EQ(std::string(stream.Memory(), static_cast<size_t>(stream.Size())), "0123456789");
  EXPECT_EQ(log.events.back(), "end r");
}

TEST_F(Cancel, DuringASendEndsTheNextWriteNotConnected) {
  server.AddConnection(ConnectionScript().WaitClientClose());
  client.OpenConnection();
  guard.SetOnlyWhenIdle(false);  // a send pumps only then
  CancelAtNextPump();
  TMemoryStream source;
  const std::string body = Pattern(0, 100000);
  source.WriteBuffer(body.data(), 100000);
  EXPECT_THROW(client.WriteFromStream(source), ENetNotConnected);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin w 100000", "work w 32768", "end w"}));
}

TEST_F(Cancel, DuringACompleteSendEndsTheNextReadNotConnected) {
  server.AddConnection(ConnectionScript().WaitClientClose());
  client.OpenConnection();
  guard.SetOnlyWhenIdle(false);
  CancelAtNextPump();
  client.WriteLine("GET / HTTP/1.1");  // the block was complete: the write returns
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_THROW(client.ReadLine(), ENetNotConnected);
}

TEST_F(Cancel, DuringAConnectEndsNotConnectedWithoutALeftoverConnection) {
  StalledListener stalled;
  client.SetPort(stalled.Port());
  pump.At(2, [this] { client.CloseConnection(); });
  ExpectRaises<ENetNotConnected>([&] { client.OpenConnection(); }, "Not Connected");
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_FALSE(client.IsConnected());
}

// The server takes the ClientHello and either never answers it (the cancel comes in an
// idle slice's pump) or sends the start of a record (the cancel comes in the pump of the
// step that found it, with the bytes still unread).
class CancelHandshake : public Cancel, public ::testing::WithParamInterface<bool> {};

TEST_P(CancelHandshake, EndsNotConnected) {
  const bool dataArrives = GetParam();
  ConnectionScript script;
  // The answer is sent only once the client waits for it, so no receive takes it first.
  script.ExpectBytes(5).SignalGate("hello");
  if (dataArrives) script.WaitGate("waiting").Send("\x16\x03\x03\x00\x40");
  server.AddConnection(script.WaitClientClose());
  client.SetUseTLS(true);
  guard.SetOnlyWhenIdle(!dataArrives);
  bool cancelled = false;
  pump.Every([&](int) {
    if (cancelled || !server.WaitGate("hello", 0)) return;
    if (dataArrives) {
      // The answer comes during this pump; the next step's select finds it.
      if (!server.WaitGate("waiting", 0)) {
        server.OpenGate("waiting");
        return;
      }
      pollfd unread{static_cast<TNetIOHandlerSocket*>(client.IOHandler())->SocketHandle()->OsSocket(), POLLIN, 0};
      if (::poll(&unread, 1, 0) != 1) return;
    }
    cancelled = true;
    client.CloseConnection();
  });
  ExpectRaises<ENetNotConnected>([&] { client.OpenConnection(); }, "Not Connected");
  EXPECT_TRUE(cancelled);
  EXPECT_EQ(client.IOHandler(), nullptr);
  EXPECT_FALSE(client.IsConnected());
}

INSTANTIATE_TEST_SUITE_P(Server, CancelHandshake, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "SentPartOfARecord" : "NeverAnswered"; });

TEST_F(Cancel, ReconnectingInsideThePumpLeavesTheInterruptedReadOnItsOwnHandler) {
  server.AddConnection(ConnectionScript().Send("HEAD\n").Pause(3000));
  server.AddConnection(ConnectionScript().Send("second\n").Pause(3000));
  client.OpenConnection();
  ASSERT_EQ(client.ReadLine(), "HEAD");
  pump.At(pump.Calls() + 1, [this] {
    client.CloseConnection();
    client.OpenConnection();
  });
  EXPECT_THROW(client.ReadLine(), ENetException);
  EXPECT_EQ(client.ReadLine(), "second");
}

}  // namespace
