#include "support/Loopback.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>
#include <string>

sockaddr_in LoopbackAddress(uint16_t port) {
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_port = htons(port);
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  return addr;
}

int BindLoopback(int backlog, bool anyAddress) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr = LoopbackAddress();
  if (anyAddress) addr.sin_addr.s_addr = htonl(INADDR_ANY);
  if (fd < 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      (backlog >= 0 && ::listen(fd, backlog) != 0)) {
    if (fd >= 0) ::close(fd);
    throw std::runtime_error("cannot bind a loopback socket");
  }
  return fd;
}

int ConnectLoopback(uint16_t port) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  const sockaddr_in addr = LoopbackAddress(port);
  if (fd >= 0 && ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}

uint16_t LocalPort(int fd) {
  sockaddr_storage addr{};
  socklen_t len = sizeof addr;
  if (::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len) != 0) return 0;
  // Both families keep the port at the same place.
  return ntohs(reinterpret_cast<sockaddr_in*>(&addr)->sin_port);
}

namespace {
// A numeric address of either family with a port; its length, or 0 when the text is none.
socklen_t MakeAddress(const char* address, uint16_t port, sockaddr_storage* storage) {
  *storage = sockaddr_storage{};
  auto* six = reinterpret_cast<sockaddr_in6*>(storage);
  if (::inet_pton(AF_INET6, address, &six->sin6_addr) == 1) {
    six->sin6_family = AF_INET6;
    six->sin6_port = htons(port);
    return sizeof(sockaddr_in6);
  }
  auto* four = reinterpret_cast<sockaddr_in*>(storage);
  if (::inet_pton(AF_INET, address, &four->sin_addr) != 1) return 0;
  four->sin_family = AF_INET;
  four->sin_port = htons(port);
  return sizeof(sockaddr_in);
}
}  // namespace

int BindAddress(const char* address, uint16_t port, int backlog) {
  sockaddr_storage addr;
  const socklen_t len = MakeAddress(address, port, &addr);
  const int fd = len ? ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
  const int one = 1;
  if (fd >= 0 && addr.ss_family == AF_INET6) ::setsockopt(fd, IPPROTO_IPV6, IPV6_V6ONLY, &one, sizeof one);
  if (fd >= 0 && ::bind(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0 && ::listen(fd, backlog) == 0) return fd;
  if (fd >= 0) ::close(fd);
  throw std::runtime_error("cannot bind " + std::string(address));
}

int ConnectAddress(const char* address, uint16_t port) {
  sockaddr_storage addr;
  const socklen_t len = MakeAddress(address, port, &addr);
  const int fd = len ? ::socket(addr.ss_family, SOCK_STREAM | SOCK_CLOEXEC, 0) : -1;
  if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr*>(&addr), len) == 0) return fd;
  if (fd >= 0) ::close(fd);
  return -1;
}
