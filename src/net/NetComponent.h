// TNetComponent: the base of every network component. It carries the status event
// and the work progress events, and its lifetime keeps the socket stack alive.
//
// Work is counted per mode in scopes: the outermost OpenWork fires OnWorkBegin and
// resets the running total, AddWork fires OnWork with the total inside a scope (and
// nothing outside one), the outermost CloseWork fires OnWorkEnd. Totals are 64-bit;
// the events' 32-bit parameters are clamped to 0..2147483647, never wrapped.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/Component.h"

enum TWorkMode { wmRead, wmWrite };

// Time-outs are milliseconds; these two values are not lengths.
inline constexpr int32_t kNetDefaultTimeout = -1;  // the connection's ReadTimeout
inline constexpr int32_t kNetNoTimeLimit = -2;

enum TNetStatus {
  hsResolving, hsConnecting, hsConnected, hsDisconnecting, hsDisconnected,
  hsStatusText, ftpTransfer, ftpReady, ftpAborted
};

using TNotifyEvent = std::function<void(TObject* Sender)>;
using TNetStatusEvent = std::function<void(TObject* ASender, TNetStatus AStatus, const AnsiString& AStatusText)>;
using TWorkEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode, int32_t AWorkCount)>;
using TWorkBeginEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode, int32_t AWorkCountMax)>;
using TWorkEndEvent = std::function<void(TObject* Sender, TWorkMode AWorkMode)>;

class TNetBaseComponent : public TComponent {
 public:
  using TComponent::TComponent;
};

class TNetComponent : public TNetBaseComponent {
 public:
  explicit TNetComponent(TComponent* owner = nullptr);
  ~TNetComponent() override;

  TNetStatusEvent OnStatus;
  TWorkEvent OnWork;
  TWorkBeginEvent OnWorkBegin;
  TWorkEndEvent OnWorkEnd;

  virtual void OpenWork(TWorkMode mode, int64_t countMax);
  virtual void AddWork(TWorkMode mode, int64_t count);
  virtual void CloseWork(TWorkMode mode);

  // Fires OnStatus with the status's text ("Connecting to %s." ...) filled with arg.
  void ReportStatus(TNetStatus status, const AnsiString& arg = AnsiString());
  static AnsiString StatusText(TNetStatus status, const AnsiString& arg = AnsiString());

  int64_t WorkTotal(TWorkMode mode) const { return work_[mode].Total; }
  int64_t WorkMax(TWorkMode mode) const { return work_[mode].Max; }
  int32_t WorkDepth(TWorkMode mode) const { return work_[mode].Depth; }

  // An event parameter for a 64-bit count: clamped to the 32-bit range.
  static int32_t ClampCount(int64_t count);

 private:
  struct WorkState {
    int64_t Total = 0;
    int64_t Max = 0;
    int32_t Depth = 0;
  };
  WorkState work_[2];
};
