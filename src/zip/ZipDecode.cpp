// Decoding one entry's data into its output file: stored and deflated data, the
// traditional PKWARE decryption, and the size and CRC-32 checks.
#include <zlib.h>

#include <algorithm>
#include <optional>

#include "runtime/Exception.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipCrypt.h"
#include "zip/ZipExcept.h"
#include "zip/ZipOutput.h"
#include "zip/ZipRunState.h"

namespace {

// A raw inflate stream: ZIP data is deflate data without the zlib header and trailer.
class TInflater {
 public:
  TInflater() { ok_ = inflateInit2(&stream_, -MAX_WBITS) == Z_OK; }
  ~TInflater() {
    if (ok_) inflateEnd(&stream_);
  }
  TInflater(const TInflater&) = delete;
  TInflater& operator=(const TInflater&) = delete;
  bool Ok() const { return ok_; }
  z_stream& Stream() { return stream_; }

 private:
  z_stream stream_{};
  bool ok_ = false;
};

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

bool TZipBaseArchiver::DecodeItem(const TDirItem& item, const AnsiString& name, TZipOutputFile& out,
                                  TRunState& run) {
  if (item.LocalHeaderOffset > static_cast<uint64_t>(stream_->Size())) throw EReadError("Stream read error");
  const int64_t headerPos = static_cast<int64_t>(item.LocalHeaderOffset);
  uint8_t raw[kZipLocalSize];
  stream_->ReadExactAt(headerPos, raw, sizeof raw);
  TZipLocalHeader local;
  ParseLocalHeader(raw, sizeof raw, local);
  int64_t dataPos = headerPos + static_cast<int64_t>(kZipLocalSize) + local.NameLength + local.ExtraLength;
  uint64_t size = item.CompressedSize();

  const uint16_t method = item.Header.Method;
  if (method == 9) throw EZipException(55);
  // Sizes that were never found are not a size of 0.
  if (item.DescriptorMissing) return false;
  const bool known = method == 0 || method == 8;
  // The library's own block format (other methods, version needed above 1.0) is not read.
  if (!known && item.Header.VersionNeeded > 10) return false;

  std::optional<TZipDecrypter> decrypter;
  if (known && (item.Header.Flags & kZipFlagEncrypted)) {
    if (!CheckPassword(local, name, dataPos, run)) return false;
    if (size < kZipCryptHeaderSize) return false;
    decrypter.emplace(password_);
    uint8_t header[kZipCryptHeaderSize];
    stream_->ReadExactAt(dataPos, header, sizeof header);
    decrypter->Decrypt(header, sizeof header);
    dataPos += kZipCryptHeaderSize;
    size -= kZipCryptHeaderSize;
  }
  TInflater inflater;
  if (!inflater.Ok()) return false;

  const uint64_t declared = item.UncompressedSize();
  uint64_t consumed = 0, written = 0;
  uLong crc = crc32(0, nullptr, 0);
  bool failed = false;
  // Output goes out piece by piece; past the declared size the entry has failed.
  auto emit = [&](const uint8_t* p, size_t n) {
    if (n == 0) return;
    if (n > declared - std::min(written, declared)) {
      failed = true;
      return;
    }
    written += n;
    crc = crc32(crc, p, static_cast<uInt>(n));
    if (!out.Write(p, n)) failed = true;
  };

  bool streamEnded = !known;  // an unknown method of version 1.0 decodes nothing
  while (!failed && !streamEnded && consumed < size) {
    const double fraction = static_cast<double>(consumed) / static_cast<double>(size);
    DoFileProgress(name, fraction * 100, poExtract, ppProcess, run.cancel);
    DoOverallProgress((fraction + run.processed) / std::max(run.selected, 1) * 100, poExtract, ppProcess, run.cancel);
    if (run.cancel) return false;

    const size_t n = static_cast<size_t>(std::min<uint64_t>(kZipInputChunk, size - consumed));
    uint8_t* in = run.input.data();
    if (stream_->ReadAt(dataPos + static_cast<int64_t>(consumed), in, static_cast<int64_t>(n)) !=
        static_cast<int64_t>(n)) {
      failed = true;
      break;
    }
    if (decrypter) decrypter->Decrypt(in, n);
    consumed += n;
    if (method == 0) {
      emit(in, n);
      continue;
    }
    z_stream& z = inflater.Stream();
    z.next_in = in;
    z.avail_in = static_cast<uInt>(n);
    int result = Z_OK;
    do {
      z.next_out = run.output.data();
      z.avail_out = static_cast<uInt>(run.output.size());
      result = inflate(&z, Z_NO_FLUSH);
      if (result < 0 && result != Z_BUF_ERROR) {
        failed = true;
        break;
      }
      const size_t produced = run.output.size() - z.avail_out;
      emit(run.output.data(), produced);
      if (result == Z_STREAM_END) streamEnded = true;
      if (produced == 0 && result == Z_BUF_ERROR) break;
    } while (!failed && !streamEnded && (z.avail_in > 0 || z.avail_out == 0));

    if (streamEnded && !failed) {
      // Gather up to four bytes that follow the deflate data within the entry.
      uint8_t trailer[4];
      size_t have = std::min<size_t>(z.avail_in, 4);
      std::copy(z.next_in, z.next_in + have, trailer);
      if (have < 4 && consumed < size) {
        const size_t more = static_cast<size_t>(std::min<uint64_t>(4 - have, size - consumed));
        if (stream_->ReadAt(dataPos + static_cast<int64_t>(consumed), trailer + have, static_cast<int64_t>(more)) ==
            static_cast<int64_t>(more)) {
          if (decrypter) decrypter->Decrypt(trailer + have, more);
          have += more;
        }
      }
      if (!TrailerAccepted(trailer, have, out)) failed = true;
    }
  }
  if (failed || written != declared) return false;
  return static_cast<uint32_t>(crc) == item.Header.Crc32;
}
