// The client against a real nginx on 127.0.0.1 serving a generated site.
#include <gtest/gtest.h>

#include "HttpTestSupport.h"
#include "support/NginxServer.h"
#include "support/TempDir.h"

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

class AgainstNginx : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!NginxServer::Available()) GTEST_SKIP() << "nginx is not installed";
    site.Write("TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini", "[Models]\r\nCount=1\r\n");
    site.Write("TavroMP3LiveUpdate2/Firmware/M1/p.zip", PatternFile(24 * 1024 * 1024 + 7));
    nginx = std::make_unique<NginxServer>(site.Path());
    ASSERT_TRUE(nginx->Start()) << nginx->LastError();
    ConfigureLikeTheApplication(http);
    http.OnConnected = [this](TObject*) { ++connects; };
  }

  TempDir site;
  std::unique_ptr<NginxServer> nginx;
  TNetHTTP http;
  int connects = 0;
};

TEST_F(AgainstNginx, StaticFilesArriveWholeOverOneKeptConnection) {
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

TEST_F(AgainstNginx, MissingFileRaisesWithTheErrorPageAsBody) {
  TMemoryStream s;
  try {
    http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/Firmware/M1/none.asp"), s);
    FAIL() << "no exception";
  } catch (const ENetHTTPProtocolException& e) {
    EXPECT_EQ(e.ErrorCode(), 404);
    EXPECT_EQ(e.Message(), "HTTP/1.1 404 Not Found");
    EXPECT_NE(e.ErrorBody().find("404 Not Found"), std::string::npos);
  }
  EXPECT_EQ(s.Size(), 0);
  // The error answer was read to its end, so the connection serves the next request.
  TMemoryStream next;
  http.FetchUrl(nginx->Url("/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini"), next);
  EXPECT_EQ(connects, 1);
}

TEST_F(AgainstNginx, LargeFileArrivesWholeWithProgress) {
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

}  // namespace
