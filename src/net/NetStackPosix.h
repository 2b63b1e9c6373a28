// Internal to the socket transport; not part of its interface.
// TNetStackPosix: the socket stack over the POSIX binding of the sockets library.
// It stands where the Windows stack stands: the library is started once per process
// (version 2.2), and the resolver's "host not found" is code 11001 "Host not found.".
#pragma once

#include "net/NetStack.h"

class TNetStackPosix : public TNetStack {
 public:
  TNetStackPosix();

  AnsiString SocketErrorText(int32_t code) override;

  TNetSocket accept(TNetSocket s, AnsiString* address, int32_t* port) override;
  int bind(TNetSocket s, int family, int32_t port, const AnsiString& address) override;
  int closesocket(TNetSocket s) override;
  int connect(TNetSocket s, int family, int32_t port, const AnsiString& address) override;
  AnsiString gethostbyname(const AnsiString& host) override;
  std::vector<TNetIPAddress> getaddrinfo(const AnsiString& host) override;
  int ioctlsocket(TNetSocket s, long command, unsigned long* argument) override;
  AnsiString gethostname() override;
  AnsiString gethostbyaddr(const AnsiString& address) override;
  int32_t getservbyname(const AnsiString& name) override;
  std::vector<AnsiString> getservbyport(int32_t port) override;
  uint16_t htons(uint16_t v) override;
  int listen(TNetSocket s, int backlog) override;
  uint16_t ntohs(uint16_t v) override;
  uint32_t htonl(uint32_t v) override;
  uint32_t ntohl(uint32_t v) override;
  int recv(TNetSocket s, void* buffer, int length, int flags) override;
  int recvnow(TNetSocket s, void* buffer, int length) override;
  int select(TNetSocketList* readList, TNetSocketList* writeList, int timeoutMs,
             TNetSocketList* errorList) override;
  int send(TNetSocket s, const void* buffer, int length, int flags) override;
  int setsockopt(TNetSocket s, int level, int name, const void* value, int length) override;
  TNetSocket socket(int family, int type, int protocol) override;
  int shutdown(TNetSocket s, int how) override;
  int32_t WSAGetLastError() override;
  void getpeername(TNetSocket s, int* family, AnsiString* address, int32_t* port) override;
  void getsockname(TNetSocket s, int* family, AnsiString* address, int32_t* port) override;
  int getsockopt(TNetSocket s, int level, int name, void* value, int* length) override;
  AnsiString FormatIPv4(const TNetIPv4Bytes& address) override;
  TNetIPv4Bytes ParseIPv4(const AnsiString& text) override;
};

// The process's "started" flag: the library's start-up call has succeeded once.
bool StackStarted();
