#include "net/NetIOHandler.h"

#include <algorithm>

#include "platform/WinSock2.h"

TNetIOHandler::~TNetIOHandler() {
  auto notifications = std::move(freeNotifications_);
  for (auto& entry : notifications) entry.second();
}

int TNetIOHandler::RawReceiveNow(void* buffer, int length) {
  if (!WaitReadable(0)) {
    WinSock::WSASetLastError(WinSock::WSAEWOULDBLOCK);
    return -1;
  }
  return RawReceive(buffer, length);
}

void TNetIOHandler::AddFreeNotification(void* key, std::function<void()> notify) {
  RemoveFreeNotification(key);
  freeNotifications_.emplace_back(key, std::move(notify));
}

void TNetIOHandler::RemoveFreeNotification(void* key) {
  freeNotifications_.erase(std::remove_if(freeNotifications_.begin(), freeNotifications_.end(),
                                          [key](const auto& entry) { return entry.first == key; }),
                           freeNotifications_.end());
}
