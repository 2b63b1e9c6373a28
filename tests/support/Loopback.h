// Raw sockets on 127.0.0.1 (or ::1) for test servers, hostile peers and benchmarks.
#pragma once

#include <netinet/in.h>

#include <cstdint>

// The IPv4 loopback address with a port (0: the system chooses).
sockaddr_in LoopbackAddress(uint16_t port = 0);
// A stream socket bound to a port of the system's choice on 127.0.0.1 (or on any
// address), listening with backlog unless backlog < 0. Throws std::runtime_error.
int BindLoopback(int backlog, bool anyAddress = false);
// A stream socket bound to a numeric address of either family ("::1": IPv6 only, so the
// same port stays free on 127.0.0.1) and port (0: the system chooses), listening with
// backlog. Throws std::runtime_error.
int BindAddress(const char* address, uint16_t port, int backlog);
// A blocking connect to a numeric address of either family; the socket, or -1.
int ConnectAddress(const char* address, uint16_t port);
// A blocking connect to 127.0.0.1:port; the socket, or -1.
int ConnectLoopback(uint16_t port);
// The local port a socket is bound to.
uint16_t LocalPort(int fd);
