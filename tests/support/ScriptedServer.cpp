#include "support/ScriptedServer.h"

#include "support/Loopback.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <random>
#include <stdexcept>

namespace {
using Clock = std::chrono::steady_clock;

int RemainingMs(Clock::time_point deadline) {
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left < 0 ? 0 : static_cast<int>(left);
}

ConnectionScript::Step MakeStep(ConnectionScript::Step::Kind kind) {
  ConnectionScript::Step step{kind, {}, 0, 0, 0, 0, false, 0, {}};
  return step;
}

// Position just past the first blank line, or 0 when there is none yet.
size_t EndOfHead(const std::string& data) {
  const size_t crlf = data.find("\r\n\r\n");
  const size_t lf = data.find("\n\n");
  size_t end = std::string::npos;
  if (crlf != std::string::npos) end = crlf + 4;
  if (lf != std::string::npos && lf + 2 < end) end = lf + 2;
  return end == std::string::npos ? 0 : end;
}
}  // namespace

ConnectionScript& ConnectionScript::ExpectRequest() {
  steps_.push_back(MakeStep(Step::kExpectRequest));
  return *this;
}

ConnectionScript& ConnectionScript::ExpectBytes(size_t n) {
  Step step = MakeStep(Step::kExpectBytes);
  step.count = n;
  steps_.push_back(std::move(step));
  return *this;
}

ConnectionScript& ConnectionScript::Send(std::string bytes, size_t chunkSize, int pauseMs) {
  Step step = MakeStep(Step::kSend);
  step.bytes = std::move(bytes);
  step.chunk = chunkSize;
  step.pauseMs = pauseMs;
  steps_.push_back(std::move(step));
  return *this;
}

ConnectionScript& ConnectionScript::SendRandomChunks(std::string bytes, uint32_t seed, size_t maxChunk,
                                                     int pauseMs) {
  Send(std::move(bytes), maxChunk == 0 ? 1 : maxChunk, pauseMs);
  steps_.back().random = true;
  steps_.back().seed = seed;
  return *this;
}

ConnectionScript& ConnectionScript::SendPattern(uint64_t offset, uint64_t count, size_t chunkSize) {
  Step step = MakeStep(Step::kSendPattern);
  step.offset = offset;
  step.count = count;
  step.chunk = chunkSize == 0 ? 65536 : chunkSize;
  steps_.push_back(std::move(step));
  return *this;
}

ConnectionScript& ConnectionScript::Pause(int ms) {
  Step step = MakeStep(Step::kPause);
  step.pauseMs = ms;
  steps_.push_back(std::move(step));
  return *this;
}

ConnectionScript& ConnectionScript::WaitGate(const std::string& name) {
  Step step = MakeStep(Step::kWaitGate);
  step.bytes = name;
  steps_.push_back(std::move(step));
  return *this;
}

ConnectionScript& ConnectionScript::SignalGate(const std::string& name) {
  Step step = MakeStep(Step::kSignalGate);
  step.bytes = name;
  steps_.push_back(std::move(step));
  return *this;
}

ConnectionScript& ConnectionScript::Close() {
  steps_.push_back(MakeStep(Step::kClose));
  return *this;
}

ConnectionScript& ConnectionScript::Reset() {
  steps_.push_back(MakeStep(Step::kReset));
  return *this;
}

ConnectionScript& ConnectionScript::WaitClientClose() {
  steps_.push_back(MakeStep(Step::kWaitClientClose));
  return *this;
}

ConnectionScript& ConnectionScript::Run(std::function<void(int fd)> action) {
  Step step = MakeStep(Step::kRun);
  step.action = std::move(action);
  steps_.push_back(std::move(step));
  return *this;
}

ScriptedServer::ScriptedServer() {
  listenFd_ = BindLoopback(16);
  port_ = LocalPort(listenFd_);
}

ScriptedServer::~ScriptedServer() {
  Stop();
  if (listenFd_ >= 0) ::close(listenFd_);
}

void ScriptedServer::AddConnection(ConnectionScript script) {
  std::lock_guard<std::mutex> lock(mutex_);
  scripts_.push_back(std::move(script));
}

void ScriptedServer::ListenOn(const char* address, uint16_t port) {
  const int fd = BindAddress(address, port, 16);
  ::close(listenFd_);
  listenFd_ = fd;
  port_ = LocalPort(listenFd_);
}

void ScriptedServer::Start() {
  if (!acceptThread_.joinable()) acceptThread_ = std::thread([this] { AcceptLoop(); });
}

void ScriptedServer::Stop() {
  stop_ = true;
  changed_.notify_all();
  if (acceptThread_.joinable()) acceptThread_.join();
  // No new connection can appear now; connection threads notice stop_ within one poll.
  for (auto& conn : conns_) {
    if (conn->thread.joinable()) conn->thread.join();
  }
}

void ScriptedServer::AcceptLoop() {
  while (!Stopping()) {
    pollfd pfd{listenFd_, POLLIN, 0};
    if (::poll(&pfd, 1, 20) <= 0) continue;
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_CLOEXEC);
    if (fd < 0) continue;
    std::lock_guard<std::mutex> lock(mutex_);
    auto conn = std::make_unique<Conn>();
    conn->fd = fd;
    ConnectionScript script;
    if (nextScript_ < scripts_.size()) {
      script = scripts_[nextScript_++];
    } else {
      script.WaitClientClose();
    }
    Conn* raw = conn.get();
    conns_.push_back(std::move(conn));
    raw->thread = std::thread([this, raw, script] { Play(raw, script); });
    changed_.notify_all();
  }
}

bool ScriptedServer::SleepMs(int ms) {
  std::unique_lock<std::mutex> lock(mutex_);
  return !changed_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return Stopping(); });
}

bool ScriptedServer::SendAll(int fd, const char* data, size_t size) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(stepTimeoutMs_);
  while (size > 0) {
    if (Stopping()) return false;
    const ssize_t n = ::send(fd, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    if (n > 0) {
      data += n;
      size -= static_cast<size_t>(n);
      continue;
    }
    if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) return false;
    if (RemainingMs(deadline) == 0) {
      AddError("send timed out");
      return false;
    }
    pollfd pfd{fd, POLLOUT, 0};
    ::poll(&pfd, 1, 20);
  }
  return true;
}

bool ScriptedServer::ReadUntil(Conn* conn, std::string& pending,
                               const std::function<size_t(const std::string&)>& ready, std::string* out) {
  const auto deadline = Clock::now() + std::chrono::milliseconds(stepTimeoutMs_);
  char buffer[65536];
  for (;;) {
    if (const size_t end = ready(pending)) {
      if (out) *out = pending.substr(0, end);
      pending.erase(0, end);
      return true;
    }
    if (Stopping()) return false;
    if (RemainingMs(deadline) == 0) {
      AddError("expected bytes did not arrive in time");
      return false;
    }
    pollfd pfd{conn->fd, POLLIN, 0};
    if (::poll(&pfd, 1, 20) <= 0) continue;
    const ssize_t n = ::recv(conn->fd, buffer, sizeof buffer, 0);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    std::lock_guard<std::mutex> lock(mutex_);
    conn->received.append(buffer, static_cast<size_t>(n));
    pending.append(buffer, static_cast<size_t>(n));
  }
}

void ScriptedServer::Play(Conn* conn, ConnectionScript script) {
  std::string pending;
  bool open = true;
  auto record = [&](std::string request) {
    std::lock_guard<std::mutex> lock(mutex_);
    conn->requests.push_back(std::move(request));
  };
  for (const auto& step : script.Steps()) {
    // A gate after a close still opens: the test may wait for the close itself.
    if ((!open && step.kind != ConnectionScript::Step::kSignalGate) || Stopping()) break;
    std::string got;
    switch (step.kind) {
      case ConnectionScript::Step::kExpectRequest:
        open = ReadUntil(conn, pending, EndOfHead, &got);
        if (open) record(got);
        break;
      case ConnectionScript::Step::kExpectBytes: {
        const size_t want = step.count;
        open = ReadUntil(conn, pending, [want](const std::string& d) { return d.size() >= want ? want : 0; },
                         &got);
        if (open) record(got);
        break;
      }
      case ConnectionScript::Step::kSend: {
        std::mt19937 random(step.seed);
        size_t at = 0;
        while (open && at < step.bytes.size()) {
          size_t n = step.bytes.size() - at;
          if (step.chunk) {
            n = step.random ? 1 + random() % step.chunk : step.chunk;
            n = std::min(n, step.bytes.size() - at);
          }
          open = SendAll(conn->fd, step.bytes.data() + at, n);
          at += n;
          if (open && step.pauseMs > 0 && at < step.bytes.size()) open = SleepMs(step.pauseMs);
        }
        break;
      }
      case ConnectionScript::Step::kSendPattern: {
        std::string block(step.chunk, '\0');
        for (uint64_t at = 0; open && at < step.count; at += block.size()) {
          const size_t n = static_cast<size_t>(std::min<uint64_t>(block.size(), step.count - at));
          for (size_t i = 0; i < n; ++i) block[i] = ConnectionScript::PatternByte(step.offset + at + i);
          open = SendAll(conn->fd, block.data(), n);
        }
        break;
      }
      case ConnectionScript::Step::kPause:
        open = SleepMs(step.pauseMs);
        break;
      case ConnectionScript::Step::kWaitGate:
        open = WaitGate(step.bytes, stepTimeoutMs_);
        if (!open && !Stopping()) AddError("gate " + step.bytes + " was not opened in time");
        break;
      case ConnectionScript::Step::kSignalGate:
        OpenGate(step.bytes);
        break;
      case ConnectionScript::Step::kClose:
        ::shutdown(conn->fd, SHUT_WR);
        open = false;
        break;
      case ConnectionScript::Step::kReset: {
        linger lin{1, 0};
        ::setsockopt(conn->fd, SOL_SOCKET, SO_LINGER, &lin, sizeof lin);
        // The reset goes out now, before any gate that follows opens.
        ::close(conn->fd);
        conn->fd = -1;
        open = false;
        break;
      }
      case ConnectionScript::Step::kWaitClientClose:
        // Never satisfied: reads and records until the client closes (or stop/timeout).
        ReadUntil(conn, pending, [](const std::string&) { return size_t{0}; }, nullptr);
        open = false;
        break;
      case ConnectionScript::Step::kRun:
        step.action(conn->fd);
        break;
    }
  }
  if (open && !Stopping()) ::shutdown(conn->fd, SHUT_WR);
  if (conn->fd >= 0) ::close(conn->fd);
  std::lock_guard<std::mutex> lock(mutex_);
  conn->done = true;
  changed_.notify_all();
}

size_t ScriptedServer::AcceptedCount() {
  std::lock_guard<std::mutex> lock(mutex_);
  return conns_.size();
}

bool ScriptedServer::WaitForAccepted(size_t count, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] { return conns_.size() >= count; });
}

bool ScriptedServer::WaitDone(int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&] {
    if (nextScript_ < scripts_.size()) return false;
    for (auto& conn : conns_) {
      if (!conn->done) return false;
    }
    return true;
  });
}

std::string ScriptedServer::Received(size_t connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  return connection < conns_.size() ? conns_[connection]->received : std::string();
}

std::string ScriptedServer::Request(size_t connection, size_t index) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (connection >= conns_.size() || index >= conns_[connection]->requests.size()) return std::string();
  return conns_[connection]->requests[index];
}

size_t ScriptedServer::RequestCount(size_t connection) {
  std::lock_guard<std::mutex> lock(mutex_);
  return connection < conns_.size() ? conns_[connection]->requests.size() : 0;
}

std::vector<std::string> ScriptedServer::Errors() {
  std::lock_guard<std::mutex> lock(mutex_);
  return errors_;
}

void ScriptedServer::AddError(const std::string& error) {
  std::lock_guard<std::mutex> lock(mutex_);
  errors_.push_back(error);
}

void ScriptedServer::OpenGate(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  gates_.insert(name);
  changed_.notify_all();
}

bool ScriptedServer::WaitGate(const std::string& name, int timeoutMs) {
  std::unique_lock<std::mutex> lock(mutex_);
  return changed_.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&] { return gates_.count(name) > 0 || Stopping(); }) &&
         !Stopping();
}
