// Internal to the zip reader; not part of its interface.
// State of one processing run, shared by the loop and the entry decoder.
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <vector>

#include "runtime/FileStream.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipOutput.h"
#include "zip/ZipRecords.h"

class TZipAheadWriter;

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
  TZipAheadWriter* ahead = nullptr;  // entries written ahead on other threads, if any

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

// Where an entry's data lies in the archive and how to read it.
struct TZipEntryData {
  int64_t pos = 0;    // the first byte of the data (after an encryption header)
  uint64_t size = 0;  // its length
  std::optional<TZipDecrypter> decrypter;
};

// What the directory says the decoded data must be.
struct TZipEntryFacts {
  uint16_t method = 0;
  uint64_t declaredSize = 0;
  uint32_t crc = 0;
  static TZipEntryFacts Of(const TDirItem& item);
};

// Reads the local header at headerPos into local and returns where the data begins;
// EReadError "Stream read error" when the header lies past the end of the archive.
int64_t ZipEntryDataPos(TFileStream& stream, int64_t headerPos, TZipLocalHeader& local);

// Decodes an entry's data into out, one input block at a time through the two buffers,
// with the checks that decide whether it came through whole. beforeBlock (when given)
// is called with the bytes consumed so far before each block; false from it ends the
// decoding. Uses nothing of the archiver, so any thread may run it on its own buffers
// (the stream is only read at positions).
bool ZipDecodeEntry(TFileStream& stream, TZipEntryData& data, const TZipEntryFacts& facts,
                    std::vector<uint8_t>& input, std::vector<uint8_t>& output, TZipOutputFile& out,
                    const std::function<bool(uint64_t consumed)>& beforeBlock);
