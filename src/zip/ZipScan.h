// Internal to the zip reader; not part of its interface.
// Reading helpers over the archive file: a window that serves byte ranges of a
// sequential walk (the central directory), and a scanner that finds a 4-byte
// signature forward from a position (the base-offset search and the recovery scan).
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/FileStream.h"

class TZipWindowReader {
 public:
  TZipWindowReader(TFileStream& stream, size_t windowSize) : stream_(stream), windowSize_(windowSize) {}
  // The count bytes at pos, valid until the next call; EReadError "Stream read error"
  // when they are not all in the file.
  const uint8_t* Fetch(int64_t pos, size_t count);

 private:
  TFileStream& stream_;
  size_t windowSize_;
  std::vector<uint8_t> buffer_;
  int64_t start_ = 0;
};

class TZipSignatureScanner {
 public:
  TZipSignatureScanner(TFileStream& stream, uint32_t signature, size_t windowSize)
      : stream_(stream), signature_(signature), windowSize_(windowSize) {}
  // Position of the first whole signature at or after from; -1 when there is none.
  // Only bytes actually read can match: a short read never completes a signature.
  int64_t Next(int64_t from);

 private:
  TFileStream& stream_;
  uint32_t signature_;
  size_t windowSize_;
  std::vector<uint8_t> buffer_;
  int64_t start_ = 0;
  size_t length_ = 0;
};
