// The archive file as the reader sees it: a TStream over a file descriptor, plus
// positional reads that never move the stream position.
//
// Open modes are the platform's 16-bit words: access in the low bits (0 read, 1 write,
// 2 read-write). The sharing bits (0x10-0x40) have no counterpart for plain files on
// Linux and are accepted without effect.
#pragma once

#include <cstdint>

#include "runtime/Stream.h"

class TZipFileStream : public TStream {
 public:
  // Raises EFOpenError "Cannot open file "%s". %s" when the file cannot be opened.
  TZipFileStream(const AnsiString& fileName, uint16_t mode);
  ~TZipFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t size) override;

  // Reads up to count bytes at pos; returns how many were read (0 outside the file).
  int64_t ReadAt(int64_t pos, void* buffer, int64_t count);
  // Reads exactly count bytes at pos; EReadError "Stream read error" when pos is before
  // the start, the range runs past the end, or the read comes up short.
  void ReadExactAt(int64_t pos, void* buffer, int64_t count);

 private:
  int fd_ = -1;
  int64_t size_ = 0;
  int64_t position_ = 0;
};
