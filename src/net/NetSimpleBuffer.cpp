#include "net/NetSimpleBuffer.h"

#include <cstring>

#include "net/NetException.h"

void TNetSimpleBuffer::CheckCount(int64_t count) {
  if (count > Size()) throw ENetNotEnoughDataInBuffer();
}

void TNetSimpleBuffer::NotifyRemoved(int64_t count) {
  if (BytesRemoved) BytesRemoved(this, count);
}

const char* TNetSimpleBuffer::Data() { return Memory(); }

void TNetSimpleBuffer::Remove(int64_t count) {
  if (count <= 0) return;
  CheckCount(count);
  const int64_t rest = Size() - count;
  if (rest > 0) std::memmove(Memory(), Memory() + count, static_cast<size_t>(rest));
  TMemoryStream::SetSize(rest);
  Seek(0, soEnd);
  NotifyRemoved(count);
}

AnsiString TNetSimpleBuffer::Extract(int64_t count) {
  if (count <= 0) return AnsiString();
  CheckCount(count);
  AnsiString text(Data(), static_cast<size_t>(count));
  Remove(count);
  return text;
}

void TNetSimpleBuffer::Append(const void* buffer, int64_t count) {
  Seek(0, soEnd);
  WriteBuffer(buffer, count);
}
