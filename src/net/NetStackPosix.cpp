#include "net/NetStackPosix.h"

#include <algorithm>
#include <atomic>
#include <cstring>

#include "net/NetException.h"
#include "net/NetWinSock2.h"
#include "platform/WinSock2.h"

namespace {
std::atomic<bool> gStarted{false};

// When the stack unit ends with the library started, it is cleaned up once.
struct StackUnitEnd {
  ~StackUnitEnd() {
    if (gStarted.exchange(false)) WinSock::WSACleanup();
    UnloadSocketLibrary();
  }
} gStackUnitEnd;

// Each raw call resolves its entry on its first use after the last reset, like the
// original loader; later calls cost one comparison.
#define ENTRY(name)                                             \
  do {                                                          \
    static std::atomic<uint64_t> resolvedIn{0};                 \
    const uint64_t generation = EntriesGeneration();            \
    if (resolvedIn.load(std::memory_order_relaxed) != generation) { \
      ResolveEntry(name);                                       \
      resolvedIn = generation;                                  \
    }                                                           \
  } while (0)
}  // namespace

bool StackStarted() { return gStarted.load(); }

TNetStackPosix::TNetStackPosix() {
  if (!gStarted.load()) {
    if (LoadSocketLibrary(0x0202) != 0) throw ENetStackInitializationFailed();
    gStarted = true;
  }
}

AnsiString TNetStackPosix::SocketErrorText(int32_t code) {
  if (code == WinSock::WSAHOST_NOT_FOUND) return Format(NetText::SocketError, static_cast<int>(code), "Host not found.");
  // The resolver's own failures, which the table of socket errors does not name.
  if (code == WinSock::WSATRY_AGAIN)
    return Format(NetText::SocketError, static_cast<int>(code), "No name server answered; try again later.");
  if (code == WinSock::WSANO_RECOVERY)
    return Format(NetText::SocketError, static_cast<int>(code), "The name server failed.");
  return TNetStack::SocketErrorText(code);
}

namespace {
// The platform's address for a numeric text of either family (an IPv6 text is one with
// a ":"); an empty text is the family's any-address. A text that is neither raises.
WinSock::SockAddr MakeAddress(TNetStack& stack, int family, int32_t port, const AnsiString& address) {
  WinSock::SockAddr sa;
  sa.Family = family == kAFInet6 ? WinSock::kFamilyIPv6 : WinSock::kFamilyIPv4;
  if (address.find(':') != AnsiString::npos) {
    if (WinSock::inet_pton(WinSock::kFamilyIPv6, address, &sa) != 1)
      throw EConvertError(Format("'%s' is not a valid IPv6 address", address.c_str()));
  } else if (!address.empty()) {
    sa.Family = WinSock::kFamilyIPv4;
    const TNetIPv4Bytes bytes = stack.ParseIPv4(address);
    std::memcpy(sa.Address, bytes.Bytes, 4);
  }
  sa.Port = static_cast<uint16_t>(port);
  return sa;
}

TNetIPAddress AddressOf(const WinSock::SockAddr& sa) {
  if (sa.Family == WinSock::kFamilyIPv6) return TNetIPAddress{kAFInet6, WinSock::inet_ntop(sa)};
  return TNetIPAddress{kAFInet, WinSock::inet_ntop(sa)};
}

void ReadAddress(const WinSock::SockAddr& sa, int* family, AnsiString* address, int32_t* port) {
  const TNetIPAddress ip = AddressOf(sa);
  if (family) *family = ip.Family;
  if (address) *address = ip.Text;
  if (port) *port = sa.Port;
}
}  // namespace

TNetSocket TNetStackPosix::accept(TNetSocket s, AnsiString* address, int32_t* port) {
  ENTRY("accept");
  WinSock::SockAddr peer;
  const int result = WinSock::accept(s, &peer);
  if (result != -1) ReadAddress(peer, nullptr, address, port);
  return result;
}

int TNetStackPosix::bind(TNetSocket s, int family, int32_t port, const AnsiString& address) {
  ENTRY("bind");
  return WinSock::bind(s, MakeAddress(*this, family, port, address));
}

int TNetStackPosix::closesocket(TNetSocket s) {
  ENTRY("closesocket");
  return WinSock::closesocket(s);
}

int TNetStackPosix::connect(TNetSocket s, int family, int32_t port, const AnsiString& address) {
  ENTRY("connect");
  return WinSock::connect(s, MakeAddress(*this, family, port, address));
}

AnsiString TNetStackPosix::gethostbyname(const AnsiString& host) {
  ENTRY("gethostbyname");
  uint32_t address = 0;
  CheckResult(WinSock::gethostbyname(host, &address));
  TNetIPv4Bytes bytes;
  std::memcpy(bytes.Bytes, &address, 4);
  return FormatIPv4(bytes);
}

std::vector<TNetIPAddress> TNetStackPosix::getaddrinfo(const AnsiString& host) {
  ENTRY("getaddrinfo");
  std::vector<WinSock::SockAddr> found;
  CheckResult(WinSock::getaddrinfo(host, &found));
  std::vector<TNetIPAddress> addresses;
  for (const auto& sa : found) {
    const TNetIPAddress ip = AddressOf(sa);
    if (std::find(addresses.begin(), addresses.end(), ip) == addresses.end()) addresses.push_back(ip);
  }
  return addresses;
}

int TNetStackPosix::ioctlsocket(TNetSocket s, long command, unsigned long* argument) {
  ENTRY("ioctlsocket");
  return WinSock::ioctlsocket(s, command, argument);
}

AnsiString TNetStackPosix::gethostname() {
  ENTRY("gethostname");
  AnsiString name;
  CheckResult(WinSock::gethostname(&name, 250));
  return name;
}

AnsiString TNetStackPosix::gethostbyaddr(const AnsiString& address) {
  ENTRY("gethostbyaddr");
  const WinSock::SockAddr sa = MakeAddress(*this, kAFInet, 0, address);
  uint32_t v4 = 0;
  std::memcpy(&v4, sa.Address, 4);
  AnsiString name;
  CheckResult(WinSock::gethostbyaddr(v4, &name));
  return name;
}

int32_t TNetStackPosix::getservbyname(const AnsiString& name) {
  ENTRY("getservbyname");
  const int port = WinSock::getservbyname(name, "tcp");
  if (port != -1) return port;
  int32_t number = 0;
  if (!TryStrToInt(name, number)) throw ENetInvalidServiceName(Format(NetText::InvalidServiceName, name.c_str()));
  return number;
}

std::vector<AnsiString> TNetStackPosix::getservbyport(int32_t port) {
  ENTRY("getservbyport");
  return WinSock::getservbyport(port, "tcp");
}

uint16_t TNetStackPosix::htons(uint16_t v) { return WinSock::HostToNet16(v); }
uint16_t TNetStackPosix::ntohs(uint16_t v) { return WinSock::HostToNet16(v); }
uint32_t TNetStackPosix::htonl(uint32_t v) { return WinSock::HostToNet32(v); }
uint32_t TNetStackPosix::ntohl(uint32_t v) { return WinSock::HostToNet32(v); }

int TNetStackPosix::listen(TNetSocket s, int backlog) {
  ENTRY("listen");
  return WinSock::listen(s, backlog);
}

int TNetStackPosix::recv(TNetSocket s, void* buffer, int length, int flags) {
  ENTRY("recv");
  return WinSock::recv(s, buffer, length, flags);
}

int TNetStackPosix::recvnow(TNetSocket s, void* buffer, int length) {
  ENTRY("recv");
  return WinSock::recvnow(s, buffer, length);
}

int TNetStackPosix::select(TNetSocketList* readList, TNetSocketList* writeList, int timeoutMs,
                           TNetSocketList* errorList) {
  ENTRY("select");
  for (auto* list : {readList, writeList, errorList}) {
    if (list && list->size() > 64) throw ENetStackSetSizeExceeded();
  }
  return WinSock::select(readList, writeList, timeoutMs, errorList);
}

int TNetStackPosix::send(TNetSocket s, const void* buffer, int length, int flags) {
  ENTRY("send");
  return WinSock::send(s, buffer, length, flags);
}

int TNetStackPosix::setsockopt(TNetSocket s, int level, int name, const void* value, int length) {
  ENTRY("setsockopt");
  return WinSock::setsockopt(s, level, name, value, length);
}

TNetSocket TNetStackPosix::socket(int family, int type, int protocol) {
  ENTRY("socket");
  return WinSock::socket(family, type, protocol);
}

int TNetStackPosix::shutdown(TNetSocket s, int how) {
  ENTRY("shutdown");
  return WinSock::shutdown(s, how);
}

int32_t TNetStackPosix::WSAGetLastError() {
  ENTRY("WSAGetLastError");
  return WinSock::WSAGetLastError();
}

void TNetStackPosix::getpeername(TNetSocket s, int* family, AnsiString* address, int32_t* port) {
  ENTRY("getpeername");
  WinSock::SockAddr sa;
  CheckResult(WinSock::getpeername(s, &sa));
  ReadAddress(sa, family, address, port);
}

void TNetStackPosix::getsockname(TNetSocket s, int* family, AnsiString* address, int32_t* port) {
  ENTRY("getsockname");
  WinSock::SockAddr sa;
  CheckResult(WinSock::getsockname(s, &sa));
  ReadAddress(sa, family, address, port);
}

int TNetStackPosix::getsockopt(TNetSocket s, int level, int name, void* value, int* length) {
  ENTRY("getsockopt");
  return WinSock::getsockopt(s, level, name, value, length);
}

AnsiString TNetStackPosix::FormatIPv4(const TNetIPv4Bytes& address) {
  return Format("%u.%u.%u.%u", address.Bytes[0], address.Bytes[1], address.Bytes[2], address.Bytes[3]);
}

TNetIPv4Bytes TNetStackPosix::ParseIPv4(const AnsiString& text) {
  TNetIPv4Bytes result;
  AnsiString rest = text;
  for (int i = 0; i < 4; ++i) {
    const size_t dot = rest.find('.');
    const AnsiString field = rest.substr(0, dot);
    rest = dot == AnsiString::npos ? AnsiString() : rest.substr(dot + 1);
    result.Bytes[i] = static_cast<uint8_t>(StrToInt(field));
  }
  return result;
}
