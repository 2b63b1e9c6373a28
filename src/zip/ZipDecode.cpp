// Decoding one entry's data into its output file: stored and deflated data, the
// traditional PKWARE decryption, and the size and CRC-32 checks.
#include <zlib.h>

#include <algorithm>
#include <optional>

#include "runtime/Exception.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipConst.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipEntryDecoder.h"
#include "zip/ZipExcept.h"
#include "zip/ZipOutput.h"
#include "zip/ZipRunState.h"

namespace {

// Bytes after the end of the deflate data: one to three are absorbed; from four on,
// the first four must be the Adler-32 of the output (as a zlib stream's trailer would be).
bool TrailerAccepted(const uint8_t* trailer, size_t available, const TZipOutputFile& out) {
  if (available < 4) return true;
  uLong adler = adler32(0, nullptr, 0);
  if (!out.ReadBack([&](const uint8_t* p, size_t n) { adler = adler32(adler, p, static_cast<uInt>(n)); }))
    return false;
  const uint32_t stored = static_cast<uint32_t>(trailer[0]) << 24 | static_cast<uint32_t>(trailer[1]) << 16 |
                          static_cast<uint32_t>(trailer[2]) << 8 | trailer[3];
  return stored == static_cast<uint32_t>(adler);
}

}  // namespace

bool TZipBaseArchiver::CheckPassword(const TZipLocalHeader& local, const AnsiString& name, int64_t dataPos,
                                     TRunState& run) {
  const uint8_t expected = (local.Flags & kZipFlagDescriptor) ? static_cast<uint8_t>(local.ModTime >> 8)
                                                              : static_cast<uint8_t>(local.Crc32 >> 24);
  for (;;) {
    uint8_t header[kZipCryptHeaderSize];
    if (stream_->ReadAt(dataPos, header, sizeof header) != static_cast<int64_t>(sizeof header)) return false;
    TZipDecrypter decrypter(password_);
    decrypter.Decrypt(header, sizeof header);
    if (header[kZipCryptHeaderSize - 1] == expected) return true;
    bool skip = false;
    DoPassword(name, password_, skip);
    if (skip) {
      run.skipFile = true;
      return false;
    }
  }
}

bool TZipBaseArchiver::OpenEntryData(const TDirItem& item, const AnsiString& name, TRunState& run,
                                     TZipEntryData& data) {
  TZipLocalHeader local;
  data.pos = ZipEntryDataPos(*stream_, static_cast<int64_t>(item.LocalHeaderOffset), local);
  data.size = item.CompressedSize();

  const uint16_t method = item.Header.Method;
  if (method == kZipMethodDeflate64) throw EZipException(zecDeflate64);
  // Sizes that were never found are not a size of 0.
  if (item.DescriptorMissing) return false;
  const bool known = method == kZipMethodStored || method == kZipMethodDeflated;
  // The library's own block format (other methods, version needed above 1.0) is not read.
  if (!known && item.Header.VersionNeeded > kZipVersion10) return false;
  if (!known || !(item.Header.Flags & kZipFlagEncrypted)) return true;

  if (!CheckPassword(local, name, data.pos, run) || data.size < kZipCryptHeaderSize) return false;
  data.decrypter.emplace(password_);
  uint8_t header[kZipCryptHeaderSize];
  stream_->ReadExactAt(data.pos, header, sizeof header);
  data.decrypter->Decrypt(header, sizeof header);
  data.pos += kZipCryptHeaderSize;
  data.size -= kZipCryptHeaderSize;
  return true;
}

bool TZipBaseArchiver::DecodeItem(const TDirItem& item, const AnsiString& name, TZipOutputFile& out,
                                  TRunState& run) {
  TZipEntryData data;
  if (!OpenEntryData(item, name, run, data)) return false;
  return ZipDecodeEntry(*stream_, data, TZipEntryFacts::Of(item), run.input, run.output, out,
                        [&](uint64_t consumed) { return !BlockProgress(name, consumed, data.size, run); });
}

bool TZipBaseArchiver::BlockProgress(const AnsiString& name, uint64_t consumed, uint64_t size, TRunState& run) {
  const double fraction = static_cast<double>(consumed) / static_cast<double>(size);
  DoFileProgress(name, fraction * 100, poExtract, ppProcess, run.cancel);
  DoOverallProgress((fraction + run.processed) / std::max(run.selected, 1) * 100, poExtract, ppProcess, run.cancel);
  return run.cancel;
}

// --- without the archiver: also run by the threads that write entries ahead ------------

namespace {

// Reads count bytes of the data at offset, decrypted; false on a short read.
bool ReadEntryData(TFileStream& stream, TZipEntryData& data, uint64_t offset, uint8_t* buffer, size_t count) {
  if (stream.ReadAt(data.pos + static_cast<int64_t>(offset), buffer, static_cast<int64_t>(count)) !=
      static_cast<int64_t>(count))
    return false;
  if (data.decrypter) data.decrypter->Decrypt(buffer, count);
  return true;
}

}  // namespace

TZipEntryFacts TZipEntryFacts::Of(const TDirItem& item) {
  return {item.Header.Method, item.UncompressedSize(), item.Header.Crc32};
}

int64_t ZipEntryDataPos(TFileStream& stream, int64_t headerPos, TZipLocalHeader& local) {
  // A header past the end of the archive fails the read ("Stream read error").
  uint8_t raw[kZipLocalSize];
  stream.ReadExactAt(headerPos, raw, sizeof raw);
  ParseLocalHeader(raw, sizeof raw, local);
  return headerPos + static_cast<int64_t>(kZipLocalSize) + local.NameLength + local.ExtraLength;
}

bool ZipDecodeEntry(TFileStream& stream, TZipEntryData& data, const TZipEntryFacts& facts,
                    std::vector<uint8_t>& input, std::vector<uint8_t>& output, TZipOutputFile& out,
                    const std::function<bool(uint64_t consumed)>& beforeBlock) {
  TZipEntryDecoder decoder(facts.method, facts.declaredSize, facts.crc, output,
                           [&](const uint8_t* p, size_t n) { return out.Write(p, n); });
  uint64_t consumed = 0;
  while (!decoder.Failed() && !decoder.Ended() && consumed < data.size) {
    if (beforeBlock && !beforeBlock(consumed)) return false;
    const size_t n = static_cast<size_t>(std::min<uint64_t>(input.size(), data.size - consumed));
    if (!ReadEntryData(stream, data, consumed, input.data(), n)) return false;
    consumed += n;
    decoder.Feed(input.data(), n);
  }
  if (facts.method == kZipMethodDeflated && decoder.Ended() && !decoder.Failed()) {
    // Up to four bytes that follow the deflate data within the entry.
    uint8_t trailer[4];
    size_t have = std::min<size_t>(decoder.LeftoverSize(), 4);
    std::copy(decoder.Leftover(), decoder.Leftover() + have, trailer);
    const size_t more = static_cast<size_t>(std::min<uint64_t>(4 - have, data.size - consumed));
    if (more > 0 && ReadEntryData(stream, data, consumed, trailer + have, more)) have += more;
    if (!TrailerAccepted(trailer, have, out)) return false;
  }
  return decoder.Whole();
}
