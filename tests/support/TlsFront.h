// A TLS server on 127.0.0.1 (port 0) in front of a plain one: every connection is
// handshaken with a test certificate and relayed as plain bytes to 127.0.0.1:backend,
// so a ScriptedServer's scripts play unchanged over TLS. When the backend closes, the
// front ends the client's connection either with close_notify (the server's own,
// authenticated end of the data) or by closing TCP without it (a cut stream, as an
// attacker on the path would do).
//
//   ScriptedServer backend; backend.AddConnection(...); backend.Start();
//   TlsFront front(backend.Port(), /*closeNotify=*/false);
//   http.SetTLSCAFile(TestCertificates::Shared().CA());
//   http.FetchUrl("https://127.0.0.1:" + std::to_string(front.Port()) + "/x", s);
//
// Every wait is bounded; the destructor stops and joins everything.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct ssl_ctx_st;

class TlsFront {
 public:
  // certificate: a TestCertificates name ("localhost" is valid for 127.0.0.1 too).
  TlsFront(uint16_t backendPort, bool closeNotify, const std::string& certificate = "localhost");
  ~TlsFront();
  TlsFront(const TlsFront&) = delete;
  TlsFront& operator=(const TlsFront&) = delete;

  uint16_t Port() const { return port_; }
  // Waits until count client connections have been ended by the front or the client.
  bool WaitEnded(size_t count, int timeoutMs);

 private:
  void AcceptLoop();
  void Relay(int client);

  uint16_t backendPort_;
  bool closeNotify_;
  ssl_ctx_st* context_ = nullptr;
  int listenFd_ = -1;
  uint16_t port_ = 0;
  std::atomic<bool> stop_{false};
  std::thread acceptThread_;
  std::vector<std::thread> relays_;
  std::mutex mutex_;
  std::condition_variable changed_;
  size_t ended_ = 0;
};
