#include "net/NetComponent.h"

#include <limits>

#include "net/NetScope.h"
#include "net/NetStack.h"

TNetComponent::TNetComponent(TComponent* owner) : TNetBaseComponent(owner) { AddStackUser(); }

TNetComponent::~TNetComponent() { RemoveStackUser(); }

int32_t TNetComponent::ClampCount(int64_t count) {
  if (count < 0) return 0;
  if (count > std::numeric_limits<int32_t>::max()) return std::numeric_limits<int32_t>::max();
  return static_cast<int32_t>(count);
}

void TNetComponent::OpenWork(TWorkMode mode, int64_t countMax) {
  WorkState& work = work_[mode];
  if (++work.Depth == 1) {
    work.Max = countMax;
    work.Total = 0;
    if (OnWorkBegin) OnWorkBegin(this, mode, ClampCount(countMax));
  }
}

void TNetComponent::AddWork(TWorkMode mode, int64_t count) {
  WorkState& work = work_[mode];
  if (work.Depth < 1) return;
  work.Total += count;
  if (OnWork) OnWork(this, mode, ClampCount(work.Total));
}

void TNetComponent::CloseWork(TWorkMode mode) {
  WorkState& work = work_[mode];
  // The depth is lowered even when the handler raises, so scopes stay balanced.
  TNetScopeExit lower([&work] { --work.Depth; });
  if (work.Depth == 1 && OnWorkEnd) OnWorkEnd(this, mode);
}

AnsiString TNetComponent::StatusText(TNetStatus status, const AnsiString& arg) {
  static const char* const kTexts[] = {"Resolving hostname %s.", "Connecting to %s.", "Connected.",
                                       "Disconnecting.", "Disconnected.", "%s", "%s", "%s", "%s"};
  const char* text = kTexts[status];
  // Only the texts with a placeholder take the argument.
  const size_t at = AnsiString(text).find("%s");
  if (at == AnsiString::npos) return text;
  AnsiString result = text;
  result.replace(at, 2, arg);
  return result;
}

void TNetComponent::ReportStatus(TNetStatus status, const AnsiString& arg) {
  if (OnStatus) OnStatus(this, status, StatusText(status, arg));
}
