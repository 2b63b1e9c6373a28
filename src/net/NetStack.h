// TNetStack: the one process-wide object through which every socket call goes.
//
// It resolves host names to every address they have, IPv6 and IPv4 (TNetIPAddress:
// the family and the numeric text, "::1" without brackets), turns failed calls into
// exceptions whose text names the error, and offers the readiness test the socket handle's wait
// is built on. Raw operations return the platform's result (-1 on failure) and never
// raise; CheckResult decides.
//
// GlobalStack lives while any network component lives (StackUsers under StackLock).
// LastErrorCode is per thread: a call on another thread never changes the GUI thread's.
#pragma once

#include <cstdint>
#include <mutex>
#include <vector>

#include "runtime/SysUtils.h"

// The C library defines the byte-order calls as macros, which would rename the
// stack's operations of the same names; its plain functions remain.
#include <netinet/in.h>
#undef htons
#undef ntohs
#undef htonl
#undef ntohl

using TNetSocket = int;
using TNetSocketList = std::vector<TNetSocket>;

struct TNetIPv4Bytes {
  uint8_t Bytes[4] = {0, 0, 0, 0};
};

constexpr int kAFInet = 2;
constexpr int kAFInet6 = 23;  // as Windows Sockets numbers it
constexpr int kSockStream = 1;

// One address of a host: its family and its numeric text ("127.0.0.1", "::1").
struct TNetIPAddress {
  int Family = kAFInet;
  AnsiString Text;
  bool operator==(const TNetIPAddress&) const = default;
};

class TNetStack {
 public:
  TNetStack();
  virtual ~TNetStack();
  TNetStack(const TNetStack&) = delete;
  TNetStack& operator=(const TNetStack&) = delete;

  // The code saved by the last CheckResult that saw a failure on this thread.
  static int32_t LastErrorCode();
  static void SetLastErrorCode(int32_t code);

  // Every address of host in the resolver's order: a numeric address (IPv4, or IPv6
  // with or without brackets) is itself; a name is looked up (raises ENetSocketError,
  // 11001 "Host not found." for an unknown one). "localhost" is looked up too, so that
  // it reaches ::1 where the system names it so; 127.0.0.1 if the resolver knows none.
  std::vector<TNetIPAddress> HostToAddresses(const AnsiString& host);
  // The first of HostToAddresses, as text.
  AnsiString HostToAddress(const AnsiString& host);
  // An IPv6 address in its numeric form (no brackets; a zone after "%" allowed).
  static bool IsIPv6Address(const AnsiString& text);
  // A dotted quad or an IPv6 address: a host that needs no lookup.
  static bool IsIPAddress(const AnsiString& text);
  // "[::1]" -> "::1"; any other text unchanged.
  static AnsiString StripBrackets(const AnsiString& host);
  // How a host stands before a port or in a URL: an IPv6 address in brackets.
  static AnsiString BracketHost(const AnsiString& host);
  // "host:port", "[::1]:port".
  static AnsiString FormatHostPort(const AnsiString& host, int32_t port);
  // Four dot-separated fields of 1 to 3 digits, each 0..255, making up the whole text
  // (or, with prefixOnly, its start: further text ignored). The one address test of
  // the transport and the HTTP client.
  static bool IsDottedQuad(const AnsiString& text, bool prefixOnly = false);
  TNetSocket AllocateSocketOrFail(int type, int protocol, int family = kAFInet);
  // False unless result is -1; then true when the code is tolerated, else raises.
  bool CheckResult(int result, const std::vector<int32_t>& tolerated = {});
  [[noreturn]] void ThrowSocketError(int32_t code);

  // "Socket Error # <code>\r\n<description>".
  virtual AnsiString SocketErrorText(int32_t code);
  // The description of a code from the table ("" for others).
  static AnsiString SocketErrorDescription(int32_t code);

  // Raw platform calls.
  virtual TNetSocket accept(TNetSocket s, AnsiString* address, int32_t* port) = 0;
  virtual int bind(TNetSocket s, int family, int32_t port, const AnsiString& address) = 0;
  virtual int closesocket(TNetSocket s) = 0;
  virtual int connect(TNetSocket s, int family, int32_t port, const AnsiString& address) = 0;
  // First address of the answer as a dotted quad; raises through CheckResult.
  virtual AnsiString gethostbyname(const AnsiString& host) = 0;
  // Every address of the answer, both families, in the resolver's order; raises
  // through CheckResult.
  virtual std::vector<TNetIPAddress> getaddrinfo(const AnsiString& host) = 0;
  // Only FIONBIO (WinSock::kFIONBIO): switches the socket's blocking mode.
  virtual int ioctlsocket(TNetSocket s, long command, unsigned long* argument) = 0;
  virtual AnsiString gethostname() = 0;
  virtual AnsiString gethostbyaddr(const AnsiString& address) = 0;
  virtual int32_t getservbyname(const AnsiString& name) = 0;
  virtual std::vector<AnsiString> getservbyport(int32_t port) = 0;
  virtual uint16_t htons(uint16_t v) = 0;
  virtual int listen(TNetSocket s, int backlog) = 0;
  virtual uint16_t ntohs(uint16_t v) = 0;
  virtual uint32_t htonl(uint32_t v) = 0;
  virtual uint32_t ntohl(uint32_t v) = 0;
  virtual int recv(TNetSocket s, void* buffer, int length, int flags) = 0;
  // Like recv but never waits: -1 with 10035 when nothing is waiting.
  virtual int recvnow(TNetSocket s, void* buffer, int length) = 0;
  virtual int select(TNetSocketList* readList, TNetSocketList* writeList, int timeoutMs,
                     TNetSocketList* errorList) = 0;
  virtual int send(TNetSocket s, const void* buffer, int length, int flags) = 0;
  virtual int setsockopt(TNetSocket s, int level, int name, const void* value, int length) = 0;
  virtual TNetSocket socket(int family, int type, int protocol) = 0;
  virtual int shutdown(TNetSocket s, int how) = 0;
  virtual int32_t WSAGetLastError() = 0;
  // These two raise through CheckResult when the call fails; family is kAFInet or
  // kAFInet6, the address its numeric text.
  virtual void getpeername(TNetSocket s, int* family, AnsiString* address, int32_t* port) = 0;
  virtual void getsockname(TNetSocket s, int* family, AnsiString* address, int32_t* port) = 0;
  virtual int getsockopt(TNetSocket s, int level, int name, void* value, int* length) = 0;
  virtual AnsiString FormatIPv4(const TNetIPv4Bytes& address) = 0;
  virtual TNetIPv4Bytes ParseIPv4(const AnsiString& text) = 0;
};

// The socket stack's class: creates the platform's stack.
using TNetStackClass = TNetStack* (*)();

// Process-wide stack state.
extern TNetStack* GlobalStack;
extern TNetStackClass StackClass;
extern int32_t StackUsers;
std::mutex& StackLock();
// Under StackLock: count one more user, creating GlobalStack for the first.
void AddStackUser();
// Under StackLock: count one user less, releasing GlobalStack with the last.
void RemoveStackUser();
TNetStack* CreateDefaultStack();
