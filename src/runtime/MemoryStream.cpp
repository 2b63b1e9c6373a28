#include "runtime/MemoryStream.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <new>

#include "runtime/Exception.h"
#include "runtime/FileUtils.h"

void TMemoryStream::Reserve(int64_t capacity) {
  if (capacity <= capacity_) return;
  void* grown = std::realloc(data_.get(), static_cast<size_t>(capacity));
  if (!grown) throw std::bad_alloc();
  data_.release();
  data_.reset(static_cast<char*>(grown));
  capacity_ = capacity;
}

int64_t TMemoryStream::Read(void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0 || position_ >= size_) return 0;
  const int64_t n = std::min(count, size_ - position_);
  std::memcpy(buffer, data_.get() + position_, static_cast<size_t>(n));
  position_ += n;
  return n;
}

int64_t TMemoryStream::Write(const void* buffer, int64_t count) {
  if (count <= 0 || position_ < 0 || count > INT64_MAX - position_) return 0;
  const int64_t end = position_ + count;
  if (end > capacity_) Reserve(std::max(end, capacity_ + capacity_ / 2 + 8192));
  if (position_ > size_) std::memset(data_.get() + size_, 0, static_cast<size_t>(position_ - size_));
  std::memcpy(data_.get() + position_, buffer, static_cast<size_t>(count));
  position_ = end;
  size_ = std::max(size_, end);
  return count;
}

int64_t TMemoryStream::Seek(int64_t offset, TSeekOrigin origin) {
  switch (origin) {
    case soBeginning: position_ = offset; break;
    case soCurrent: position_ += offset; break;
    case soEnd: position_ = size_ + offset; break;
  }
  return position_;
}

void TMemoryStream::SetSize(int64_t size) {
  if (size < 0) size = 0;
  Reserve(size);
  if (size > size_) std::memset(data_.get() + size_, 0, static_cast<size_t>(size - size_));
  size_ = size;
  if (position_ > size_) position_ = size_;
}

void TMemoryStream::Clear() {
  data_.reset();
  size_ = capacity_ = position_ = 0;
}

// Saving and loading go through the atomic file helpers, so a failed save never
// leaves a partial file where a whole one was.
void TMemoryStream::LoadFromFile(const AnsiString& fileName) {
  std::string content = ReadFileContent(fileName);
  Clear();
  SetSize(static_cast<int64_t>(content.size()));
  if (!content.empty()) std::memcpy(data_.get(), content.data(), content.size());
}
