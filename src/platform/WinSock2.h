// The Windows Sockets 2 calls the transport uses, bound to the POSIX socket API.
//
// Every call returns the platform's raw result (-1 on failure) and leaves the
// failure's Windows Sockets code (10000 + the BSD errno number; 11001 for a host the
// resolver does not know) in a per-thread last-error value, read with
// WSAGetLastError() on the thread that made the call. Calls interrupted by a signal
// are retried; sends never raise SIGPIPE.
//
// Addresses of both families are carried as SockAddr: the family is the Windows
// Sockets value (2 for IPv4, 23 for IPv6), mapped to the platform's own at each call.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace WinSock {

constexpr int WSAEINTR = 10004;
constexpr int WSAEBADF = 10009;
constexpr int WSAEACCES = 10013;
constexpr int WSAEINVAL = 10022;
constexpr int WSAEWOULDBLOCK = 10035;
constexpr int WSAENOTSOCK = 10038;
constexpr int WSAEADDRINUSE = 10048;
constexpr int WSAECONNABORTED = 10053;
constexpr int WSAECONNRESET = 10054;
constexpr int WSAENOTCONN = 10057;
constexpr int WSAESHUTDOWN = 10058;
constexpr int WSAETIMEDOUT = 10060;
constexpr int WSAECONNREFUSED = 10061;
constexpr int WSANOTINITIALISED = 10093;
constexpr int WSAHOST_NOT_FOUND = 11001;
constexpr int WSATRY_AGAIN = 11002;
constexpr int WSANO_RECOVERY = 11003;
constexpr int WSANO_DATA = 11004;

// Address families as Windows Sockets numbers them.
constexpr int kFamilyIPv4 = 2;
constexpr int kFamilyIPv6 = 23;

// ioctlsocket's command that switches a socket between blocking (0) and not (1).
constexpr long kFIONBIO = static_cast<long>(0x8004667EL);
// getsockopt's level and option for a socket's pending error (a non-blocking
// connect's outcome): the value read is a Windows Sockets code, 0 for none.
constexpr int kSolSocket = 0xFFFF;
constexpr int kSoError = 0x1007;

constexpr int INVALID_SOCKET = -1;
constexpr int SOCKET_ERROR = -1;

// The Windows Sockets code for a POSIX errno value.
int ErrnoToWSA(int err);

int WSAGetLastError();
void WSASetLastError(int code);

// Start-up and clean-up of the library: nothing to load on POSIX; the version
// asked for must be 2.x or 1.1 like on the original platform.
int WSAStartup(uint16_t version);
int WSACleanup();

// A socket address of either family: an IPv4 address is the first 4 bytes of Address,
// an IPv6 address all 16 (network order); ScopeId is an IPv6 link-local address's zone.
struct SockAddr {
  int Family = kFamilyIPv4;
  uint8_t Address[16] = {};
  uint16_t Port = 0;  // host order
  uint32_t ScopeId = 0;
};

int socket(int family, int type, int protocol);
int bind(int s, const SockAddr& address);
// On a non-blocking socket a connect that has not completed yet returns -1 with
// WSAEWOULDBLOCK, as Windows Sockets reports it; select's write list then tells when
// it has ended, and getsockopt(kSolSocket, kSoError) how.
int connect(int s, const SockAddr& address);
int listen(int s, int backlog);
int accept(int s, SockAddr* peer);
// Only kFIONBIO: *argument non-zero makes the socket non-blocking.
int ioctlsocket(int s, long command, unsigned long* argument);
int closesocket(int s);
int shutdown(int s, int how);
int recv(int s, void* buffer, int length, int flags);
int send(int s, const void* buffer, int length, int flags);
int setsockopt(int s, int level, int name, const void* value, int length);
int getsockopt(int s, int level, int name, void* value, int* length);
int getsockname(int s, SockAddr* address);
int getpeername(int s, SockAddr* address);
// Non-blocking receive: returns -1 with WSAEWOULDBLOCK when nothing is waiting.
int recvnow(int s, void* buffer, int length);

// Readiness of up to 64 sockets per list; each present list is rewritten to the
// ready sockets. timeoutMs < 0 waits without limit. Returns the number of ready
// sockets, 0 on time-out, -1 on failure.
int select(std::vector<int>* readList, std::vector<int>* writeList, int timeoutMs,
           std::vector<int>* errorList);

// Resolves a host name to its first IPv4 address (network order); -1 with
// WSAHOST_NOT_FOUND (or another resolver code) when it fails.
int gethostbyname(const std::string& host, uint32_t* address);
// Every address of a host, IPv6 and IPv4, in the order the system's resolver gives
// them (sorted by its address selection rules); the same error codes as gethostbyname.
int getaddrinfo(const std::string& host, std::vector<SockAddr>* addresses);
// A numeric address of the family to its bytes: 1 on success, 0 when the text is not
// one (InetPton). An IPv6 text may carry a zone after "%".
int inet_pton(int family, const std::string& text, SockAddr* address);
// The address's numeric text without a port ("127.0.0.1", "::1") (InetNtop).
std::string inet_ntop(const SockAddr& address);
// Reverse lookup of an IPv4 address (network order) to a name.
int gethostbyaddr(uint32_t address, std::string* name);
int gethostname(std::string* name, int maxLength);
// A service's port in host order, or -1 when no service has that name.
int getservbyname(const std::string& name, const std::string& protocol);
// The service's name and aliases, empty when the port is unknown.
std::vector<std::string> getservbyport(int port, const std::string& protocol);

// Byte order (the C library's names are macros, hence these names).
uint16_t HostToNet16(uint16_t v);
uint32_t HostToNet32(uint32_t v);

}  // namespace WinSock
