// TNetManagedBuffer: the connection's input queue.
//
// Consuming from the front only advances ReadOffset; the visible bytes are moved to
// the front of the block once PackThreshold consumed bytes have piled up, so reading
// a body block by block never shifts the queue on every block. Size and positions are
// relative to the visible start.
#pragma once

#include "net/NetSimpleBuffer.h"

class TNetManagedBuffer : public TNetSimpleBuffer {
 public:
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  void Remove(int64_t count) override;
  const char* Data() override;
  // Empties the queue (ReadOffset back to 0).
  void Empty();

  int64_t ReadOffset() const { return readOffset_; }
  int32_t PackThreshold() const { return packThreshold_; }
  void SetPackThreshold(int32_t value) { packThreshold_ = value; }

  // Above this the block is released when the queue empties; below it is kept.
  static constexpr int64_t kKeptCapacity = 256 * 1024;

 private:
  int64_t readOffset_ = 0;
  int32_t packThreshold_ = 32768;
};
