// A listening socket on 127.0.0.1 (or the loopback address and port given) whose
// accept queue is full, so a further connect
// to Port() stays pending (the peer's SYN is dropped) until the connecting side
// gives up. For connect time-out and cancel tests.
#pragma once

#include <cstdint>

class StalledListener {
 public:
  explicit StalledListener(const char* address = "127.0.0.1", uint16_t port = 0);
  ~StalledListener();
  StalledListener(const StalledListener&) = delete;
  StalledListener& operator=(const StalledListener&) = delete;

  uint16_t Port() const { return port_; }

 private:
  int listenFd_ = -1;
  int fillerFd_ = -1;
  uint16_t port_ = 0;
};
