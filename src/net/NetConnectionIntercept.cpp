#include "net/NetConnectionIntercept.h"

void TNetConnectionIntercept::Connect() {
  if (intercept_) intercept_->Connect();
}

void TNetConnectionIntercept::Disconnect() {
  if (intercept_) intercept_->Disconnect();
}

void TNetConnectionIntercept::Receive(TNetSimpleBuffer& buffer) {
  if (intercept_) intercept_->Receive(buffer);
}

void TNetConnectionIntercept::Send(TNetSimpleBuffer& buffer) {
  if (intercept_) intercept_->Send(buffer);
}
