// Internal to the zip reader; not part of its interface.
// Decoding one entry's data, block by block: stored or deflated data, with the checks
// that decide whether the entry came through whole (its size and its CRC-32). It works
// on bytes alone; where the blocks come from and where the output goes are the
// caller's (private to src/zip).
#pragma once

#include <zlib.h>

#include <cstddef>
#include <cstdint>
#include <functional>
#include <vector>

class TZipEntryDecoder {
 public:
  // Receives decoded bytes in order; false fails the entry (a short write).
  using TSink = std::function<bool(const uint8_t* data, size_t size)>;

  // method: kZipMethodStored or kZipMethodDeflated; any other decodes nothing (an
  // entry of the format's first version with an unknown method). declaredSize and crc
  // are the directory's. output is the buffer inflated bytes pass through.
  TZipEntryDecoder(uint16_t method, uint64_t declaredSize, uint32_t crc, std::vector<uint8_t>& output, TSink sink);
  ~TZipEntryDecoder();
  TZipEntryDecoder(const TZipEntryDecoder&) = delete;
  TZipEntryDecoder& operator=(const TZipEntryDecoder&) = delete;

  // Feeds the next block of entry data; false once the entry has failed (bad deflate
  // data, output past the declared size, a short write).
  bool Feed(const uint8_t* data, size_t size);
  bool Failed() const { return failed_; }
  // True when no more data is wanted: the deflate data has ended (or nothing is decoded).
  bool Ended() const { return ended_; }
  // The bytes of the last block that followed the end of the deflate data.
  const uint8_t* Leftover() const { return leftover_; }
  size_t LeftoverSize() const { return leftoverSize_; }
  // The checks once the data is through: nothing failed, exactly the declared size came
  // out, and its CRC-32 is the directory's.
  bool Whole() const;

 private:
  bool Emit(const uint8_t* data, size_t size);
  bool Inflate(const uint8_t* data, size_t size);

  uint16_t method_;
  uint64_t declared_;
  uint32_t crc_;
  std::vector<uint8_t>& output_;
  TSink sink_;
  z_stream z_{};
  bool inflating_ = false;
  bool failed_ = false;
  bool ended_ = false;
  uint64_t written_ = 0;
  uLong running_ = 0;
  const uint8_t* leftover_ = nullptr;
  size_t leftoverSize_ = 0;
};
