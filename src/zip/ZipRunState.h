// State of one processing run, shared by the loop and the entry decoder (private to src/zip).
#pragma once

#include <cstdint>
#include <vector>

#include "zip/ZipArchiver.h"

// Fixed buffers: whatever an entry claims, decoding it holds no more than these.
constexpr size_t kZipInputChunk = 256 * 1024;
constexpr size_t kZipOutputChunk = 256 * 1024;

struct TZipBaseArchiver::TRunState {
  int processed = 0;
  int selected = 0;
  bool cancel = false;
  bool skipFile = false;  // the user declined a password for the current entry
  std::vector<uint8_t> input = std::vector<uint8_t>(kZipInputChunk);
  std::vector<uint8_t> output = std::vector<uint8_t>(kZipOutputChunk);
};
