#include "support/StalledListener.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

StalledListener::StalledListener() {
  listenFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  socklen_t len = sizeof addr;
  if (listenFd_ < 0 || ::bind(listenFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
      ::listen(listenFd_, 0) != 0 || ::getsockname(listenFd_, reinterpret_cast<sockaddr*>(&addr), &len) != 0) {
    throw std::runtime_error("StalledListener: cannot listen on 127.0.0.1");
  }
  port_ = ntohs(addr.sin_port);
  // A backlog of 0 holds one connection; this one fills it and is never accepted.
  fillerFd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (::connect(fillerFd_, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0) {
    throw std::runtime_error("StalledListener: cannot fill the accept queue");
  }
}

StalledListener::~StalledListener() {
  if (fillerFd_ >= 0) ::close(fillerFd_);
  if (listenFd_ >= 0) ::close(listenFd_);
}
