// TBoundedStream: a caller's stream that takes bytes only up to a fixed end, for bodies that
// must never grow without bound (a server that sends without end, or more than it signed).
//
// Reads, seeks and sizes go to the target unchanged. A write (or a size) that would reach
// past `limit` bytes from the target's start writes nothing and raises EStreamLimitError
// with the text the owner gave: the reader of the body stops at once, and what the target
// held up to there stays as it was. The target is not owned.
#pragma once

#include "runtime/Exception.h"
#include "runtime/Stream.h"

TAVRO_DECLARE_EXCEPTION(EStreamLimitError, Exception)

class TBoundedStream : public TStream {
 public:
  TBoundedStream(TStream& target, int64_t limit, AnsiString refusal)
      : target_(target), limit_(limit), refusal_(std::move(refusal)) {}

  int64_t Read(void* buffer, int64_t count) override { return target_.Read(buffer, count); }
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override { return target_.Seek(offset, origin); }
  int64_t Size() override { return target_.Size(); }
  void SetSize(int64_t size) override;

 private:
  TStream& target_;
  int64_t limit_;
  AnsiString refusal_;
};
