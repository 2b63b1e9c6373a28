#include "platform/WinSock2.h"

#include <arpa/inet.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>

namespace WinSock {
namespace {

thread_local int tLastError = 0;

// The result of a call: -1 with the errno mapped into the per-thread last error.
int Fail() {
  tLastError = ErrnoToWSA(errno);
  return SOCKET_ERROR;
}

sockaddr_in ToSockaddr(const SockAddrIn& address) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_port = htons(address.Port);
  sa.sin_addr.s_addr = address.Address;
  return sa;
}

void FromSockaddr(const sockaddr_in& sa, SockAddrIn* address) {
  if (!address) return;
  address->Address = sa.sin_addr.s_addr;
  address->Port = ntohs(sa.sin_port);
}

template <typename Call>
int Retry(Call call) {
  for (;;) {
    const int result = call();
    if (result != -1) return result;
    if (errno != EINTR) return Fail();
  }
}

using Clock = std::chrono::steady_clock;
}  // namespace

int ErrnoToWSA(int err) {
  switch (err) {
    case 0: return 0;
    case EAGAIN: return WSAEWOULDBLOCK;
    case EINPROGRESS: return 10036;
    case EALREADY: return 10037;
    case ENOTSOCK: return WSAENOTSOCK;
    case EDESTADDRREQ: return 10039;
    case EMSGSIZE: return 10040;
    case EPROTOTYPE: return 10041;
    case ENOPROTOOPT: return 10042;
    case EPROTONOSUPPORT: return 10043;
    case ESOCKTNOSUPPORT: return 10044;
    case EOPNOTSUPP: return 10045;
    case EPFNOSUPPORT: return 10046;
    case EAFNOSUPPORT: return 10047;
    case EADDRINUSE: return WSAEADDRINUSE;
    case EADDRNOTAVAIL: return 10049;
    case ENETDOWN: return 10050;
    case ENETUNREACH: return 10051;
    case ENETRESET: return 10052;
    case ECONNABORTED: return WSAECONNABORTED;
    case ECONNRESET: return WSAECONNRESET;
    case ENOBUFS: return 10055;
    case EISCONN: return 10056;
    case ENOTCONN: return WSAENOTCONN;
    case ESHUTDOWN: return WSAESHUTDOWN;
    case EPIPE: return WSAESHUTDOWN;
    case ETOOMANYREFS: return 10059;
    case ETIMEDOUT: return WSAETIMEDOUT;
    case ECONNREFUSED: return WSAECONNREFUSED;
    case ELOOP: return 10062;
    case ENAMETOOLONG: return 10063;
    case EHOSTDOWN: return 10064;
    case EHOSTUNREACH: return 10065;
    case ENOTEMPTY: return 10066;
    // The classic C errors keep their numbers: 10000 + errno.
    case EINTR: case EBADF: case EACCES: case EFAULT: case EINVAL: case EMFILE:
      return 10000 + err;
    default: return 10000 + err;
  }
}

int WSAGetLastError() { return tLastError; }
void WSASetLastError(int code) { tLastError = code; }

int WSAStartup(uint16_t version) {
  const int major = version & 0xFF, minor = version >> 8;
  if (major < 1 || (major == 1 && minor < 1)) return 10092;  // WSAVERNOTSUPPORTED
  return 0;
}

int WSACleanup() { return 0; }

int socket(int family, int type, int protocol) {
  const int s = ::socket(family, type | SOCK_CLOEXEC, protocol);
  return s < 0 ? Fail() : s;
}

int bind(int s, const SockAddrIn& address) {
  const sockaddr_in sa = ToSockaddr(address);
  return ::bind(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0 ? 0 : Fail();
}

int connect(int s, const SockAddrIn& address) {
  const sockaddr_in sa = ToSockaddr(address);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), sizeof sa) == 0) return 0;
  if (errno != EINTR) return Fail();
  // An interrupted connect goes on in the background: wait for its outcome.
  pollfd pfd{s, POLLOUT, 0};
  while (::poll(&pfd, 1, -1) < 0) {
    if (errno != EINTR) return Fail();
  }
  int err = 0;
  socklen_t len = sizeof err;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &len) != 0) return Fail();
  if (err == 0) return 0;
  errno = err;
  return Fail();
}

int listen(int s, int backlog) { return ::listen(s, backlog) == 0 ? 0 : Fail(); }

int accept(int s, SockAddrIn* peer) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  const int result = Retry([&] { return ::accept4(s, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC); });
  if (result >= 0) FromSockaddr(sa, peer);
  return result;
}

int closesocket(int s) { return ::close(s) == 0 ? 0 : Fail(); }

int shutdown(int s, int how) { return ::shutdown(s, how) == 0 ? 0 : Fail(); }

int recv(int s, void* buffer, int length, int flags) {
  return Retry([&] { return static_cast<int>(::recv(s, buffer, static_cast<size_t>(length), flags)); });
}

int recvnow(int s, void* buffer, int length) {
  return Retry([&] { return static_cast<int>(::recv(s, buffer, static_cast<size_t>(length), MSG_DONTWAIT)); });
}

int send(int s, const void* buffer, int length, int flags) {
  return Retry(
      [&] { return static_cast<int>(::send(s, buffer, static_cast<size_t>(length), flags | MSG_NOSIGNAL)); });
}

int setsockopt(int s, int level, int name, const void* value, int length) {
  return ::setsockopt(s, level, name, value, static_cast<socklen_t>(length)) == 0 ? 0 : Fail();
}

int getsockopt(int s, int level, int name, void* value, int* length) {
  socklen_t len = static_cast<socklen_t>(*length);
  if (::getsockopt(s, level, name, value, &len) != 0) return Fail();
  *length = static_cast<int>(len);
  return 0;
}

int getsockname(int s, SockAddrIn* address) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return Fail();
  FromSockaddr(sa, address);
  return 0;
}

int getpeername(int s, SockAddrIn* address) {
  sockaddr_in sa{};
  socklen_t len = sizeof sa;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return Fail();
  FromSockaddr(sa, address);
  return 0;
}

int select(std::vector<int>* readList, std::vector<int>* writeList, int timeoutMs, std::vector<int>* errorList) {
  // One slot per listed socket and list; at most 3 x 64 sockets, so no allocation.
  pollfd fds[192];
  int kinds[192];
  int count = 0;
  const short events[3] = {POLLIN, POLLOUT, POLLPRI};
  std::vector<int>* lists[3] = {readList, writeList, errorList};
  for (int k = 0; k < 3; ++k) {
    if (!lists[k]) continue;
    for (int s : *lists[k]) {
      if (count == 192) break;
      fds[count] = pollfd{s, events[k], 0};
      kinds[count++] = k;
    }
  }
  const auto deadline = Clock::now() + std::chrono::milliseconds(timeoutMs < 0 ? 0 : timeoutMs);
  int result;
  for (;;) {
    int wait = -1;
    if (timeoutMs >= 0) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
      wait = left < 0 ? 0 : static_cast<int>(left);
    }
    result = ::poll(fds, static_cast<nfds_t>(count), wait);
    if (result >= 0) break;
    if (errno != EINTR) return Fail();
  }
  for (auto* list : lists) {
    if (list) list->clear();
  }
  int ready = 0;
  for (int i = 0; i < count; ++i) {
    const short got = fds[i].revents;
    bool hit = false;
    switch (kinds[i]) {
      case 0: hit = got & (POLLIN | POLLHUP | POLLERR | POLLNVAL); break;
      case 1: hit = got & (POLLOUT | POLLHUP | POLLERR); break;
      case 2: hit = got & POLLPRI; break;
    }
    if (hit) {
      lists[kinds[i]]->push_back(fds[i].fd);
      ++ready;
    }
  }
  return ready;
}

int gethostbyname(const std::string& host, uint32_t* address) {
  addrinfo hints{};
  hints.ai_family = AF_INET;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  if (rc != 0 || !found) {
    switch (rc) {
      case EAI_AGAIN: tLastError = WSATRY_AGAIN; break;
      case EAI_FAIL: tLastError = WSANO_RECOVERY; break;
#ifdef EAI_NODATA
      case EAI_NODATA: tLastError = WSANO_DATA; break;
#endif
      case EAI_SYSTEM: tLastError = ErrnoToWSA(errno); break;
      default: tLastError = WSAHOST_NOT_FOUND; break;
    }
    if (found) ::freeaddrinfo(found);
    return SOCKET_ERROR;
  }
  *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return 0;
}

int gethostbyaddr(uint32_t address, std::string* name) {
  sockaddr_in sa{};
  sa.sin_family = AF_INET;
  sa.sin_addr.s_addr = address;
  char host[1025];
  if (::getnameinfo(reinterpret_cast<sockaddr*>(&sa), sizeof sa, host, sizeof host, nullptr, 0, NI_NAMEREQD) != 0) {
    tLastError = WSAHOST_NOT_FOUND;
    return SOCKET_ERROR;
  }
  *name = host;
  return 0;
}

int gethostname(std::string* name, int maxLength) {
  char buffer[256] = {};
  if (::gethostname(buffer, sizeof buffer - 1) != 0) return Fail();
  *name = std::string(buffer).substr(0, static_cast<size_t>(maxLength));
  return 0;
}

int getservbyname(const std::string& name, const std::string& protocol) {
  servent entry{};
  servent* found = nullptr;
  char buffer[1024];
  if (::getservbyname_r(name.c_str(), protocol.c_str(), &entry, buffer, sizeof buffer, &found) != 0 || !found)
    return -1;
  return ntohs(static_cast<uint16_t>(found->s_port));
}

std::vector<std::string> getservbyport(int port, const std::string& protocol) {
  servent entry{};
  servent* found = nullptr;
  char buffer[1024];
  std::vector<std::string> names;
  if (::getservbyport_r(htons(static_cast<uint16_t>(port)), protocol.c_str(), &entry, buffer, sizeof buffer,
                        &found) != 0 ||
      !found)
    return names;
  names.push_back(found->s_name);
  for (char** alias = found->s_aliases; alias && *alias; ++alias) names.push_back(*alias);
  return names;
}

uint16_t HostToNet16(uint16_t v) { return htons(v); }
uint32_t HostToNet32(uint32_t v) { return htonl(v); }

}  // namespace WinSock
