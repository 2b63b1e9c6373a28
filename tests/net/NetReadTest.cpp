// Reading over real loopback sockets: bodies with their work events, lines, timeouts.
#include <memory>

#include "NetTestUtil.h"
#include "net/NetException.h"
#include "support/ExpectRaises.h"

namespace {

// Each body test runs against a memory stream (received in place) and a plain stream.
class BodyRead : public ServerTest, public ::testing::WithParamInterface<bool> {
 protected:
  void SetUp() override {
    ServerTest::SetUp();
    if (GetParam()) {
      stream_ = std::make_unique<TMemoryStream>();
    } else {
      stream_ = std::make_unique<StringStream>();
    }
    log.Attach(client);
  }
  TStream& Stream() { return *stream_; }
  WorkLog log;

 private:
  std::unique_ptr<TStream> stream_;
};

TEST_P(BodyRead, LeftoverFromTheHeadersIsReportedFirstThenEveryBlock) {
  const std::string body = Pattern(0, 100000);
  server.AddConnection(ConnectionScript().Send("HEAD\n" + body.substr(0, 500)).Pause(100).Send(body.substr(500), 7000));
  client.OpenConnection();
  ASSERT_EQ(client.ReadLine(), "HEAD");
  client.ReadToStream(Stream(), 100000);
  EXPECT_EQ(log.counts, (std::vector<int64_t>{500, 33268, 66036, 98804, 100000}));
  EXPECT_EQ(log.events.front(), "begin r 100000");
  EXPECT_EQ(log.events.back(), "end r");
  EXPECT_TRUE(Content(Stream()) == body);
}

TEST_P(BodyRead, PeerClosingEarlyKeepsWholeBlocksAndQueuesTheRest) {
  const std::string body = Pattern(0, 40000);
  server.AddConnection(ConnectionScript().Send("HEAD\n").Pause(100).Send(body, 3000).Close());
  client.OpenConnection();
  ASSERT_EQ(client.ReadLine(), "HEAD");
  EXPECT_THROW(client.ReadToStream(Stream(), 100000), ENetConnClosedGracefully);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin r 100000", "work r 32768", "end r"}));
  EXPECT_EQ(Stream().Size(), 32768);
  EXPECT_TRUE(Content(Stream()) == body.substr(0, 32768));
  EXPECT_EQ(client.InputQueue().Size(), 7232);
  EXPECT_EQ(std::string(client.InputQueue().Data(), 7232), body.substr(32768));
}

TEST_P(BodyRead, ReadUntilCloseWritesTheLastPartialBlockWithoutAnEvent) {
  const std::string body = Pattern(0, 70000);
  server.AddConnection(ConnectionScript().Send("HEAD\n").Pause(100).Send(body, 5000).Close());
  client.OpenConnection();
  ASSERT_EQ(client.ReadLine(), "HEAD");
  client.ReadToStream(Stream(), -1, true);
  EXPECT_EQ(log.events, (std::vector<std::string>{"begin r 0", "work r 32768", "work r 65536", "end r"}));
  EXPECT_TRUE(Content(Stream()) == body);
  EXPECT_FALSE(client.IsConnected());
}

TEST_P(BodyRead, AppendsAtTheStreamPositionAndCutsTheSizeThere) {
  const std::string body = Pattern(0, 5000);
  server.AddConnection(ConnectionScript().Send(body));
  Stream().WriteBuffer("0123456789", 10);
  Stream().SetPosition(4);
  client.OpenConnection();
  client.ReadToStream(Stream(), 5000);
  EXPECT_EQ(Stream().Size(), 5004);
  EXPECT_TRUE(Content(Stream()) == "0123" + body);
}

TEST_P(BodyRead, RoomBeyondTheBodyIsCutAway) {
  const std::string body = Pattern(0, 50000);
  server.AddConnection(ConnectionScript().Send(body, 9000));
  Stream().SetSize(200000);
  Stream().SetPosition(0);
  client.OpenConnection();
  client.ReadToStream(Stream(), 50000);
  EXPECT_EQ(Stream().Size(), 50000);
  EXPECT_TRUE(Content(Stream()) == body);
}

TEST_P(BodyRead, LengthPrefixedBodyReadsItsNetworkOrderLength) {
  const std::string body = Pattern(0, 70000);
  server.AddConnection(ConnectionScript().Send(std::string("\x00\x01\x11\x70", 4) + body, 4000));
  client.OpenConnection();
  client.ReadToStream(Stream());
  EXPECT_EQ(log.events.front(), "begin r 70000");
  EXPECT_TRUE(Content(Stream()) == body);
}

INSTANTIATE_TEST_SUITE_P(Streams, BodyRead, ::testing::Values(true, false),
                         [](const auto& info) { return info.param ? "MemoryStream" : "OtherStream"; });

class RandomChunks : public ServerTest, public ::testing::WithParamInterface<uint32_t> {};

TEST_P(RandomChunks, CountedBodyArrivesByteForByte) {
  const std::string body = Pattern(3, 150000);
  server.AddConnection(ConnectionScript().SendRandomChunks("L1\r\nL2\n" + body, GetParam(), 9000));
  client.OpenConnection();
  WorkLog log;
  log.Attach(client);
  EXPECT_EQ(client.ReadLine(), "L1");
  EXPECT_EQ(client.ReadLine(), "L2");
  TMemoryStream stream;
  client.ReadToStream(stream, static_cast<int64_t>(body.size()));
  EXPECT_EQ(log.counts.back(), 150000);
  ASSERT_EQ(stream.Size(), 150000);
  EXPECT_TRUE(std::string(stream.Memory(), 150000) == body);
}

INSTANTIATE_TEST_SUITE_P(Seeds, RandomChunks, ::testing::Values(1u, 2u, 3u, 42u));

TEST_F(ServerTest, HostileLengthReservesAtMost16MiBBeforeBytesArrive) {
  server.AddConnection(ConnectionScript().Send("0123456789").Close());
  client.OpenConnection();
  TMemoryStream stream;
  int64_t capacityAtBegin = -1;
  int32_t announced = 0;
  client.OnWorkBegin = [&](TObject*, TWorkMode, int32_t max) {
    capacityAtBegin = stream.Capacity();
    announced = max;
  };
  EXPECT_THROW(client.ReadToStream(stream, 2147483647), ENetConnClosedGracefully);
  EXPECT_EQ(announced, 2147483647);
  EXPECT_LE(capacityAtBegin, TNetTCPConnection::kMaxPresize);
  EXPECT_EQ(stream.Size(), 0);
  EXPECT_EQ(client.InputQueue().Size(), 10);
}

TEST_F(ServerTest, BodyLargerThanThePresizeGrowsWithTheData) {
  const uint64_t size = TNetTCPConnection::kMaxPresize + 100000;
  server.AddConnection(ConnectionScript().SendPattern(0, size));
  client.OpenConnection();
  TMemoryStream stream;
  client.ReadToStream(stream, static_cast<int64_t>(size));
  ASSERT_EQ(stream.Size(), static_cast<int64_t>(size));
  EXPECT_TRUE(std::string(stream.Memory() + size - 5000, 5000) == Pattern(size - 5000, 5000));
}

TEST_F(ServerTest, ManySmallBodiesIntoOneStreamGrowItGeometrically) {
  server.AddConnection(ConnectionScript().SendPattern(0, 200000));
  client.OpenConnection();
  TMemoryStream stream;
  int growths = 0;
  for (int i = 0; i < 2000; ++i) {
    const int64_t capacity = stream.Capacity();
    client.ReadToStream(stream, 100);
    if (stream.Capacity() != capacity) ++growths;
  }
  EXPECT_TRUE(Content(stream) == Pattern(0, 200000));
  EXPECT_LT(growths, 40);
}

struct LineCase {
  const char* name;
  std::string wire;
  std::string terminator;
  std::vector<std::string> lines;
};

class Lines : public ServerTest, public ::testing::WithParamInterface<LineCase> {};

TEST_P(Lines, EndAtTheTerminatorEvenWhenItArrivesByteByByte) {
  server.AddConnection(ConnectionScript().Send(GetParam().wire, 1, 2));
  client.OpenConnection();
  for (const auto& expected : GetParam().lines) EXPECT_EQ(client.ReadLine(GetParam().terminator), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Forms, Lines,
    ::testing::Values(LineCase{"CrCrLf", "abc\r\r\nx\n", "", {"abc\r", "x"}},
                      LineCase{"LfAlone", "abc\ndef\r\n", "", {"abc", "def"}},
                      LineCase{"CrAloneDoesNotEnd", "ab\rcd\n", "", {"ab\rcd"}},
                      LineCase{"EmptyLine", "\r\n\n", "", {"", ""}},
                      LineCase{"LongTerminatorSplitAcrossReceives", "abcXYdefXY", "XY", {"abc", "def"}},
                      LineCase{"CrKeptWithOtherTerminator", "abc\rXY", "XY", {"abc\r"}}),
    [](const auto& info) { return info.param.name; });

TEST_F(ServerTest, LineOfMaxLengthIsAcceptedAndOneMoreIsNot) {
  server.AddConnection(ConnectionScript().Send(std::string(16384, 'a') + "\n" + std::string(16385, 'b') + "\n"));
  client.OpenConnection();
  EXPECT_EQ(client.ReadLine().size(), 16384u);
  ExpectRaises<ENetReadLnMaxLineLengthExceeded>([&] { client.ReadLine(); }, "Max line length exceeded.");
}

TEST_F(ServerTest, OverlongLineWithoutTerminatorIsSplitWhenAsked) {
  server.AddConnection(ConnectionScript().Send(std::string(20000, 'c')));
  client.OpenConnection();
  client.SetMaxLineAction(maSplit);
  EXPECT_EQ(client.ReadLine(), std::string(16384, 'c'));
  EXPECT_TRUE(client.ReadLineSplit());
}

TEST_F(ServerTest, PartialLineAtCloseStaysQueued) {
  server.AddConnection(ConnectionScript().Send("abc").Close());
  client.OpenConnection();
  EXPECT_EQ(client.ReadLine(), "");
  EXPECT_TRUE(client.ReadLineTimedOut());
  EXPECT_EQ(client.InputQueue().Size(), 3);
  EXPECT_FALSE(client.IsConnected());
  EXPECT_THROW(client.ReadLine(), ENetConnClosedGracefully);
}

TEST_F(ServerTest, ExplicitReadLineTimeoutReturnsEmptyInsteadOfWaitingOn) {
  server.AddConnection(ConnectionScript().Send("par").Pause(3000));
  client.OpenConnection();
  EXPECT_EQ(client.ReadLine("", 100), "");
  EXPECT_TRUE(client.ReadLineTimedOut());
  EXPECT_TRUE(client.IsConnected());
  EXPECT_EQ(client.InputQueue().Size(), 3);
}

TEST_F(ServerTest, PositiveReadTimeoutRaisesReadTimeout) {
  server.AddConnection(ConnectionScript().Pause(3000));
  client.OpenConnection();
  client.SetReadTimeout(100);
  ExpectRaises<ENetReadTimeout>([&] { client.ReadLine(); }, "Read Timeout");
}

TEST_F(ServerTest, BytesBeforeThePeersCloseAreStillDelivered) {
  server.AddConnection(ConnectionScript().Send("one\ntwo\n").Close());
  client.OpenConnection();
  EXPECT_EQ(client.ReadLine(), "one");
  server.WaitDone(2000);
  client.CheckConnectionLost(true, false);  // queued bytes: no raise
  EXPECT_EQ(client.ReadLine(), "two");
  EXPECT_THROW(client.ReadLine(), ENetConnClosedGracefully);
}

TEST_F(ServerTest, ResetByPeerRaisesItsSocketError) {
  server.AddConnection(ConnectionScript().Pause(50).Reset());
  client.OpenConnection();
  ExpectRaises<ENetSocketError>([&] { client.ReadLine(); }, "Socket Error # 10054\r\nConnection reset by peer.",
                                [](const ENetSocketError& e) { EXPECT_EQ(e.SocketErrorCode(), 10054); });
}

TEST(ManagedBuffer, ConsumesByOffsetAndPacksAtTheThreshold) {
  TNetManagedBuffer queue;
  int64_t removed = 0;
  queue.BytesRemoved = [&](TObject*, int64_t n) { removed += n; };
  std::string bytes(40000, '\0');
  for (size_t i = 0; i < bytes.size(); ++i) bytes[i] = static_cast<char>(i % 251);
  queue.Append(bytes.data(), 40000);
  queue.Remove(20000);
  EXPECT_EQ(queue.ReadOffset(), 20000);
  EXPECT_EQ(queue.Size(), 20000);
  EXPECT_EQ(queue.Data()[0], bytes[20000]);
  queue.Remove(13000);
  EXPECT_EQ(queue.ReadOffset(), 0);
  EXPECT_EQ(queue.Size(), 7000);
  EXPECT_TRUE(std::string(queue.Data(), 7000) == bytes.substr(33000));
  EXPECT_EQ(queue.Extract(2), bytes.substr(33000, 2));
  ExpectRaises<ENetNotEnoughDataInBuffer>([&] { queue.Remove(7000); }, "Not enough data in buffer.");
  queue.Remove(6998);
  EXPECT_EQ(queue.Size(), 0);
  EXPECT_EQ(removed, 40000);
}

}  // namespace
