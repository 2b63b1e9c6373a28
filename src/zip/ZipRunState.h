// Internal to the zip reader; not part of its interface.
// State of one processing run, shared by the loop and the entry decoder.
#pragma once

#include <cstdint>
#include <vector>

#include "zip/ZipArchiver.h"
#include "zip/ZipOutput.h"

// Fixed buffers: whatever an entry claims, decoding it holds no more than these.
// Entry data is read in blocks of 1,048,576 bytes, and progress events fire once per
// block; inflated output goes out in pieces of the output buffer's size.
constexpr size_t kZipInputChunk = 1024 * 1024;
constexpr size_t kZipOutputChunk = 256 * 1024;

struct TZipBaseArchiver::TRunState {
  int processed = 0;
  int selected = 0;
  bool cancel = false;
  bool skipFile = false;  // the user declined a password for the current entry
  std::vector<uint8_t> input = std::vector<uint8_t>(kZipInputChunk);
  std::vector<uint8_t> output = std::vector<uint8_t>(kZipOutputChunk);
  TZipSpareFile spare;  // removed when the run ends

  // The folder base + parts (components in the system's encoding), created first when
  // create is set; closed when it cannot be opened. Entries of one folder usually follow
  // one another, so the base folder and the last folder are kept open for the run
  // rather than opened anew for every entry. Valid until the next call or Forget.
  const TZipFolder& Folder(const AnsiString& base, const std::vector<std::string>& parts, bool create);
  // Drops the kept folders (after a failure: a retry opens everything anew).
  void Forget();

 private:
  TZipFolder baseFolder_;
  std::vector<std::string> lastParts_;
  TZipFolder lastFolder_;
};
