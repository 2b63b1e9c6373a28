#include "support/StalledListener.h"

#include "support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <stdexcept>

StalledListener::StalledListener(const char* address, uint16_t port) {
  listenFd_ = BindAddress(address, port, 0);
  port_ = LocalPort(listenFd_);
  // A backlog of 0 holds one connection; this one fills it and is never accepted.
  fillerFd_ = ConnectAddress(address, port_);
  if (fillerFd_ < 0) throw std::runtime_error("StalledListener: cannot fill the accept queue");
}

StalledListener::~StalledListener() {
  if (fillerFd_ >= 0) ::close(fillerFd_);
  if (listenFd_ >= 0) ::close(listenFd_);
}
