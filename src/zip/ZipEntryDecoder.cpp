#include "zip/ZipEntryDecoder.h"

#include <algorithm>

#include "zip/ZipRecords.h"

TZipEntryDecoder::TZipEntryDecoder(uint16_t method, uint64_t declaredSize, uint32_t crc, std::vector<uint8_t>& output,
                                   TSink sink)
    : method_(method), declared_(declaredSize), crc_(crc), output_(output), sink_(std::move(sink)) {
  running_ = crc32(0, nullptr, 0);
  if (method_ == kZipMethodDeflated) {
    // Raw deflate: ZIP data has neither the zlib header nor its trailer.
    inflating_ = inflateInit2(&z_, -MAX_WBITS) == Z_OK;
    failed_ = !inflating_;
  } else if (method_ != kZipMethodStored) {
    ended_ = true;
  }
}

TZipEntryDecoder::~TZipEntryDecoder() {
  if (inflating_) inflateEnd(&z_);
}

bool TZipEntryDecoder::Emit(const uint8_t* data, size_t size) {
  if (size == 0) return true;
  // Past the declared size the entry has failed, whatever follows.
  if (size > declared_ - std::min(written_, declared_)) return false;
  written_ += size;
  running_ = crc32(running_, data, static_cast<uInt>(size));
  return sink_(data, size);
}

bool TZipEntryDecoder::Inflate(const uint8_t* data, size_t size) {
  z_.next_in = const_cast<Bytef*>(data);
  z_.avail_in = static_cast<uInt>(size);
  for (;;) {
    z_.next_out = output_.data();
    z_.avail_out = static_cast<uInt>(output_.size());
    const int result = inflate(&z_, Z_NO_FLUSH);
    if (result < 0 && result != Z_BUF_ERROR) return false;
    const size_t produced = output_.size() - z_.avail_out;
    if (!Emit(output_.data(), produced)) return false;
    if (result == Z_STREAM_END) {
      ended_ = true;
      leftover_ = z_.next_in;
      leftoverSize_ = z_.avail_in;
      return true;
    }
    if (produced == 0 && result == Z_BUF_ERROR) return true;
    if (z_.avail_in == 0 && z_.avail_out != 0) return true;
  }
}

bool TZipEntryDecoder::Feed(const uint8_t* data, size_t size) {
  if (failed_ || ended_) return !failed_;
  const bool ok = method_ == kZipMethodStored ? Emit(data, size) : Inflate(data, size);
  failed_ = !ok;
  return ok;
}

bool TZipEntryDecoder::Whole() const {
  return !failed_ && written_ == declared_ && static_cast<uint32_t>(running_) == crc_;
}
