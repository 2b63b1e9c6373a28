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
  finished_ = true;
}
