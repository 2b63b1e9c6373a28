// The socket stack: error texts, address forms, resolution, library start-up.
#include <gtest/gtest.h>

#include <cerrno>
#include <thread>

#include "net/NetComponent.h"
#include "net/NetException.h"
#include "net/NetStack.h"
#include "net/NetStackPosix.h"
#include "net/NetTCPClient.h"
#include "net/NetWinSock2.h"
#include "platform/WinSock2.h"
#include "runtime/MemoryStream.h"
#include "support/ExpectRaises.h"
#include "support/ScriptedServer.h"

namespace {

// Keeps GlobalStack alive for a test, as any network component does.
class StackTest : public ::testing::Test {
 protected:
  TNetComponent user_;
  TNetStack& Stack() { return *GlobalStack; }
};

struct ErrorTextCase {
  int32_t code;
  const char* message;
};

class SocketErrorText : public StackTest, public ::testing::WithParamInterface<ErrorTextCase> {};

TEST_P(SocketErrorText, NamesTheCodeOnTwoLines) {
  EXPECT_EQ(Stack().SocketErrorText(GetParam().code), GetParam().message);
}

INSTANTIATE_TEST_SUITE_P(
    Table, SocketErrorText,
    ::testing::Values(ErrorTextCase{10061, "Socket Error # 10061\r\nConnection refused."},
                      ErrorTextCase{10004, "Socket Error # 10004\r\nInterrupted system call."},
                      ErrorTextCase{10035, "Socket Error # 10035\r\nOperation would block. "},
                      ErrorTextCase{10066, "Socket Error # 10066\r\nDirectory not empty"},
                      ErrorTextCase{10054, "Socket Error # 10054\r\nConnection reset by peer."},
                      ErrorTextCase{10058, "Socket Error # 10058\r\nCannot send or receive after socket is closed."},
                      ErrorTextCase{11001, "Socket Error # 11001\r\nHost not found."},
                      ErrorTextCase{10093, "Socket Error # 10093\r\n"},
                      ErrorTextCase{0, "Socket Error # 0\r\n"}));

struct ErrnoCase {
  int err;
  int code;
};

class ErrnoMapping : public ::testing::TestWithParam<ErrnoCase> {};

TEST_P(ErrnoMapping, GivesTheWindowsSocketsCode) { EXPECT_EQ(WinSock::ErrnoToWSA(GetParam().err), GetParam().code); }

INSTANTIATE_TEST_SUITE_P(Table, ErrnoMapping,
                         ::testing::Values(ErrnoCase{ECONNREFUSED, 10061}, ErrnoCase{ETIMEDOUT, 10060},
                                           ErrnoCase{ECONNRESET, 10054}, ErrnoCase{ECONNABORTED, 10053},
                                           ErrnoCase{EPIPE, 10058}, ErrnoCase{EBADF, 10009},
                                           ErrnoCase{ENOTSOCK, 10038}, ErrnoCase{EADDRINUSE, 10048},
                                           ErrnoCase{EINTR, 10004}, ErrnoCase{EAGAIN, 10035},
                                           ErrnoCase{EINPROGRESS, 10036}, ErrnoCase{EHOSTUNREACH, 10065},
                                           ErrnoCase{ENETUNREACH, 10051}, ErrnoCase{EINVAL, 10022}));

class DottedQuad : public ::testing::TestWithParam<std::pair<const char*, bool>> {};

TEST_P(DottedQuad, AcceptsFourFieldsOf0To255Only) {
  EXPECT_EQ(TNetStack::IsDottedQuad(GetParam().first), GetParam().second) << GetParam().first;
}

INSTANTIATE_TEST_SUITE_P(Forms, DottedQuad,
                         ::testing::Values(std::make_pair("127.0.0.1", true), std::make_pair("0.0.0.0", true),
                                           std::make_pair("255.255.255.255", true),
                                           std::make_pair("10.0.0.256", false), std::make_pair("1.2.3", false),
                                           std::make_pair("1.2.3.4.5", false), std::make_pair("1..3.4", false),
                                           std::make_pair("a.b.c.d", false), std::make_pair("", false),
                                           std::make_pair("1.2.3.-1", false)));

TEST_F(StackTest, LocalhostInAnyCaseResolvesToLoopbackAndLiteralsToThemselves) {
  for (const char* name : {"LocalHost", "LOCALHOST"}) {
    for (const TNetIPAddress& a : Stack().HostToAddresses(name))
      EXPECT_TRUE(a.Text == "::1" || a.Text.rfind("127.", 0) == 0) << a.Text;
  }
  EXPECT_EQ(Stack().HostToAddress("10.1.2.3"), "10.1.2.3");
  const std::vector<TNetIPAddress> v6{{kAFInet6, "2001:db8::1"}};
  EXPECT_EQ(Stack().HostToAddresses("2001:db8::1"), v6);
  EXPECT_EQ(Stack().HostToAddresses("[2001:db8::1]"), v6);
}

TEST_F(StackTest, UnknownHostFailsWithHostNotFound) {
  ExpectRaises<ENetSocketError>([&] { Stack().HostToAddress("no-such-host.invalid"); },
                                "Socket Error # 11001\r\nHost not found.",
                                [](const ENetSocketError& e) { EXPECT_EQ(e.SocketErrorCode(), 11001); });
}

TEST_F(StackTest, ParsesAndFormatsIPv4) {
  const TNetIPv4Bytes bytes = Stack().ParseIPv4("192.168.10.254");
  EXPECT_EQ(bytes.Bytes[0], 192);
  EXPECT_EQ(bytes.Bytes[3], 254);
  EXPECT_EQ(Stack().FormatIPv4(bytes), "192.168.10.254");
  EXPECT_THROW(Stack().ParseIPv4("1.x.3.4"), EConvertError);
}

TEST_F(StackTest, CheckResultToleratesListedCodesAndRaisesOthers) {
  WinSock::WSASetLastError(10048);
  EXPECT_TRUE(Stack().CheckResult(-1, {10048}));
  EXPECT_EQ(TNetStack::LastErrorCode(), 10048);
  EXPECT_FALSE(Stack().CheckResult(0, {}));
  WinSock::WSASetLastError(10061);
  ExpectRaises<ENetSocketError>([&] { Stack().CheckResult(-1); }, "Socket Error # 10061\r\nConnection refused.",
                                [](const ENetSocketError& e) { EXPECT_EQ(e.SocketErrorCode(), 10061); });
}

TEST_F(StackTest, ReadinessListOfMoreThan64SocketsIsRefused) {
  TNetSocketList many(65, 0);
  ExpectRaises<ENetStackSetSizeExceeded>([&] { Stack().select(&many, nullptr, 0, nullptr); }, "Set Size Exceeded.");
}

TEST_F(StackTest, LibraryStartsOncePerProcess) {
  const int startups = SocketLibraryStartups();
  EXPECT_EQ(LoadSocketLibrary(0x0202), 0);
  EXPECT_EQ(SocketLibraryStartups(), startups);
  EXPECT_TRUE(EntryResolved("WSAStartup"));
}

TEST_F(StackTest, EntryUsedWhileTheLibraryIsUnloadedRaisesTheStubError) {
  UnloadSocketLibrary();
  char byte = 0;
  ExpectRaisesContaining<ENetWS2StubError>([&] { Stack().recv(0, &byte, 1, 0); },
                                          "Error on call Winsock2 library function recv: ", [](const ENetWS2StubError& e) {
                                            EXPECT_EQ(e.Title(), "Error on call Winsock2 library function recv");
                                            EXPECT_EQ(e.Win32Error(), 10093);
                                          });
  EXPECT_EQ(LoadSocketLibrary(0x0202), 0);
  EXPECT_FALSE(EntryResolved("recv"));
}

TEST(StackLifetime, FollowsTheNumberOfNetworkComponents) {
  ASSERT_EQ(GlobalStack, nullptr);
  {
    TNetComponent a;
    TNetStack* first = GlobalStack;
    ASSERT_NE(first, nullptr);
    {
      TNetComponent b;
      EXPECT_EQ(GlobalStack, first);
      EXPECT_EQ(StackUsers, 2);
    }
    EXPECT_EQ(GlobalStack, first);
  }
  EXPECT_EQ(GlobalStack, nullptr);
  EXPECT_EQ(StackUsers, 0);
}

TEST(StubError, AppendsTheSystemTextToTheTitle) {
  ENetWS2StubError withCode("Error on call Winsock2 library function recv", 10093);
  EXPECT_EQ(withCode.Message().rfind("Error on call Winsock2 library function recv: ", 0), 0u);
  EXPECT_EQ(withCode.Win32Error(), 10093);
  ENetWS2StubError noCode("Title", 0);
  EXPECT_EQ(noCode.Message(), "Title");
}

}  // namespace

namespace {
TEST(LastErrorCode, IsKeptPerThread) {
  TNetStack::SetLastErrorCode(10061);
  int32_t seenByWorker = -1;
  std::thread([&] {
    seenByWorker = TNetStack::LastErrorCode();
    TNetStack::SetLastErrorCode(10009);
  }).join();
  EXPECT_EQ(seenByWorker, 0);
  EXPECT_EQ(TNetStack::LastErrorCode(), 10061);
}
}  // namespace

namespace {

// A stack installed through the stack-class seam that fails the n-th of the calls that
// can fail during an exchange (connect, send, receive) with a connection reset.
class TFailingStack : public TNetStackPosix {
 public:
  static inline int FailAt = -1;
  static inline int Calls = 0;
  int connect(TNetSocket s, int family, int32_t port, const AnsiString& address) override {
    return Fails() ? -1 : TNetStackPosix::connect(s, family, port, address);
  }
  int send(TNetSocket s, const void* buffer, int length, int flags) override {
    return Fails() ? -1 : TNetStackPosix::send(s, buffer, length, flags);
  }
  int recv(TNetSocket s, void* buffer, int length, int flags) override {
    return Fails() ? -1 : TNetStackPosix::recv(s, buffer, length, flags);
  }
  int recvnow(TNetSocket s, void* buffer, int length) override {
    return Fails() ? -1 : TNetStackPosix::recvnow(s, buffer, length);
  }

 private:
  static bool Fails() {
    if (Calls++ != FailAt) return false;
    WinSock::WSASetLastError(WinSock::WSAECONNRESET);
    return true;
  }
};

TEST(FailingStack, EveryFailedCallLeavesTheConnectionClosedAndTheWorkBracketsBalanced) {
  ASSERT_EQ(GlobalStack, nullptr) << "another component keeps the stack";
  const TNetStackClass original = StackClass;
  StackClass = [] { return static_cast<TNetStack*>(new TFailingStack()); };
  bool succeeded = false;
  for (int n = 0; n < 40 && !succeeded; ++n) {
    ScriptedServer server;
    server.AddConnection(ConnectionScript().ExpectRequest().Send("ok\r\nhello").WaitClientClose());
    server.Start();
    TNetTCPClient client;
    client.SetHost("127.0.0.1");
    client.SetPort(server.Port());
    TFailingStack::Calls = 0;
    TFailingStack::FailAt = n;
    TMemoryStream body;
    try {
      client.OpenConnection();
      client.StartWriteBuffering();
      client.WriteLine("GET / HTTP/1.1");
      client.WriteLine();
      client.FinishWriteBuffering();
      EXPECT_EQ(client.ReadLine(), "ok");
      client.ReadToStream(body, 5);
      succeeded = true;
    } catch (const ENetSocketError& e) {
      EXPECT_EQ(e.SocketErrorCode(), WinSock::WSAECONNRESET) << n;
      EXPECT_FALSE(client.IsConnected()) << "call " << n;
    }
    EXPECT_EQ(client.WorkDepth(wmRead), 0) << n;
    EXPECT_EQ(client.WorkDepth(wmWrite), 0) << n;
    TFailingStack::FailAt = -1;
    client.CloseConnection();
    server.Stop();
  }
  StackClass = original;
  EXPECT_TRUE(succeeded);
}

}  // namespace
