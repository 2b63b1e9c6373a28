#include "zip/ZipScan.h"

#include <algorithm>
#include <cstring>

#include "runtime/Exception.h"
#include "zip/ZipByteCursor.h"

const uint8_t* TZipWindowReader::Fetch(int64_t pos, size_t count) {
  const int64_t end = start_ + static_cast<int64_t>(buffer_.size());
  if (pos >= start_ && pos <= end && static_cast<int64_t>(count) <= end - pos)
    return buffer_.data() + (pos - start_);
  const int64_t size = stream_.Size();
  if (pos < 0 || pos > size || static_cast<int64_t>(count) > size - pos) throw EReadError("Stream read error");
  const int64_t want = std::min<int64_t>(std::max(count, windowSize_), size - pos);
  buffer_.resize(static_cast<size_t>(want));
  start_ = pos;
  stream_.ReadExactAt(pos, buffer_.data(), want);
  return buffer_.data();
}

int64_t TZipSignatureScanner::Next(int64_t from) {
  if (from < 0) from = 0;
  const uint8_t first = static_cast<uint8_t>(signature_ & 0xFF);
  for (;;) {
    if (from < start_ || from + 4 > start_ + static_cast<int64_t>(length_)) {
      // Refill at from; the caller's position always starts the window, so a
      // signature cut by the previous window's end is seen whole in the next.
      buffer_.resize(windowSize_);
      start_ = from;
      length_ = static_cast<size_t>(stream_.ReadAt(from, buffer_.data(), static_cast<int64_t>(windowSize_)));
      if (length_ < 4) return -1;
    }
    const uint8_t* base = buffer_.data();
    size_t i = static_cast<size_t>(from - start_);
    while (i + 4 <= length_) {
      const void* hit = std::memchr(base + i, first, length_ - 3 - i);
      if (!hit) break;
      i = static_cast<size_t>(static_cast<const uint8_t*>(hit) - base);
      if (ZipLoad32(base + i) == signature_) return start_ + static_cast<int64_t>(i);
      ++i;
    }
    if (length_ < windowSize_) return -1;  // the window reached the end of the file
    from = start_ + static_cast<int64_t>(length_) - 3;
  }
}
