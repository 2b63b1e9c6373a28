// One exchange per case against the scripted loopback server: the request bytes, what
// reaches the stream, the exception, the work events and the connection state. Each
// reply is played whole and in random chunk sizes; the TLS cases over a TLS front that
// ends the server's close with or without close_notify.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "net/NetException.h"
#include "runtime/Exception.h"
#include "support/ScriptedServer.h"
#include "support/TestCertificates.h"
#include "support/TlsFront.h"

namespace {

enum Transport { kPlain, kTlsCloseNotify, kTlsCut };

struct ExchangeCase {
  const char* Name = "";
  std::string Reply = "";
  bool ServerCloses = false;
  std::string Body = "";   // expected in the caller's stream
  std::string Error = "";  // expected exception class ("" none)
  std::string Message = "";
  int ErrorCode = 0;
  std::string ErrorBody = "";
  std::string Work = "";  // see EventLog
  bool ConnectedAfter = false;
  int ChunkStarted = 0;  // "Chunk Started" reports
  bool Split = true;     // also played in random chunks
  Transport Over = kPlain;
};

std::vector<ExchangeCase> Cases() {
  const std::string big(100000, 'x');
  const std::string page = "<html><body>Not here</body></html>", pageLength = std::to_string(page.size());
  std::string manyHeaders = "HTTP/1.1 200 OK\r\n";
  for (int i = 0; i < 1001; ++i) manyHeaders += "X-" + std::to_string(i) + ": v\r\n";
  manyHeaders += "\r\n";
  return {
      {.Name = "LengthKeepsConnection", .Reply = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nhello", .Body = "hello",
       .Work = "B5 E5", .ConnectedAfter = true},
      {.Name = "ConnectionCloseDisconnects",
       .Reply = "HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello", .Body = "hello",
       .Work = "B5 E5"},
      {.Name = "NoLengthReadsUntilClose", .Reply = "HTTP/1.1 200 OK\r\n\r\nuntil the end", .ServerCloses = true,
       .Body = "until the end", .Work = "B0 E*"},
      {.Name = "TwoChunksWithExtensions",
       .Reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5 x\r\nhello\r\n6;name=v\r\n world\r\n0\r\n\r\n",
       .Body = "hello world", .Work = "B5 E5 B6 E6", .ConnectedAfter = true, .ChunkStarted = 1},
      {.Name = "ChunkedInAnyCase",
       .Reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: Chunked\r\n\r\n3\r\nabc\r\n0\r\n\r\n", .Body = "abc",
       .Work = "B3 E3", .ConnectedAfter = true, .ChunkStarted = 1},
      {.Name = "LengthWinsOverChunked",
       .Reply = "HTTP/1.1 200 OK\r\nContent-Length: 8\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n",
       .Body = "3\r\nabc\r\n", .Work = "B8 E8", .ConnectedAfter = true},
      {.Name = "ChunkSizeNotHex",
       .Reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nzz\r\nabc\r\n0\r\n\r\n", .Error = "EConvertError",
       .Message = "'zz' is not a valid chunk size", .ChunkStarted = 1},
      {.Name = "ChunkSizePast31Bits",
       .Reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n80000000\r\nabc\r\n", .Error = "EConvertError",
       .Message = "'80000000' is not a valid chunk size", .ChunkStarted = 1},
      {.Name = "ChunkedCutOff", .Reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n5\r\n",
       .ServerCloses = true, .Error = "ENetConnClosedGracefully", .Message = "Connection Closed Gracefully.",
       .Work = "B5 E0", .ChunkStarted = 1},
      {.Name = "NotFoundWithBody",
       .Reply = "HTTP/1.1 404 Not Found\r\nContent-Length: " + pageLength + "\r\n\r\n" + page,
       .Error = "ENetHTTPProtocolException", .Message = "HTTP/1.1 404 Not Found", .ErrorCode = 404,
       .ErrorBody = page, .Work = "B" + pageLength + " E" + pageLength, .ConnectedAfter = true},
      {.Name = "FoundIsNotFollowed",
       .Reply = "HTTP/1.1 302 Found\r\nLocation: /elsewhere\r\nContent-Length: 2\r\n\r\nmv",
       .Error = "ENetHTTPProtocolException", .Message = "HTTP/1.1 302 Found", .ErrorCode = 302, .ErrorBody = "mv",
       .Work = "B2 E2", .ConnectedAfter = true},
      {.Name = "LocationOnSuccessRaises", .Reply = "HTTP/1.1 200 OK\r\nLocation: /x\r\nContent-Length: 0\r\n\r\n",
       .Error = "ENetHTTPProtocolException", .Message = "HTTP/1.1 200 OK", .ErrorCode = 200, .ConnectedAfter = true},
      {.Name = "ContinueIsSkipped",
       .Reply = "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", .Body = "ok",
       .Work = "B2 E2", .ConnectedAfter = true},
      {.Name = "NoContentReadsNothing", .Reply = "HTTP/1.1 204 No Content\r\n\r\n", .ConnectedAfter = true},
      {.Name = "HeadersCutOff", .Reply = "HTTP/1.1 200 OK\r\nX-A: 1\r\n", .ServerCloses = true,
       .Error = "ENetException", .Message = "Undefined situation"},
      {.Name = "ClosedBeforeStatus", .ServerCloses = true, .Error = "ENetConnClosedGracefully",
       .Message = "Connection Closed Gracefully."},
      {.Name = "StatusLineWithoutSpace", .Reply = "HTTP/1.1200OK\r\n\r\n", .ServerCloses = true,
       .Error = "ENetHTTPProtocolException", .Message = "HTTP/1.1200OK", .ErrorCode = -1, .Work = "B0 E0"},
      {.Name = "EmptyBodyThenClose", .Reply = "HTTP/1.1 200 OK\r\nContent-Length: 0\r\nConnection: close\r\n\r\n"},
      {.Name = "ShortBodyIsNotAnError", .Reply = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd",
       .ServerCloses = true, .Body = "abcd", .Work = "B10 E4", .Split = false},
      // The server stalls after 70,000 of 200,000 bytes: the cap ends the read at once.
      {.Name = "ErrorBodyCappedAndConnectionClosed",
       .Reply = "HTTP/1.1 500 Oops\r\nContent-Length: 200000\r\n\r\n" + big.substr(0, 70000),
       .Error = "ENetHTTPProtocolException", .Message = "HTTP/1.1 500 Oops", .ErrorCode = 500,
       .ErrorBody = std::string(65536, 'x'), .Work = "B200000 E65536"},
      {.Name = "EarlyHintsRaiseAndLeaveNoAnswerQueued",
       .Reply = "HTTP/1.1 103 Early Hints\r\nLink: </s.css>\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok",
       .Error = "ENetHTTPProtocolException", .Message = "HTTP/1.1 103 Early Hints", .ErrorCode = 103},
      {.Name = "TrailersAreReadToTheBlankLine",
       .Reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nabc\r\n0\r\nX-A: 1\r\nX-B: 2\r\n\r\n",
       .Body = "abc", .Work = "B3 E3", .ConnectedAfter = true, .ChunkStarted = 1},
      {.Name = "HeaderBlockCapped", .Reply = manyHeaders, .Error = "ENetException",
       .Message = "Response header block too large"},
      // Over TLS only close_notify ends a body: a stream cut without it is never whole.
      {.Name = "TLSNoLengthEndedByCloseNotify", .Reply = "HTTP/1.1 200 OK\r\n\r\nuntil the end", .ServerCloses = true,
       .Body = "until the end", .Work = "B0 E*", .Over = kTlsCloseNotify},
      {.Name = "TLSNoLengthCutWithoutCloseNotify", .Reply = "HTTP/1.1 200 OK\r\n\r\nuntil the end",
       .ServerCloses = true, .Body = "until the end", .Error = "ENetTLSTruncated", .Message = NetText::TLSNoCloseNotify,
       .Work = "B0 E*", .Split = false, .Over = kTlsCut},
      {.Name = "TLSShortBodyCutWithoutCloseNotify", .Reply = "HTTP/1.1 200 OK\r\nContent-Length: 10\r\n\r\nabcd",
       .ServerCloses = true, .Body = "abcd", .Error = "ENetTLSTruncated", .Message = NetText::TLSNoCloseNotify,
       .Work = "B10 E4", .Split = false, .Over = kTlsCut},
      {.Name = "TLSErrorBodyCutWithoutCloseNotifyStillShowsTheStatus",
       .Reply = "HTTP/1.1 404 Not Found\r\n\r\ngone", .ServerCloses = true, .Error = "ENetHTTPProtocolException",
       .Message = "HTTP/1.1 404 Not Found", .ErrorCode = 404, .ErrorBody = "gone", .Work = "B0 E*", .Split = false,
       .Over = kTlsCut},
  };
}

class Exchange : public ::testing::TestWithParam<std::tuple<ExchangeCase, uint32_t>> {};

std::string ErrorClass(const std::exception& e) {
  if (dynamic_cast<const ENetHTTPProtocolException*>(&e)) return "ENetHTTPProtocolException";
  if (dynamic_cast<const ENetConnClosedGracefully*>(&e)) return "ENetConnClosedGracefully";
  if (dynamic_cast<const EConvertError*>(&e)) return "EConvertError";
  if (dynamic_cast<const ENetTLSTruncated*>(&e)) return "ENetTLSTruncated";
  if (dynamic_cast<const ENetException*>(&e)) return "ENetException";
  return "other";
}

TEST_P(Exchange, RequestBytesStreamErrorAndEvents) {
  const ExchangeCase& c = std::get<0>(GetParam());
  const uint32_t seed = std::get<1>(GetParam());
  ScriptedServer server;
  ConnectionScript script;
  script.ExpectRequest();
  // Large replies are sent whole; the point of splitting is the buffer boundaries.
  // A short body keeps only whole blocks, so how it is split changes what arrives.
  if (seed == 0 || c.Reply.size() > 4096 || !c.Split)
    script.Send(c.Reply);
  else
    script.SendRandomChunks(c.Reply, seed, 7);
  if (c.ServerCloses) script.Close(); else script.WaitClientClose();
  server.AddConnection(script);
  server.Start();
  std::unique_ptr<TlsFront> front;
  if (c.Over != kPlain) front = std::make_unique<TlsFront>(server.Port(), c.Over == kTlsCloseNotify);
  const uint16_t port = front ? front->Port() : server.Port();

  TNetHTTP http;
  ConfigureHttpClient(http);
  http.SetTLSCAFile(TestCertificates::Shared().CA());
  EventLog log;
  log.Attach(http);
  TMemoryStream stream;
  stream.Write("pre", 3);  // the body goes at the stream's position
  std::string errorClass, message, errorBody;
  int code = 0;
  try {
    http.FetchUrl(std::string(front ? "https" : "http") + "://127.0.0.1:" + std::to_string(port) +
                      "/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini",
                  stream);
  } catch (const ENetHTTPProtocolException& e) {
    errorClass = ErrorClass(e);
    message = e.Message();
    code = e.ErrorCode();
    errorBody = e.ErrorBody();
  } catch (const Exception& e) {
    errorClass = ErrorClass(e);
    message = e.Message();
  }
  const bool connected = http.IsConnected();
  http.CloseConnection();
  server.Stop();

  EXPECT_EQ(server.Request(0, 0), CatalogueRequest(port));
  EXPECT_EQ(StreamText(stream), "pre" + c.Body);
  EXPECT_EQ(errorClass, c.Error);
  EXPECT_EQ(message, c.Message);
  EXPECT_EQ(code, c.ErrorCode);
  EXPECT_EQ(errorBody, c.ErrorBody);
  if (!c.Work.empty() && c.Work.back() == '*')
    EXPECT_EQ(log.Work.substr(0, c.Work.size() - 1), c.Work.substr(0, c.Work.size() - 1)) << log.Work;
  else
    EXPECT_EQ(log.Work, c.Work);
  EXPECT_EQ(connected, c.ConnectedAfter);
  EXPECT_EQ(std::count(log.Status.begin(), log.Status.end(), "Chunk Started"), c.ChunkStarted);
}

INSTANTIATE_TEST_SUITE_P(Replies, Exchange, ::testing::Combine(::testing::ValuesIn(Cases()), ::testing::Values(0u, 1u, 2u)),
                         [](const auto& info) {
                           return std::string(std::get<0>(info.param).Name) + "_" +
                                  (std::get<1>(info.param) ? "Split" + std::to_string(std::get<1>(info.param)) : "Whole");
                         });

}  // namespace
