// TMemoryStream: a growable block of bytes with a position.
//
// Capacity grows geometrically, so writing a large body block by block costs
// amortised linear time; SetSize reserves exactly what it is asked for.
#pragma once

#include <cstdlib>
#include <memory>

#include "runtime/Stream.h"

class TMemoryStream : public TStream {
 public:
  TMemoryStream() = default;
  ~TMemoryStream() override = default;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t size) override;

  char* Memory() { return data_.get(); }
  const char* Memory() const { return data_.get(); }
  int64_t Capacity() const { return capacity_; }
  void Clear();

  void LoadFromFile(const AnsiString& fileName);

 private:
  struct FreeDeleter {
    void operator()(char* p) const { std::free(p); }
  };
  void Reserve(int64_t capacity);

  std::unique_ptr<char, FreeDeleter> data_;
  int64_t size_ = 0;
  int64_t capacity_ = 0;
  int64_t position_ = 0;
};
