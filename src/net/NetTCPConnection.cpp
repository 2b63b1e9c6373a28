#include "net/NetTCPConnection.h"

#include <algorithm>
#include <climits>
#include <cstring>
#include <typeinfo>

#include "net/NetException.h"
#include "net/NetFreezeGuard.h"
#include "net/NetIOHandlerSocket.h"
#include "net/NetScope.h"
#include "net/NetStack.h"
#include "platform/WinSock2.h"
#include "runtime/MemoryStream.h"

// Where a body block is received without passing the input queue: the caller's
// memory stream at Start (looked up anew at every receive, since code run during a
// wait may resize the stream), or a scratch block. Bytes received into it count as
// queued until the block is complete (then they are consumed) or the read fails (then
// they are moved into the input queue).
struct TNetTCPConnection::DirectTarget {
  TMemoryStream* Stream;
  char* Scratch;
  int64_t Start;
  int64_t Capacity;
  int64_t Filled;
  // The first byte of the block, or nullptr when the stream no longer holds it.
  char* Base() const {
    if (!Stream) return Scratch;
    return Stream->Size() >= Start + Capacity ? Stream->Memory() + Start : nullptr;
  }
};

namespace {
void MaskToSevenBits(char* data, int64_t n) {
  for (int64_t i = 0; i < n; ++i) data[i] = static_cast<char>(data[i] & 0x7F);
}

// Position of needle in data[from, size), or -1.
int64_t Find(const char* data, int64_t from, int64_t size, const AnsiString& needle) {
  if (needle.size() == 1) {
    const void* at = std::memchr(data + from, needle[0], static_cast<size_t>(size - from));
    return at ? static_cast<const char*>(at) - data : -1;
  }
  const char* end = data + size;
  const char* at = std::search(data + from, end, needle.begin(), needle.end());
  return at == end ? -1 : at - data;
}
}  // namespace

TNetTCPConnection::TNetTCPConnection(TComponent* owner)
    : TNetComponent(owner),
      inputQueue_(std::make_unique<TNetManagedBuffer>()),
      receiveBlock_(std::make_unique<TNetSimpleBuffer>()) {
  inputQueue_->BytesRemoved = [this](TObject*, int64_t count) { AddWork(wmRead, count); };
}

TNetTCPConnection::~TNetTCPConnection() {
  TNetTCPConnection::CloseIOHandler();
  if (ioHandler_ && !freeHandlerOnDisconnect_) ioHandler_->RemoveFreeNotification(this);
  ReleaseHandler();
}

void TNetTCPConnection::ReleaseHandler() {
  ioHandler_.reset();
  socketHandler_ = nullptr;
}

void TNetTCPConnection::AssignOwnedHandler(std::shared_ptr<TNetIOHandler> handler) {
  SetIOHandler(nullptr);
  ioHandler_ = std::move(handler);
  socketHandler_ = dynamic_cast<TNetIOHandlerSocket*>(ioHandler_.get());
}

void TNetTCPConnection::SetIOHandler(TNetIOHandler* handler) {
  if (ioHandler_) {
    if (!freeHandlerOnDisconnect_) ioHandler_->RemoveFreeNotification(this);
    ReleaseHandler();
    freeHandlerOnDisconnect_ = false;
  }
  if (!handler) return;
  // Not owned: the handler's destruction clears the reference.
  ioHandler_ = std::shared_ptr<TNetIOHandler>(handler, [](TNetIOHandler*) {});
  socketHandler_ = dynamic_cast<TNetIOHandlerSocket*>(handler);
  handler->AddFreeNotification(this, [this] { ReleaseHandler(); });
}

void TNetTCPConnection::DoOnDisconnected() {
  if (OnDisconnected) OnDisconnected(this);
}

void TNetTCPConnection::ResetInputState() {
  inputQueue_->Empty();
  directPending_ = 0;
  closeSeen_ = false;
}

int64_t TNetTCPConnection::QueuedBytes() { return inputQueue_->Size() + directPending_; }

void TNetTCPConnection::CheckConnectionLost(bool raiseIfLost, bool ignoreBuffer) {
  bool lost = false;
  if (closeSeen_ || !ioHandler_) {
    if (ioHandler_) {
      if (ioHandler_->IsConnected()) {
        CloseIOHandler();
        ReportStatus(hsDisconnected);
        DoOnDisconnected();
      }
      lost = true;
    }
  } else {
    lost = !ioHandler_->IsConnected();
  }
  if (lost && (QueuedBytes() == 0 || ignoreBuffer) && raiseIfLost) throw ENetConnClosedGracefully();
}

bool TNetTCPConnection::IsConnected() {
  CheckConnectionLost(false, false);
  return ioHandler_ && ioHandler_->IsConnected();
}

void TNetTCPConnection::ProbeForClose(bool raiseIfClosed) {
  try {
    FillInputBuffer(raiseIfClosed, 1, false);
  } catch (const ENetTLSTruncated&) {
    // An idle connection that the server dropped without close_notify: nothing was
    // being read, so nothing can have been cut; it is closed like any other.
    if (raiseIfClosed) throw ENetConnClosedGracefully();
  } catch (const ENetSocketError&) {
    // An idle connection that the server reset (or that failed otherwise) is closed by
    // now; a caller about to reuse it connects anew, and a failing network shows there.
    if (raiseIfClosed) throw;
  }
}

void TNetTCPConnection::CloseIOHandler() {
  if (!ioHandler_) return;
  closeSeen_ = true;
  const std::shared_ptr<TNetIOHandler> handler = ioHandler_;
  if (intercept_) intercept_->Disconnect();
  handler->ShutAndClose();
}

void TNetTCPConnection::CloseConnection() {
  ReportStatus(hsDisconnecting);
  CloseIOHandler();
  if (freeHandlerOnDisconnect_) {
    // An operation interrupted by this call may still hold the handler; it is
    // destroyed when the last holder lets go.
    ReleaseHandler();
    freeHandlerOnDisconnect_ = false;
  }
  DoOnDisconnected();
  ReportStatus(hsDisconnected);
}

int TNetTCPConnection::FillInputBuffer(bool raiseIfDisconnected, int32_t timeout, bool raiseOnTimeout) {
  return FillInto(nullptr, raiseIfDisconnected, timeout, raiseOnTimeout);
}

int TNetTCPConnection::FillInto(DirectTarget* direct, bool raiseIfDisconnected, int32_t timeout,
                                bool raiseOnTimeout) {
  if (timeout == kNetDefaultTimeout) timeout = readTimeout_ == 0 ? kNetNoTimeLimit : readTimeout_;
  CheckConnectionLost(raiseIfDisconnected, false);
  if (!IsConnected()) {
    if (raiseIfDisconnected) throw ENetNotConnected();
    return 0;
  }
  int result = 0;
  do {
    // Holding the handler keeps it alive while a pump inside the wait may release it.
    const std::shared_ptr<TNetIOHandler> handler = ioHandler_;
    int n = 0;
    bool silenced = false;
    const int32_t wait = silence_.BoundedWait(timeout, &silenced);
    // Without the guard a wait never pumps: a wait without limit is the blocking receive
    // itself, and with a limit bytes already waiting are taken without a readiness test.
    try {
      if (TNetFreezeGuardBase::IsEngaged() || !ReceiveOnce(*handler, direct, wait != kNetNoTimeLimit, &n)) {
        if (!handler->WaitReadable(wait)) {
          if (silenced) silence_.Raise();
          if (raiseOnTimeout) throw ENetReadTimeout();
          return -1;
        }
        if (ioHandler_ == handler) {
          ReceiveOnce(*handler, direct, false, &n);
        } else if (raiseIfDisconnected) {
          throw ENetNotConnected();
        }
      }
    } catch (const ENetTLSError&) {
      // A failed or cut TLS stream ends the connection as the peer's close does.
      if (ioHandler_ == handler) {
        closeSeen_ = true;
        CheckConnectionLost(false, false);
      }
      throw;
    }
    closeSeen_ = n == 0;
    if (n == -1) {
      // A failed receive ends the connection. Only a shut-down or aborted one that
      // still has bytes queued is no error yet: they are read first.
      const int32_t code = GlobalStack->WSAGetLastError();
      TNetStack::SetLastErrorCode(code);
      n = 0;
      CloseIOHandler();
      const bool quiet = code == WinSock::WSAESHUTDOWN || code == WinSock::WSAECONNABORTED;
      if (!quiet || QueuedBytes() == 0) GlobalStack->ThrowSocketError(code);
    }
    silence_.Note(n);
    CheckConnectionLost(raiseIfDisconnected, false);
    result = n;
  } while (result == 0 && IsConnected());
  return result;
}

bool TNetTCPConnection::ReceiveOnce(TNetIOHandler& handler, DirectTarget* direct, bool now, int* received) {
  auto receive = [&](void* at, int length) {
    return now ? handler.RawReceiveNow(at, length) : handler.RawReceive(at, length);
  };
  auto wouldBlock = [&](int n) { return now && n == -1 && GlobalStack->WSAGetLastError() == WinSock::WSAEWOULDBLOCK; };
  int n;
  if (direct) {
    char* base = direct->Base();
    if (!base) throw ENetNotEnoughDataInBuffer();
    char* at = base + direct->Filled;
    n = receive(at, static_cast<int>(std::min<int64_t>(recvBufferSize_, direct->Capacity - direct->Filled)));
    if (wouldBlock(n)) return false;
    if (n > 0) {
      if (asciiFilter_) MaskToSevenBits(at, n);
      direct->Filled += n;
      directPending_ += n;
    }
  } else {
    if (receiveBlock_->Size() < recvBufferSize_) receiveBlock_->SetSize(recvBufferSize_);
    n = receive(receiveBlock_->Memory(), recvBufferSize_);
    if (wouldBlock(n)) return false;
    if (n > 0) AcceptReceived(receiveBlock_->Memory(), n);
  }
  *received = n;
  return true;
}

void TNetTCPConnection::AcceptReceived(char* data, int n) {
  if (intercept_) {
    receiveBlock_->SetSize(n);
    receiveBlock_->SetPosition(0);
    intercept_->Receive(*receiveBlock_);
    data = receiveBlock_->Memory();
    n = static_cast<int>(receiveBlock_->Size());
  }
  if (asciiFilter_) MaskToSevenBits(data, n);
  inputQueue_->Append(data, n);
}

void TNetTCPConnection::RaiseMaxLine() { throw ENetReadLnMaxLineLengthExceeded(); }

AnsiString TNetTCPConnection::ReadLine(const AnsiString& terminator, int32_t timeout, int32_t maxLineLength) {
  if (maxLineLength == -1) maxLineLength = maxLineLength_;
  const AnsiString term = terminator.empty() ? AnsiString("\n") : terminator;
  readLineSplit_ = false;
  readLineTimedOut_ = false;
  int64_t termPos = 0;  // 1-based position of the terminator in the queue
  int64_t scanned = 0;
  auto overLong = [&]() -> AnsiString {
    if (maxLineAction_ == maException) RaiseMaxLine();
    readLineSplit_ = true;
    return inputQueue_->Extract(maxLineLength);
  };
  for (;;) {
    const int64_t size = inputQueue_->Size();
    if (size > 0) {
      // A terminator of several bytes may straddle the bytes already scanned.
      const int64_t from = std::max<int64_t>(0, scanned - static_cast<int64_t>(term.size()) + 1);
      const int64_t at = Find(inputQueue_->Data(), from, size, term);
      if (at >= 0) termPos = at + 1;
      scanned = size;
    }
    if (termPos - 1 > maxLineLength && maxLineLength != 0) return overLong();
    if (termPos > 0) break;
    if (scanned > maxLineLength && maxLineLength != 0) return overLong();
    CheckConnectionLost(true, true);
    // 0: the peer closed with a partial line queued; -1: an explicit timeout expired.
    if (FillInputBuffer(true, timeout, timeout == kNetDefaultTimeout) <= 0) {
      readLineTimedOut_ = true;
      return AnsiString();
    }
  }
  const int64_t take = termPos + static_cast<int64_t>(term.size()) - 1;
  AnsiString line = inputQueue_->Extract(take);
  line.resize(line.size() - term.size());
  if (term == "\n" && !line.empty() && line.back() == '\r') line.pop_back();
  return line;
}

void TNetTCPConnection::ReadExact(void* buffer, int64_t count) {
  if (count <= 0 || !buffer) return;
  while (inputQueue_->Size() < count) {
    FillInputBuffer(true, kNetDefaultTimeout, true);
    CheckConnectionLost(true, true);
  }
  std::memcpy(buffer, inputQueue_->Data(), static_cast<size_t>(count));
  inputQueue_->Remove(count);
}

int32_t TNetTCPConnection::ReadInt32(bool convert) {
  uint32_t value = 0;
  ReadExact(&value, 4);
  return static_cast<int32_t>(convert ? WinSock::HostToNet32(value) : value);
}

void TNetTCPConnection::CopyQueueToStream(TStream& stream, int64_t count, bool notify) {
  if (count <= 0) return;
  stream.WriteBuffer(inputQueue_->Data(), count);
  if (notify) {
    inputQueue_->Remove(count);
  } else {
    inputQueue_->Empty();
  }
}

int64_t TNetTCPConnection::ReadBlockDirect(DirectTarget& target, int64_t enough) {
  directPending_ = 0;
  // On failure the bytes of the unfinished block become ordinary queued bytes.
  TNetScopeExit requeue([&] {
    directPending_ = 0;
    if (char* base = target.Base(); base && target.Filled > 0) inputQueue_->Append(base, target.Filled);
  });
  while (target.Filled < std::min(enough, target.Capacity)) {
    FillInto(&target, true, kNetDefaultTimeout, true);
    CheckConnectionLost(true, true);
  }
  requeue.Release();
  directPending_ = 0;
  AddWork(wmRead, target.Filled);
  return target.Filled;
}

namespace {
// Makes room for a body from start on: at most kMaxPresize ahead of the data; room the
// caller already made is used as it is, and anything past the body's end goes. A
// memory stream's block grows geometrically, so many small bodies read one after the
// other into one stream are not copied again and again.
void PresizeForBody(TStream& stream, int64_t start, int64_t byteCount, int64_t maxPresize) {
  const int64_t presized = start + std::min(byteCount, maxPresize);
  const int64_t size = stream.Size();
  if (size >= presized && size <= start + byteCount) return;
  const int64_t target = size < presized ? presized : start + byteCount;
  if (auto* memory = dynamic_cast<TMemoryStream*>(&stream); memory && target > memory->Capacity())
    memory->SetSize(std::max(target, memory->Capacity() + memory->Capacity() / 2));
  stream.SetSize(target);
  stream.SetPosition(start);
}
}  // namespace

void TNetTCPConnection::ReadToStream(TStream& stream, int64_t byteCount, bool readUntilDisconnect) {
  if (byteCount == -1 && !readUntilDisconnect) byteCount = ReadInt32(true);
  // Whatever ends the read, the stream ends where the data ends.
  TNetScopeExit cut([&stream] {
    if (stream.Size() > stream.Position()) stream.SetSize(stream.Position());
  });
  if (byteCount >= 0) PresizeForBody(stream, stream.Position(), byteCount, kMaxPresize);
  int64_t remaining = readUntilDisconnect && byteCount < 0 ? INT64_MAX : byteCount;
  BeginSilenceWatch();
  TNetScopeExit unwatch([this] { EndSilenceWatch(); });
  TNetWorkBracket work(*this, wmRead, readUntilDisconnect ? 0 : byteCount);
  const int64_t leftover = std::min(inputQueue_->Size(), remaining);
  if (leftover > 0) {
    CopyQueueToStream(stream, leftover, true);
    remaining -= leftover;
  }
  // A plain memory stream receives in place where it is already sized (its
  // subclasses may place their bytes differently); beyond that, and for other
  // streams, a block is received into the scratch block and written, so the stream
  // grows with the data and is never filled with zeros first. Other streams (a file)
  // get what has arrived once it reaches kStreamBlock bytes: the work events, and what
  // a person sees of them, follow the bytes on a slow link as on a fast one.
  TMemoryStream* memory = typeid(stream) == typeid(TMemoryStream) ? static_cast<TMemoryStream*>(&stream) : nullptr;
  const int64_t blockSize = std::min<int64_t>(remaining, recvBufferSize_);
  std::vector<char> block(static_cast<size_t>(blockSize));
  while (IsConnected() && remaining > 0) {
    int64_t n = std::min(remaining, blockSize);
    try {
      const int64_t at = stream.Position();
      if (intercept_ || inputQueue_->Size() > 0) {
        ReadExact(block.data(), n);
        stream.WriteBuffer(block.data(), n);
      } else if (memory && memory->Size() >= at + n) {
        DirectTarget target{memory, nullptr, at, n, 0};
        ReadBlockDirect(target, n);
        stream.SetPosition(at + n);
      } else {
        // Done once kStreamBlock bytes are in: each receive still takes what waits, up to n.
        DirectTarget target{nullptr, block.data(), 0, n, 0};
        n = ReadBlockDirect(target, memory ? n : kStreamBlock);
        stream.WriteBuffer(block.data(), n);
      }
    } catch (const ENetConnClosedGracefully&) {
      if (!readUntilDisconnect) throw;
      n = std::min(inputQueue_->Size(), remaining);
      CopyQueueToStream(stream, n, false);
    }
    remaining -= n;
  }
}

AnsiString TNetTCPConnection::ReadAllText() {
  TMemoryStream stream;
  ReadToStream(stream, -1, true);
  return AnsiString(stream.Memory() ? stream.Memory() : "", static_cast<size_t>(stream.Size()));
}

AnsiString TNetTCPConnection::TakeInput(int32_t timeout) {
  if (inputQueue_->Size() == 0) FillInputBuffer(true, timeout, false);
  return inputQueue_->Extract(inputQueue_->Size());
}

void TNetTCPConnection::StartWriteBuffering(int32_t threshold) {
  writeCollector_ = std::make_unique<TNetSimpleBuffer>();
  writeThreshold_ = threshold;
}

void TNetTCPConnection::FlushWriteBuffering(int64_t count) {
  if (!writeCollector_ || writeCollector_->Size() == 0) return;
  const int64_t held = writeCollector_->Size();
  const int64_t take = (count != -1 && held >= count) ? count : held;
  // Sent from a copy: code run inside the send's pump may write to the collector.
  const AnsiString bytes(writeCollector_->Memory(), static_cast<size_t>(take));
  WriteBytes(bytes.data(), take, true);
  if (writeCollector_ && writeCollector_->Size() >= take) writeCollector_->Remove(take);
}

void TNetTCPConnection::FinishWriteBuffering() {
  TNetScopeExit drop([this] { writeCollector_.reset(); });
  FlushWriteBuffering(-1);
}

void TNetTCPConnection::DiscardWriteBuffering() {
  if (writeCollector_) writeCollector_->Clear();
}

void TNetTCPConnection::WriteBytes(const void* buffer, int64_t count, bool writeNow) {
  if (count <= 0 || !buffer) return;
  CheckConnectionLost(true, true);
  if (!IsConnected()) throw ENetNotConnected();
  if (writeNow || !writeCollector_) {
    if (intercept_) {
      TNetSimpleBuffer copy;
      copy.Append(buffer, count);
      copy.SetPosition(0);
      intercept_->Send(copy);
      SendLoop(copy.Memory(), copy.Size());
    } else {
      SendLoop(static_cast<const char*>(buffer), count);
    }
    return;
  }
  writeCollector_->Append(buffer, count);
  if (writeThreshold_ > 0 && writeCollector_->Size() >= writeThreshold_) FlushWriteBuffering(writeThreshold_);
}

void TNetTCPConnection::SendLoop(const char* data, int64_t count) {
  const std::shared_ptr<TNetIOHandler> handler = ioHandler_;
  int64_t sent = 0;
  while (sent < count) {
    // A pump after the previous send may have closed or replaced the connection.
    if (!handler || ioHandler_ != handler || !handler->IsConnected()) throw ENetNotConnected();
    const int length = static_cast<int>(std::min<int64_t>(count - sent, INT_MAX / 2));
    const int n = handler->RawSend(data + sent, length);
    const int32_t code = n == -1 ? GlobalStack->WSAGetLastError() : 0;
    TNetFreezeGuardBase::PumpIfDue(false, false);
    closeSeen_ = n == 0;
    CheckConnectionLost(true, false);
    if (n == -1) {
      // A failed send ends the connection, whatever the code.
      TNetStack::SetLastErrorCode(code);
      CloseIOHandler();
      GlobalStack->ThrowSocketError(code);
    }
    AddWork(wmWrite, n);
    sent += n;
  }
}

void TNetTCPConnection::WriteText(const AnsiString& text) {
  if (!text.empty()) WriteBytes(text.data(), static_cast<int64_t>(text.size()), false);
}

void TNetTCPConnection::WriteLine(const AnsiString& text) { WriteText(text + "\r\n"); }

void TNetTCPConnection::WriteInt32(int32_t value, bool convert) {
  const uint32_t wire = convert ? WinSock::HostToNet32(static_cast<uint32_t>(value)) : static_cast<uint32_t>(value);
  WriteBytes(&wire, 4, false);
}

void TNetTCPConnection::WriteFromStream(TStream& stream, bool fromStart, int64_t size, bool withLengthPrefix) {
  if (fromStart) stream.SetPosition(0);
  const int64_t end = size != 0 ? stream.Position() + size : stream.Size();
  const int64_t count = end - stream.Position();
  if (withLengthPrefix) WriteInt32(static_cast<int32_t>(count), true);
  TNetWorkBracket work(*this, wmWrite, count);
  std::vector<char> block(static_cast<size_t>(sendBufferSize_));
  for (;;) {
    const int64_t n = std::min<int64_t>(end - stream.Position(), sendBufferSize_);
    if (n <= 0) break;
    const int64_t got = stream.Read(block.data(), n);
    if (got == 0) throw ENetNoDataToRead();
    WriteBytes(block.data(), got, false);
  }
}
