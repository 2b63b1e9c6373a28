// Internal to the socket transport; not part of its interface.
// TNetConnectThread: connects one socket handle on its own thread, so the GUI thread
// can pump messages meanwhile. It touches only the handle given to it, its
// ConnectError and its finished flag. The owner must Join before releasing it.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>

#include "net/NetSocketHandle.h"

class TNetConnectThread {
 public:
  explicit TNetConnectThread(TNetSocketHandle* socketHandle) : socketHandle_(socketHandle) {}
  ~TNetConnectThread();
  TNetConnectThread(const TNetConnectThread&) = delete;
  TNetConnectThread& operator=(const TNetConnectThread&) = delete;

  void Start();
  void Join();
  // Asks the worker to stop; the connect itself is woken by shutting the socket down.
  void Terminate() { terminated_ = true; }
  bool Terminated() const { return terminated_.load(); }
  bool Finished() const { return finished_.load(); }
  // Sleeps until the worker has finished or ms have passed; returns Finished(). The GUI
  // thread waits its slices here, so a quick connect does not cost a whole slice.
  bool WaitFinished(int64_t ms);
  // Empty unless the connect raised; read only after Finished() or Join().
  const AnsiString& ConnectError() const { return connectError_; }
  TNetSocketHandle* SocketHandle() const { return socketHandle_; }

 private:
  void Execute();

  TNetSocketHandle* socketHandle_;
  std::thread thread_;
  std::atomic<bool> finished_{false};
  std::atomic<bool> terminated_{false};
  std::mutex finishedMutex_;
  std::condition_variable finishedSignal_;
  AnsiString connectError_;
};
