#include "net/NetManagedBuffer.h"

#include <cstring>

int64_t TNetManagedBuffer::Seek(int64_t offset, TSeekOrigin origin) {
  if (origin == soBeginning) offset += readOffset_;
  return TMemoryStream::Seek(offset, origin) - readOffset_;
}

int64_t TNetManagedBuffer::Size() { return TMemoryStream::Size() - readOffset_; }

void TNetManagedBuffer::SetSize(int64_t size) { TMemoryStream::SetSize(size + readOffset_); }

const char* TNetManagedBuffer::Data() { return Memory() + readOffset_; }

void TNetManagedBuffer::Empty() {
  readOffset_ = 0;
  // A small block is kept for the next receive; a large one is given back.
  if (Capacity() > kKeptCapacity) {
    Clear();
  } else {
    TMemoryStream::SetSize(0);
  }
}

void TNetManagedBuffer::Remove(int64_t count) {
  if (count <= 0) return;
  CheckCount(count);
  const int64_t visible = Size();
  if (count == visible) {
    Empty();
  } else {
    readOffset_ += count;
    if (readOffset_ >= packThreshold_) {
      const int64_t rest = visible - count;
      std::memmove(Memory(), Memory() + readOffset_, static_cast<size_t>(rest));
      readOffset_ = 0;
      TMemoryStream::SetSize(rest);
    }
  }
  Seek(0, soEnd);
  NotifyRemoved(count);
}
