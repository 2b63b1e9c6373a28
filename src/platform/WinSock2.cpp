#include "platform/WinSock2.h"

#include <arpa/inet.h>
#include <net/if.h>
#include <netdb.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fcntl.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace WinSock {
namespace {

thread_local int tLastError = 0;

// The result of a call: -1 with the errno mapped into the per-thread last error.
int Fail() {
  tLastError = ErrnoToWSA(errno);
  return SOCKET_ERROR;
}

int PlatformFamily(int family) { return family == kFamilyIPv6 ? AF_INET6 : family == kFamilyIPv4 ? AF_INET : family; }

// The platform's form of an address, and its length.
socklen_t ToSockaddr(const SockAddr& address, sockaddr_storage* storage) {
  *storage = sockaddr_storage{};
  if (address.Family == kFamilyIPv6) {
    auto* sa = reinterpret_cast<sockaddr_in6*>(storage);
    sa->sin6_family = AF_INET6;
    sa->sin6_port = htons(address.Port);
    std::memcpy(&sa->sin6_addr, address.Address, 16);
    sa->sin6_scope_id = address.ScopeId;
    return sizeof(sockaddr_in6);
  }
  auto* sa = reinterpret_cast<sockaddr_in*>(storage);
  sa->sin_family = AF_INET;
  sa->sin_port = htons(address.Port);
  std::memcpy(&sa->sin_addr, address.Address, 4);
  return sizeof(sockaddr_in);
}

void FromSockaddr(const sockaddr* sa, SockAddr* address) {
  if (!address) return;
  *address = SockAddr{};
  if (sa->sa_family == AF_INET6) {
    const auto* in6 = reinterpret_cast<const sockaddr_in6*>(sa);
    address->Family = kFamilyIPv6;
    std::memcpy(address->Address, &in6->sin6_addr, 16);
    address->Port = ntohs(in6->sin6_port);
    address->ScopeId = in6->sin6_scope_id;
  } else {
    const auto* in4 = reinterpret_cast<const sockaddr_in*>(sa);
    std::memcpy(address->Address, &in4->sin_addr, 4);
    address->Port = ntohs(in4->sin_port);
  }
}

// The resolver's failure as a Windows Sockets code.
int ResolverError(int rc) {
  switch (rc) {
    case EAI_AGAIN: return WSATRY_AGAIN;
    case EAI_FAIL: return WSANO_RECOVERY;
#ifdef EAI_NODATA
    case EAI_NODATA: return WSANO_DATA;
#endif
    case EAI_SYSTEM: return ErrnoToWSA(errno);
    default: return WSAHOST_NOT_FOUND;
  }
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
  const int s = ::socket(PlatformFamily(family), type | SOCK_CLOEXEC, protocol);
  return s < 0 ? Fail() : s;
}

int bind(int s, const SockAddr& address) {
  sockaddr_storage sa;
  const socklen_t len = ToSockaddr(address, &sa);
  return ::bind(s, reinterpret_cast<const sockaddr*>(&sa), len) == 0 ? 0 : Fail();
}

int connect(int s, const SockAddr& address) {
  sockaddr_storage sa;
  const socklen_t len = ToSockaddr(address, &sa);
  if (::connect(s, reinterpret_cast<const sockaddr*>(&sa), len) == 0) return 0;
  if (errno == EINPROGRESS) {
    tLastError = WSAEWOULDBLOCK;
    return SOCKET_ERROR;
  }
  if (errno != EINTR) return Fail();
  if (::fcntl(s, F_GETFL) & O_NONBLOCK) {
    tLastError = WSAEWOULDBLOCK;
    return SOCKET_ERROR;
  }
  // An interrupted connect goes on in the background: wait for its outcome.
  pollfd pfd{s, POLLOUT, 0};
  while (::poll(&pfd, 1, -1) < 0) {
    if (errno != EINTR) return Fail();
  }
  int err = 0;
  socklen_t errLength = sizeof err;
  if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &errLength) != 0) return Fail();
  if (err == 0) return 0;
  errno = err;
  return Fail();
}

int listen(int s, int backlog) { return ::listen(s, backlog) == 0 ? 0 : Fail(); }

int accept(int s, SockAddr* peer) {
  sockaddr_storage sa{};
  socklen_t len = sizeof sa;
  const int result = Retry([&] { return ::accept4(s, reinterpret_cast<sockaddr*>(&sa), &len, SOCK_CLOEXEC); });
  if (result >= 0) FromSockaddr(reinterpret_cast<sockaddr*>(&sa), peer);
  return result;
}

int ioctlsocket(int s, long command, unsigned long* argument) {
  if (command != kFIONBIO || !argument) {
    tLastError = WSAEINVAL;
    return SOCKET_ERROR;
  }
  const int flags = ::fcntl(s, F_GETFL);
  if (flags < 0) return Fail();
  const int wanted = *argument ? flags | O_NONBLOCK : flags & ~O_NONBLOCK;
  return ::fcntl(s, F_SETFL, wanted) == 0 ? 0 : Fail();
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
  if (level == kSolSocket && name == kSoError) {
    int err = 0;
    socklen_t errLength = sizeof err;
    if (*length < static_cast<int>(sizeof err)) {
      tLastError = WSAEINVAL;
      return SOCKET_ERROR;
    }
    if (::getsockopt(s, SOL_SOCKET, SO_ERROR, &err, &errLength) != 0) return Fail();
    const int code = ErrnoToWSA(err);
    std::memcpy(value, &code, sizeof code);
    *length = sizeof code;
    return 0;
  }
  socklen_t len = static_cast<socklen_t>(*length);
  if (::getsockopt(s, level, name, value, &len) != 0) return Fail();
  *length = static_cast<int>(len);
  return 0;
}

int getsockname(int s, SockAddr* address) {
  sockaddr_storage sa{};
  socklen_t len = sizeof sa;
  if (::getsockname(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return Fail();
  FromSockaddr(reinterpret_cast<sockaddr*>(&sa), address);
  return 0;
}

int getpeername(int s, SockAddr* address) {
  sockaddr_storage sa{};
  socklen_t len = sizeof sa;
  if (::getpeername(s, reinterpret_cast<sockaddr*>(&sa), &len) != 0) return Fail();
  FromSockaddr(reinterpret_cast<sockaddr*>(&sa), address);
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
    tLastError = ResolverError(rc);
    if (found) ::freeaddrinfo(found);
    return SOCKET_ERROR;
  }
  *address = reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr.s_addr;
  ::freeaddrinfo(found);
  return 0;
}

int getaddrinfo(const std::string& host, std::vector<SockAddr>* addresses) {
  // No AI_ADDRCONFIG: it hides ::1 on a machine whose only IPv6 address is the
  // loopback one; an address of a family that cannot be reached fails at once.
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  addrinfo* found = nullptr;
  const int rc = ::getaddrinfo(host.c_str(), nullptr, &hints, &found);
  addresses->clear();
  for (const addrinfo* at = rc == 0 ? found : nullptr; at; at = at->ai_next) {
    if (at->ai_family != AF_INET && at->ai_family != AF_INET6) continue;
    SockAddr address;
    FromSockaddr(at->ai_addr, &address);
    addresses->push_back(address);
  }
  if (found) ::freeaddrinfo(found);
  if (addresses->empty()) {
    tLastError = rc == 0 ? WSANO_DATA : ResolverError(rc);
    return SOCKET_ERROR;
  }
  return 0;
}

int inet_pton(int family, const std::string& text, SockAddr* address) {
  *address = SockAddr{};
  address->Family = family;
  if (family == kFamilyIPv4) return ::inet_pton(AF_INET, text.c_str(), address->Address) == 1 ? 1 : 0;
  if (family != kFamilyIPv6) return 0;
  const size_t percent = text.find('%');
  if (percent != std::string::npos) {
    const std::string zone = text.substr(percent + 1);
    address->ScopeId = zone.empty() ? 0 : ::if_nametoindex(zone.c_str());
    if (address->ScopeId == 0 && !zone.empty() && zone.size() <= 9 &&
        zone.find_first_not_of("0123456789") == std::string::npos)
      address->ScopeId = static_cast<uint32_t>(std::stoul(zone));
    if (address->ScopeId == 0) return 0;
  }
  return ::inet_pton(AF_INET6, text.substr(0, percent).c_str(), address->Address) == 1 ? 1 : 0;
}

std::string inet_ntop(const SockAddr& address) {
  char text[INET6_ADDRSTRLEN + 1] = {};
  const int family = address.Family == kFamilyIPv6 ? AF_INET6 : AF_INET;
  if (!::inet_ntop(family, address.Address, text, sizeof text)) return std::string();
  return text;
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
