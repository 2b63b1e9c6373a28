// A loopback TCP server that plays a script per accepted connection, for tests and
// benchmarks that need exact wire bytes and faults.
//
// It listens on 127.0.0.1 port 0 (or where ListenOn says) and accepts on its own thread; every connection
// gets its own thread that plays the next script in the order they were added (a
// connection without a script is held open until the peer closes). Every wait is
// bounded (StepTimeoutMs), and Stop() wakes and joins everything, so a test never
// hangs on the server. What each connection received is kept for comparison.
//
//   ScriptedServer server;
//   server.AddConnection(ConnectionScript().ExpectRequest().Send(reply, 1000).Close());
//   server.Start();
//   ... connect to 127.0.0.1:server.Port() ...
//   server.Stop();
//   EXPECT_EQ(server.Request(0, 0), "GET / HTTP/1.1\r\n...\r\n\r\n");
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <thread>
#include <vector>

class ConnectionScript {
 public:
  // Records the request bytes up to and including the first blank line (CR LF CR LF
  // or LF LF). Bytes after it stay for the next step.
  ConnectionScript& ExpectRequest();
  // Records exactly n bytes.
  ConnectionScript& ExpectBytes(size_t n);
  // Sends bytes in chunks of chunkSize (0: all at once), pausing pauseMs between chunks.
  ConnectionScript& Send(std::string bytes, size_t chunkSize = 0, int pauseMs = 0);
  // Sends bytes in random chunks of 1..maxChunk bytes drawn from seed.
  ConnectionScript& SendRandomChunks(std::string bytes, uint32_t seed, size_t maxChunk, int pauseMs = 0);
  // Sends count bytes of a repeating pattern (PatternByte) without building them first.
  ConnectionScript& SendPattern(uint64_t offset, uint64_t count, size_t chunkSize = 65536);
  ConnectionScript& Pause(int ms);
  // Waits until the test opens the named gate (ScriptedServer::OpenGate).
  ConnectionScript& WaitGate(const std::string& name);
  // Opens a gate from inside the script (for the test to wait on with WaitGate).
  ConnectionScript& SignalGate(const std::string& name);
  // Graceful close: shutdown of the sending side, then close.
  ConnectionScript& Close();
  // Abortive close: SO_LINGER 0, so the peer sees a reset.
  ConnectionScript& Reset();
  // Reads (and records) until the client closes, then closes.
  ConnectionScript& WaitClientClose();
  // Runs code on the connection's thread with the socket (for hostile peers).
  ConnectionScript& Run(std::function<void(int fd)> action);

  // The byte at offset of the pattern SendPattern sends.
  static char PatternByte(uint64_t offset) { return static_cast<char>('a' + offset % 23); }

  struct Step {
    enum Kind { kExpectRequest, kExpectBytes, kSend, kSendPattern, kPause, kWaitGate, kSignalGate,
                kClose, kReset, kWaitClientClose, kRun } kind;
    std::string bytes;
    size_t count = 0;
    uint64_t offset = 0;
    size_t chunk = 0;
    int pauseMs = 0;
    bool random = false;
    uint32_t seed = 0;
    std::function<void(int)> action;
  };
  const std::vector<Step>& Steps() const { return steps_; }

 private:
  std::vector<Step> steps_;
};

class ScriptedServer {
 public:
  ScriptedServer();
  ~ScriptedServer();
  ScriptedServer(const ScriptedServer&) = delete;
  ScriptedServer& operator=(const ScriptedServer&) = delete;

  // Scripts are given to connections in the order the connections are accepted.
  void AddConnection(ConnectionScript script);
  // Before Start: listen on this numeric address ("::1", "127.0.0.1") and port instead
  // (0: the system chooses).
  void ListenOn(const char* address, uint16_t port = 0);
  void Start();
  // Stops accepting, closes every connection, joins every thread.
  void Stop();

  uint16_t Port() const { return port_; }
  int StepTimeoutMs() const { return stepTimeoutMs_; }
  void SetStepTimeoutMs(int ms) { stepTimeoutMs_ = ms; }

  size_t AcceptedCount();
  bool WaitForAccepted(size_t count, int timeoutMs);
  // Waits until every script has been given to a connection and every accepted
  // connection has finished.
  bool WaitDone(int timeoutMs);
  // Everything connection i received, and the bytes recorded by its i-th Expect step.
  std::string Received(size_t connection);
  std::string Request(size_t connection, size_t index);
  size_t RequestCount(size_t connection);
  // Script problems (an expected request that did not come in time, ...).
  std::vector<std::string> Errors();

  void OpenGate(const std::string& name);
  bool WaitGate(const std::string& name, int timeoutMs);

 private:
  struct Conn {
    int fd = -1;
    std::string received;
    std::vector<std::string> requests;
    bool done = false;
    std::thread thread;
  };
  void AcceptLoop();
  void Play(Conn* conn, ConnectionScript script);
  bool Stopping() const { return stop_.load(); }
  // Reads into pending until pred is satisfied; false on close, timeout or stop.
  bool ReadUntil(Conn* conn, std::string& pending, const std::function<size_t(const std::string&)>& ready,
                 std::string* out);
  bool SendAll(int fd, const char* data, size_t size);
  bool SleepMs(int ms);
  void AddError(const std::string& error);

  int listenFd_ = -1;
  uint16_t port_ = 0;
  int stepTimeoutMs_ = 5000;
  std::atomic<bool> stop_{false};
  std::thread acceptThread_;
  std::mutex mutex_;
  std::condition_variable changed_;
  std::vector<ConnectionScript> scripts_;
  size_t nextScript_ = 0;
  std::vector<std::unique_ptr<Conn>> conns_;
  std::vector<std::string> errors_;
  std::set<std::string> gates_;
};
