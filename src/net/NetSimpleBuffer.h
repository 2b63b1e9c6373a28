// TNetSimpleBuffer: a memory stream that can give up bytes from its front.
// BytesRemoved fires after every removal with the count removed.
#pragma once

#include <cstdint>
#include <functional>

#include "runtime/MemoryStream.h"

class TNetSimpleBuffer : public TMemoryStream {
 public:
  std::function<void(TObject* Sender, int64_t count)> BytesRemoved;

  // Removes count bytes from the front (ENetNotEnoughDataInBuffer if fewer are held).
  virtual void Remove(int64_t count);
  // The first count bytes as text, removed.
  AnsiString Extract(int64_t count);
  // The held bytes (from the visible start) and their number.
  virtual const char* Data();
  // Appends at the end, keeping the position at the end.
  void Append(const void* buffer, int64_t count);

 protected:
  void CheckCount(int64_t count);
  void NotifyRemoved(int64_t count);
};
