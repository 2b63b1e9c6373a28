// Internal to the zip reader; not part of its interface.
// A little-endian reader over a bounded byte range.
//
// Every read checks the bytes left first; a read past the end fails the cursor for
// good (Ok() turns false) and yields zeros, so a parser checks Ok() once at the end
// instead of after each field.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

class TZipByteCursor {
 public:
  TZipByteCursor(const uint8_t* data, size_t size) : data_(data), size_(size) {}

  bool Ok() const { return ok_; }
  size_t Position() const { return pos_; }
  size_t Left() const { return ok_ ? size_ - pos_ : 0; }

  uint8_t U8() { return static_cast<uint8_t>(Take(1)); }
  uint16_t U16() { return static_cast<uint16_t>(Take(2)); }
  uint32_t U32() { return static_cast<uint32_t>(Take(4)); }
  uint64_t U64() { return Take(8); }

  // Copies count bytes to out; fails the cursor when fewer are left.
  bool Bytes(void* out, size_t count) {
    if (!Need(count)) return false;
    std::memcpy(out, data_ + pos_, count);
    pos_ += count;
    return true;
  }
  // A pointer to the next count bytes, which are then passed over; nullptr on overrun.
  const uint8_t* Span(size_t count) {
    if (!Need(count)) return nullptr;
    const uint8_t* p = data_ + pos_;
    pos_ += count;
    return p;
  }
  bool Skip(size_t count) { return Span(count) != nullptr; }

 private:
  bool Need(size_t count) {
    if (!ok_ || count > size_ - pos_) ok_ = false;
    return ok_;
  }
  uint64_t Take(size_t width) {
    if (!Need(width)) return 0;
    uint64_t value = 0;
    for (size_t i = 0; i < width; ++i) value |= static_cast<uint64_t>(data_[pos_ + i]) << (8 * i);
    pos_ += width;
    return value;
  }

  const uint8_t* data_;
  size_t size_;
  size_t pos_ = 0;
  bool ok_ = true;
};

// Little-endian loads from a buffer the caller has already bounds-checked.
inline uint32_t ZipLoad32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}
