#include "runtime/BoundedStream.h"

int64_t TBoundedStream::Write(const void* buffer, int64_t count) {
  if (count > limit_ - target_.Position()) throw EStreamLimitError(refusal_);
  return target_.Write(buffer, count);
}

void TBoundedStream::SetSize(int64_t size) {
  // Room made ahead for a body that declares its length: a length past the end is refused
  // before a byte of it is read.
  if (size > limit_) throw EStreamLimitError(refusal_);
  target_.SetSize(size);
}
