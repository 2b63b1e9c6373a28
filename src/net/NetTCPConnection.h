// TNetTCPConnection: buffered reads and collected writes over an I/O handler.
//
// Received bytes go through InputQueue: ReadLine, ReadExact and ReadToStream consume
// from it, and every consumption inside a read work scope is reported as OnWork with
// the running total. FillInto (behind FillInputBuffer and the direct body reads) is
// the only place that receives.
//
// Re-entrancy: every wait and every send may pump the GUI's messages, and the code run
// there may call CloseConnection on this connection (the cancel button). The handler
// is held by shared ownership: CloseConnection closes the socket at once and drops the
// connection's reference, while the interrupted operation keeps the handler alive
// until it has unwound. That operation then ends with ENetNotConnected or
// ENetConnClosedGracefully, never by touching freed memory.
//
// Timeouts are ms; kNetDefaultTimeout (-1) means ReadTimeout, kNetNoTimeLimit (-2) no
// limit; a ReadTimeout of 0 is no limit.
//
// Silence: with SilenceMinBytes > 0, a body read (ReadToStream, or whatever runs
// between BeginSilenceWatch and EndSilenceWatch, such as the HTTP client's response head) raises ENetConnectionSilent as soon as
// fewer than SilenceMinBytes bytes have arrived in the last SilenceWindow ms (counted
// from the start of the read at first), however long ReadTimeout is. Off by default.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "net/NetComponent.h"
#include "net/NetConnectionIntercept.h"
#include "net/NetIOHandler.h"
#include "net/NetManagedBuffer.h"
#include "net/NetSilenceRule.h"

class TStream;
class TMemoryStream;
class TNetIOHandlerSocket;

enum TNetMaxLineAction { maException, maSplit };

struct TNetRFCReply {
  int32_t NumericCode = 0;
  AnsiString TextCode;
  std::vector<AnsiString> Text;
};

class TNetTCPConnection : public TNetComponent {
 public:
  explicit TNetTCPConnection(TComponent* owner = nullptr);
  ~TNetTCPConnection() override;

  // Properties.
  bool ASCIIFilter() const { return asciiFilter_; }
  void SetASCIIFilter(bool value) { asciiFilter_ = value; }
  bool CloseSeen() const { return closeSeen_; }
  bool FreeHandlerOnDisconnect() const { return freeHandlerOnDisconnect_; }
  TNetManagedBuffer& InputQueue() { return *inputQueue_; }
  TNetConnectionIntercept* Intercept() const { return intercept_; }
  void SetIntercept(TNetConnectionIntercept* value) { intercept_ = value; }
  TNetIOHandler* IOHandler() const { return ioHandler_.get(); }
  // A handler created by OpenConnection is released first; the new one is not owned.
  void SetIOHandler(TNetIOHandler* handler);
  TNetMaxLineAction MaxLineAction() const { return maxLineAction_; }
  void SetMaxLineAction(TNetMaxLineAction value) { maxLineAction_ = value; }
  int32_t MaxLineLength() const { return maxLineLength_; }
  void SetMaxLineLength(int32_t value) { maxLineLength_ = value; }
  bool ReadLineSplit() const { return readLineSplit_; }
  bool ReadLineTimedOut() const { return readLineTimedOut_; }
  int32_t ReadTimeout() const { return readTimeout_; }
  void SetReadTimeout(int32_t value) { readTimeout_ = value; }
  int32_t RecvBufferSize() const { return recvBufferSize_; }
  void SetRecvBufferSize(int32_t value) { recvBufferSize_ = value > 0 ? value : 1; }
  int32_t SendBufferSize() const { return sendBufferSize_; }
  void SetSendBufferSize(int32_t value) { sendBufferSize_ = value > 0 ? value : 1; }
  // The silence rule (see above): 0 bytes turns it off.
  int32_t SilenceMinBytes() const { return silence_.MinBytes(); }
  int32_t SilenceWindow() const { return silence_.WindowMs(); }
  void SetSilenceLimit(int32_t minBytes, int32_t windowMs) { silence_.Set(minBytes, windowMs); }
  // Brackets a body read that the silence rule watches; brackets nest.
  void BeginSilenceWatch() { silence_.Begin(); }
  void EndSilenceWatch() { silence_.End(); }
  TNetSimpleBuffer* WriteCollector() const { return writeCollector_.get(); }
  int32_t WriteThreshold() const { return writeThreshold_; }
  TNetRFCReply& Greeting() { return greeting_; }
  TNetRFCReply& LastCmdResult() { return lastCmdResult_; }

  TNotifyEvent OnDisconnected;

  // State.
  virtual void ResetInputState();
  virtual bool IsConnected();
  virtual void CheckConnectionLost(bool raiseIfLost, bool ignoreBuffer = false);
  // A 1 ms read attempt that never raises on time-out. With raiseIfClosed false it never
  // raises at all: a connection the peer closed, reset or cut while idle is just closed.
  virtual void ProbeForClose(bool raiseIfClosed);
  virtual void CloseConnection();
  virtual void CloseIOHandler();

  // Reading. FillInputBuffer returns the bytes received, 0 when the peer closed, -1
  // on a time-out that did not raise.
  virtual int FillInputBuffer(bool raiseIfDisconnected = true, int32_t timeout = kNetDefaultTimeout,
                              bool raiseOnTimeout = true);
  // One line up to the terminator (empty: LF; a CR before an LF terminator is dropped).
  // An expired explicit timeout returns "" with ReadLineTimedOut set.
  virtual AnsiString ReadLine(const AnsiString& terminator = AnsiString(), int32_t timeout = kNetDefaultTimeout,
                              int32_t maxLineLength = -1);
  void ReadExact(void* buffer, int64_t count);
  int32_t ReadInt32(bool convert = true);
  // A counted body (count >= 0), a length-prefixed one (count -1), or everything until
  // the peer closes (readUntilDisconnect; at most byteCount bytes when that is >= 0).
  // Writes at the stream's position; OnWorkBegin/OnWork/OnWorkEnd in one work bracket.
  void ReadToStream(TStream& stream, int64_t byteCount = -1, bool readUntilDisconnect = false);
  // Everything until the peer closes, as text.
  virtual AnsiString ReadAllText();
  // Whatever the next receive brings (at least what is queued), as text.
  AnsiString TakeInput(int32_t timeout = kNetDefaultTimeout);

  // Writing.
  void StartWriteBuffering(int32_t threshold = -1);
  void FlushWriteBuffering(int64_t count = -1);
  void FinishWriteBuffering();
  void DiscardWriteBuffering();
  void WriteBytes(const void* buffer, int64_t count, bool writeNow = false);
  virtual void WriteText(const AnsiString& text);
  virtual void WriteLine(const AnsiString& text = AnsiString());
  void WriteInt32(int32_t value, bool convert = true);
  virtual void WriteFromStream(TStream& stream, bool fromStart = true, int64_t size = 0,
                               bool withLengthPrefix = false);

  // Largest byte count a counted body pre-sizes its stream for; it grows past that
  // with the data, so a hostile length reserves nothing before bytes arrive.
  static constexpr int64_t kMaxPresize = 16 * 1024 * 1024;
  // ReadToStream writes to a stream other than a memory stream, and tells the work, as soon
  // as this many bytes have arrived (or more, when more came at once).
  static constexpr int64_t kStreamBlock = 32 * 1024;

 protected:
  // The disconnected-event hook: fires OnDisconnected. Descendants extend it.
  virtual void DoOnDisconnected();
  // The handler as shared by the connection (empty when none).
  const std::shared_ptr<TNetIOHandler>& HandlerRef() const { return ioHandler_; }
  // Installs a handler the connection owns (created by OpenConnection).
  void AssignOwnedHandler(std::shared_ptr<TNetIOHandler> handler);
  void SetFreeHandlerOnDisconnect(bool value) { freeHandlerOnDisconnect_ = value; }
  void SetCloseSeen(bool value) { closeSeen_ = value; }

 private:
  struct DirectTarget;
  int FillInto(DirectTarget* direct, bool raiseIfDisconnected, int32_t timeout, bool raiseOnTimeout);
  // now: a receive that never waits; returns false (n untouched) when nothing waits.
  bool ReceiveOnce(TNetIOHandler& handler, DirectTarget* direct, bool now, int* n);
  void AcceptReceived(char* data, int n);
  int64_t QueuedBytes();
  // Receives into target until it holds at least `enough` bytes (at most its capacity), then
  // reports them as consumed; returns how many it holds.
  int64_t ReadBlockDirect(DirectTarget& target, int64_t enough);
  void CopyQueueToStream(TStream& stream, int64_t count, bool notify);
  void ReleaseHandler();
  void SendLoop(const char* data, int64_t count);
  [[noreturn]] void RaiseMaxLine();

  bool asciiFilter_ = false;
  bool closeSeen_ = false;
  TNetRFCReply greeting_;
  TNetRFCReply lastCmdResult_;
  bool freeHandlerOnDisconnect_ = false;
  std::unique_ptr<TNetManagedBuffer> inputQueue_;
  TNetConnectionIntercept* intercept_ = nullptr;
  std::shared_ptr<TNetIOHandler> ioHandler_;
  TNetMaxLineAction maxLineAction_ = maException;
  int32_t maxLineLength_ = 16384;
  bool readLineSplit_ = false;
  bool readLineTimedOut_ = false;
  int32_t readTimeout_ = 0;
  int32_t recvBufferSize_ = 32768;
  std::unique_ptr<TNetSimpleBuffer> receiveBlock_;
  int32_t sendBufferSize_ = 32768;
  TNetIOHandlerSocket* socketHandler_ = nullptr;
  std::unique_ptr<TNetSimpleBuffer> writeCollector_;
  int32_t writeThreshold_ = 0;
  // Bytes received straight into a caller's stream that count as queued.
  int64_t directPending_ = 0;
  TNetSilenceRule silence_;
};
