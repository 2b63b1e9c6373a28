#include "net/NetConnectRace.h"

#include <algorithm>
#include <chrono>

#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetScope.h"
#include "platform/Log.h"
#include "platform/WinSock2.h"

namespace {

int64_t NowMs() {
  return std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

// A socket error on one line: "Socket Error # 10061 Connection refused.".
AnsiString OneLine(const AnsiString& text) {
  AnsiString line = text;
  for (char& c : line) {
    if (c == '\r' || c == '\n') c = ' ';
  }
  const size_t doubled = line.find("  ");
  if (doubled != AnsiString::npos) line.erase(doubled, 1);
  return line;
}

// select's limit on one list.
constexpr size_t kMaxPending = 64;

}  // namespace

TNetConnectRace::TNetConnectRace(AnsiString host, int32_t port, const std::vector<TNetIPAddress>& addresses)
    : host_(std::move(host)), port_(port), order_(Interleave(addresses)) {
  attempts_.reserve(order_.size());
}

std::vector<TNetIPAddress> TNetConnectRace::Interleave(const std::vector<TNetIPAddress>& addresses) {
  if (addresses.empty()) return {};
  std::vector<TNetIPAddress> first, other, order;
  for (const auto& address : addresses) (address.Family == addresses.front().Family ? first : other).push_back(address);
  for (size_t i = 0; i < std::max(first.size(), other.size()); ++i) {
    if (i < first.size()) order.push_back(first[i]);
    if (i < other.size()) order.push_back(other[i]);
  }
  return order;
}

int64_t TNetConnectRace::Elapsed() const { return NowMs() - startMs_; }

size_t TNetConnectRace::PendingCount() const {
  return static_cast<size_t>(std::count_if(attempts_.begin(), attempts_.end(), [](const TNetConnectAttempt& a) {
    return a.State == TNetConnectAttempt::csPending;
  }));
}

// The next address is due once the previous attempt has ended, or AttemptDelay after it
// started.
bool TNetConnectRace::StartDue() const {
  if (attempts_.size() == order_.size() || PendingCount() >= kMaxPending) return false;
  if (attempts_.empty()) return true;
  const TNetConnectAttempt& last = attempts_.back();
  return last.State != TNetConnectAttempt::csPending || Elapsed() >= last.StartedMs + AttemptDelay;
}

void TNetConnectRace::Fail(TNetConnectAttempt& attempt, int32_t code, const AnsiString& reason) {
  attempt.State = TNetConnectAttempt::csFailed;
  attempt.EndedMs = Elapsed();
  attempt.Code = code;
  attempt.Reason = reason;
  if (attempt.Handle) attempt.Handle->ShutAndClose();
}

void TNetConnectRace::StartNext() {
  TNetConnectAttempt& attempt = attempts_.emplace_back();
  attempt.Address = order_[attempts_.size() - 1];
  attempt.StartedMs = Elapsed();
  attempt.Handle = std::make_unique<TNetSocketHandle>();
  if (OnAttempt) OnAttempt(attempt.Address);
  try {
    attempt.Handle->OpenSocket(kSockStream, 0, attempt.Address.Family);
    if (Prepare) Prepare(*attempt.Handle);
    attempt.Handle->SetPeerAddress(attempt.Address.Text, port_);
    if (attempt.Handle->StartConnect() == 0) {
      attempt.State = TNetConnectAttempt::csConnected;
      attempt.EndedMs = Elapsed();
      return;
    }
  } catch (const ENetException& e) {
    // A socket of a family the system lacks, a failed bind: this address fails alone.
    if (order_.size() == 1) singleFailure_ = std::current_exception();
    Fail(attempt, 0, OneLine(e.Message()));
    return;
  }
  const int32_t code = GlobalStack->WSAGetLastError();
  if (code != WinSock::WSAEWOULDBLOCK) Fail(attempt, code, OneLine(GlobalStack->SocketErrorText(code)));
}

// How long the next wait may take: up to the next start, the limit and the pump's slice.
int32_t TNetConnectRace::StepWait() const {
  int64_t wait = -1;
  const auto cap = [&wait](int64_t ms) { wait = wait < 0 ? ms : std::min(wait, ms); };
  if (attempts_.size() < order_.size() && !attempts_.empty() && PendingCount() < kMaxPending)
    cap(attempts_.back().StartedMs + AttemptDelay - Elapsed());
  if (LimitMs >= 0) cap(LimitMs - Elapsed());
  if (Pumps) cap(SliceMs);
  return wait < 0 ? kNetNoTimeLimit : static_cast<int32_t>(std::max<int64_t>(wait, 0));
}

void TNetConnectRace::WaitStep() {
  TNetSocketList writable;
  for (const auto& attempt : attempts_) {
    if (attempt.State == TNetConnectAttempt::csPending) writable.push_back(attempt.Handle->OsSocket());
  }
  if (GlobalStack->select(nullptr, &writable, StepWait(), nullptr) > 0) {
    for (auto& attempt : attempts_) {
      if (attempt.State != TNetConnectAttempt::csPending ||
          std::find(writable.begin(), writable.end(), attempt.Handle->OsSocket()) == writable.end())
        continue;
      const int32_t code = attempt.Handle->FinishConnect();
      if (code != 0) {
        Fail(attempt, code, OneLine(GlobalStack->SocketErrorText(code)));
      } else {
        attempt.State = TNetConnectAttempt::csConnected;
        attempt.EndedMs = Elapsed();
        break;
      }
    }
  }
  if (Pumps) TNetFreezeGuardBase::PumpIfDue(true, false);
}

void TNetConnectRace::CloseOthers(const AnsiString& reason) {
  for (auto& attempt : attempts_) {
    if (attempt.State != TNetConnectAttempt::csPending) continue;
    attempt.State = TNetConnectAttempt::csClosed;
    attempt.EndedMs = Elapsed();
    attempt.Reason = reason;
    attempt.Handle->ShutAndClose();
  }
}

void TNetConnectRace::Cancel() {
  cancelled_ = true;
  CloseOthers("cancelled");
}

std::unique_ptr<TNetSocketHandle> TNetConnectRace::Run() {
  startMs_ = NowMs();
  TNetScopeExit log([this] { LogOutcome(); });
  for (;;) {
    if (cancelled_) throw ENetNotConnected();
    for (auto& attempt : attempts_) {
      if (attempt.State != TNetConnectAttempt::csConnected) continue;
      CloseOthers("another address answered first");
      return std::move(attempt.Handle);
    }
    if (StartDue()) {
      StartNext();
      continue;
    }
    if (PendingCount() == 0) RaiseAllFailed();
    if (LimitMs >= 0 && Elapsed() >= LimitMs) {
      CloseOthers("time limit reached");
      throw ENetConnectTimeout();
    }
    WaitStep();
  }
}

void TNetConnectRace::RaiseAllFailed() {
  if (attempts_.size() == 1) {
    if (singleFailure_) std::rethrow_exception(singleFailure_);
    const int32_t code = attempts_.front().Code;
    if (Plain) GlobalStack->ThrowSocketError(code);
    throw ENetConnectException(GlobalStack->SocketErrorText(code));
  }
  AnsiString reasons;
  for (const auto& attempt : attempts_)
    reasons += "\r\n" + TNetStack::BracketHost(attempt.Address.Text) + ": " + attempt.Reason;
  throw ENetConnectException(Format(NetText::EveryAddressFailed, host_.c_str(), port_) + reasons);
}

void TNetConnectRace::LogOutcome() const {
  const AnsiString target = "connect " + TNetStack::FormatHostPort(host_, port_) + ": ";
  AnsiString list;
  for (const auto& address : order_) list += (list.empty() ? "" : ", ") + TNetStack::BracketHost(address.Text);
  LogStep(target + IntToStr(static_cast<int64_t>(order_.size())) + " address(es) in the order tried: " + list);
  const TNetConnectAttempt* used = nullptr;
  for (const auto& attempt : attempts_) {
    const int64_t took = (attempt.State == TNetConnectAttempt::csPending ? Elapsed() : attempt.EndedMs) - attempt.StartedMs;
    AnsiString outcome = " after " + IntToStr(took) + " ms";
    switch (attempt.State) {
      case TNetConnectAttempt::csConnected: outcome = "connected" + outcome; used = &attempt; break;
      case TNetConnectAttempt::csFailed: outcome = "failed" + outcome + ": " + attempt.Reason; break;
      case TNetConnectAttempt::csClosed: outcome = "closed" + outcome + ": " + attempt.Reason; break;
      case TNetConnectAttempt::csPending: outcome = "still pending" + outcome; break;
    }
    LogStep(target + TNetStack::BracketHost(attempt.Address.Text) + " started at " + IntToStr(attempt.StartedMs) +
            " ms: " + outcome);
  }
  if (used) {
    LogStep(target + "using " + TNetStack::BracketHost(used->Address.Text) + " after " + IntToStr(used->EndedMs) + " ms");
  } else {
    LogStep(target + "no address connected after " + IntToStr(Elapsed()) + " ms");
  }
}
