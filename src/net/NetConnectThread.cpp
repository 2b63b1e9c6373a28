#include "net/NetConnectThread.h"

#include "net/NetException.h"
#include "platform/WinSock2.h"

TNetConnectThread::~TNetConnectThread() { Join(); }

void TNetConnectThread::Start() {
  thread_ = std::thread([this] { Execute(); });
}

void TNetConnectThread::Join() {
  if (thread_.joinable()) thread_.join();
}

void TNetConnectThread::Execute() {
  try {
    const int result = socketHandle_->ConnectPeer(kAFInet);
    GlobalStack->CheckResult(result, {WinSock::WSAEBADF, WinSock::WSAENOTSOCK});
  } catch (const std::exception& e) {
    connectError_ = e.what();
  }
  {
    std::lock_guard<std::mutex> lock(finishedMutex_);
    finished_ = true;
  }
  finishedSignal_.notify_all();
}

bool TNetConnectThread::WaitFinished(int64_t ms) {
  std::unique_lock<std::mutex> lock(finishedMutex_);
  if (ms > 0) finishedSignal_.wait_for(lock, std::chrono::milliseconds(ms), [this] { return finished_.load(); });
  return finished_.load();
}
