// TFileStream: a stream over a file with an ANSI name.
//
// Opening fails with EFOpenError "Cannot open file "%s". %s" (fmCreate: EFCreateError
// "Cannot create file "%s". %s"), the full name, then the system's reason. A file
// without any write bit is read-only for every user (root included), as faReadOnly is on
// the original platform. Share modes are accepted and not enforced (the system has no
// mandatory locks). fmCreate empties an existing file in place; to replace a whole file
// safely use ReplaceFileContent or TReplacementFile.
#pragma once

#include "runtime/FileIO.h"
#include "runtime/Stream.h"

// The platform's 16-bit file-open mode word, shared by every open in the program (the
// archiver's OpenZipFile takes it too): access in the low bits, sharing in bits 4-6,
// and 0xFFFF for "create".
enum : uint16_t {
  fmOpenRead = 0x0000, fmOpenWrite = 0x0001, fmOpenReadWrite = 0x0002,
  fmShareCompat = 0x0000, fmShareExclusive = 0x0010, fmShareDenyWrite = 0x0020,
  fmShareDenyRead = 0x0030, fmShareDenyNone = 0x0040,
  fmCreate = 0xFFFF
};

class TFileStream : public TStream {
 public:
  TFileStream(const AnsiString& fileName, uint16_t mode);
  ~TFileStream() override;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override;
  void SetSize(int64_t size) override;
  // Reads up to count bytes at pos without moving the position; returns how many were
  // read (0 before the start or past the end).
  int64_t ReadAt(int64_t pos, void* buffer, int64_t count);
  // Reads exactly count bytes at pos; EReadError "Stream read error" when pos is before
  // the start, the range runs past the end, or the read comes up short.
  void ReadExactAt(int64_t pos, void* buffer, int64_t count);
  // Pushes written bytes to the disk; false when the system reports a failure.
  bool Flush();

  const AnsiString& FileName() const { return fileName_; }
  int Handle() const { return fd_.Get(); }

 private:
  AnsiString fileName_;
  TFileHandle fd_;
};
