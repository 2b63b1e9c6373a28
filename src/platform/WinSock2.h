// The Windows Sockets 2 calls the transport uses, bound to the POSIX socket API.
//
// Every call returns the platform's raw result (-1 on failure) and leaves the
// failure's Windows Sockets code (10000 + the BSD errno number; 11001 for a host the
// resolver does not know) in a per-thread last-error value, read with
// WSAGetLastError() on the thread that made the call. Calls interrupted by a signal
// are retried; sends never raise SIGPIPE.
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

// An IPv4 address in network byte order plus a port in host order.
struct SockAddrIn {
  uint32_t Address = 0;  // network order
  uint16_t Port = 0;     // host order
};

int socket(int family, int type, int protocol);
int bind(int s, const SockAddrIn& address);
int connect(int s, const SockAddrIn& address);
int listen(int s, int backlog);
int accept(int s, SockAddrIn* peer);
int closesocket(int s);
int shutdown(int s, int how);
int recv(int s, void* buffer, int length, int flags);
int send(int s, const void* buffer, int length, int flags);
int setsockopt(int s, int level, int name, const void* value, int length);
int getsockopt(int s, int level, int name, void* value, int* length);
int getsockname(int s, SockAddrIn* address);
int getpeername(int s, SockAddrIn* address);
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
