#include "net/NetFreezeGuard.h"

#include "net/NetException.h"
#include "runtime/Hooks.h"

TNetFreezeGuardBase* GlobalFreezeGuard = nullptr;

namespace {
bool gDesigning = false;
}

void TNetFreezeGuardBase::SetDesigning(bool designing) { gDesigning = designing; }

TNetFreezeGuardBase::TNetFreezeGuardBase(TComponent* owner) : TNetBaseComponent(owner) {
  if (gDesigning && GlobalFreezeGuard) throw ENetException(NetText::OnlyOneFreezeGuard);
  GlobalFreezeGuard = this;
}

TNetFreezeGuardBase::~TNetFreezeGuardBase() { GlobalFreezeGuard = nullptr; }

bool TNetFreezeGuardBase::IsEngaged() {
  return GlobalFreezeGuard && IsMainThread() && GlobalFreezeGuard->Active();
}

void TNetFreezeGuardBase::PumpIfDue(bool idle, bool override) {
  if (!IsEngaged()) return;
  if ((idle || !GlobalFreezeGuard->OnlyWhenIdle() || override) && GlobalFreezeGuard->Active()) {
    GlobalFreezeGuard->Pump();
  }
}

bool TNetFreezeGuardBase::PumpsWhileWaiting() {
  return IsEngaged() && !GlobalFreezeGuard->OnlyWhenIdle() && GlobalFreezeGuard->ApplicationHasPriority() &&
         HookCanWaitPumping();
}

void TNetFreezeGuard::Pump() {
  if (ApplicationHasPriority()) {
    HookProcessMessages();
  } else {
    HookHandleOneMessage();
  }
}
