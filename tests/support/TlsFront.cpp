#include "support/TlsFront.h"

#include <fcntl.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

#include "support/Loopback.h"
#include "support/TestCertificates.h"

namespace {
// No step of a test waits longer for its peer.
constexpr int kStepLimitMs = 5000;

bool WaitFor(int fd, short events) {
  pollfd pfd{fd, events, 0};
  return ::poll(&pfd, 1, kStepLimitMs) > 0;
}

// SSL_write of all bytes on a non-blocking socket.
bool WriteAll(SSL* ssl, int fd, const char* data, size_t size) {
  while (size > 0) {
    size_t written = 0;
    if (SSL_write_ex(ssl, data, size, &written) == 1) {
      data += written;
      size -= written;
      continue;
    }
    const int error = SSL_get_error(ssl, 0);
    if (error != SSL_ERROR_WANT_WRITE && error != SSL_ERROR_WANT_READ) return false;
    if (!WaitFor(fd, error == SSL_ERROR_WANT_WRITE ? POLLOUT : POLLIN)) return false;
  }
  return true;
}

bool SendAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL);
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
  }
  return true;
}
}  // namespace

TlsFront::TlsFront(uint16_t backendPort, bool closeNotify, const std::string& certificate)
    : backendPort_(backendPort), closeNotify_(closeNotify) {
  const TestCertificates& certs = TestCertificates::Shared();
  context_ = SSL_CTX_new(TLS_server_method());
  if (!certs.Made() || !context_ ||
      SSL_CTX_use_certificate_chain_file(context_, certs.Pem(certificate).c_str()) != 1 ||
      SSL_CTX_use_PrivateKey_file(context_, certs.Key(certificate).c_str(), SSL_FILETYPE_PEM) != 1)
    throw std::runtime_error("TlsFront: no certificate " + certificate);
  listenFd_ = BindLoopback(16);
  port_ = LocalPort(listenFd_);
  acceptThread_ = std::thread([this] { AcceptLoop(); });
}

TlsFront::~TlsFront() {
  stop_ = true;
  if (acceptThread_.joinable()) acceptThread_.join();
  for (auto& relay : relays_) relay.join();
  ::close(listenFd_);
  SSL_CTX_free(context_);
}

bool TlsFront::WaitEnded(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return ended_ >= count; });
}

void TlsFront::AcceptLoop() {
  while (!stop_) {
    pollfd pfd{listenFd_, POLLIN, 0};
    if (::poll(&pfd, 1, 20) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd >= 0) relays_.emplace_back([this, fd] { Relay(fd); });
  }
}

void TlsFront::Relay(int client) {
  SSL* ssl = SSL_new(context_);
  SSL_set_fd(ssl, client);
  const timeval limit{kStepLimitMs / 1000, 0};
  ::setsockopt(client, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
  const int backend = SSL_accept(ssl) == 1 ? ConnectLoopback(backendPort_) : -1;
  ::fcntl(client, F_SETFL, ::fcntl(client, F_GETFL) | O_NONBLOCK);
  bool backendClosed = false;
  char buffer[16384];
  while (backend >= 0 && !stop_) {
    pollfd fds[2] = {{client, POLLIN, 0}, {backend, POLLIN, 0}};
    if (SSL_pending(ssl) == 0 && ::poll(fds, 2, 20) <= 0) continue;
    size_t got = 0;
    if (SSL_read_ex(ssl, buffer, sizeof buffer, &got) == 1) {
      if (!SendAll(backend, buffer, got)) break;
    } else if (SSL_get_error(ssl, 0) != SSL_ERROR_WANT_READ) {
      break;  // the client closed
    }
    if (fds[1].revents & (POLLIN | POLLHUP | POLLERR)) {
      const ssize_t n = ::recv(backend, buffer, sizeof buffer, 0);
      if (n <= 0) {
        backendClosed = true;
        break;
      }
      if (!WriteAll(ssl, client, buffer, static_cast<size_t>(n))) break;
    }
  }
  if (backendClosed && closeNotify_) SSL_shutdown(ssl);
  ::shutdown(client, SHUT_WR);
  SSL_free(ssl);
  ::close(client);
  if (backend >= 0) ::close(backend);
  std::lock_guard<std::mutex> lock(mutex_);
  ++ended_;
  changed_.notify_all();
}
