// Where extracted files go: folders opened one component at a time below the base
// folder (never through a symbolic link), and output files written to a temporary
// file in the destination's folder that replaces the destination only when committed.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/SysUtils.h"

// An open folder (a descriptor), closed with the object.
class TZipFolder {
 public:
  TZipFolder() = default;
  explicit TZipFolder(int fd) : fd_(fd) {}
  TZipFolder(TZipFolder&& other) noexcept : fd_(other.fd_) { other.fd_ = -1; }
  TZipFolder& operator=(TZipFolder&& other) noexcept;
  ~TZipFolder();
  bool IsOpen() const { return fd_ >= 0; }
  int Fd() const { return fd_; }

  // Opens an ANSI folder path ("" is the current folder), creating it with its
  // parents first when create is set.
  static TZipFolder Open(const AnsiString& path, bool create);
  // Opens (creating when asked) each component (in the system's encoding, see
  // ZipSplitSafeName) below this folder in turn. A component that is a symbolic link or
  // not a folder fails. Returns a closed folder on failure.
  TZipFolder Descend(const std::vector<std::string>& sysComponents, bool create) const;

 private:
  int fd_ = -1;
};

// What is at a name inside a folder, without following a final symbolic link.
struct TZipDestInfo {
  bool Exists = false;
  bool IsFolder = false;
  bool ReadOnly = false;
  int32_t DosDateTime = 0;
};
// sysLeaf is one component in the system's encoding.
TZipDestInfo ZipInspect(const TZipFolder& folder, const std::string& sysLeaf);

class TZipOutputFile {
 public:
  TZipOutputFile() = default;
  TZipOutputFile(const TZipOutputFile&) = delete;
  TZipOutputFile& operator=(const TZipOutputFile&) = delete;
  // Removes the temporary file unless it was committed.
  ~TZipOutputFile();

  // Creates the temporary file in folder; false when it cannot be created.
  bool Create(const TZipFolder& folder);
  bool Write(const uint8_t* data, size_t size);
  // Feeds the bytes written so far to sink, in order (false on a read error).
  bool ReadBack(const std::function<void(const uint8_t*, size_t)>& sink) const;
  // Sets the last-write time (a DOS date-time, local), applies the DOS read-only bit
  // when setReadOnly, flushes to the disk when flush, closes, and renames the file
  // over sysLeaf (in the system's encoding). False when any step fails; the temporary
  // file is then removed.
  bool Commit(const std::string& sysLeaf, int32_t dosDateTime, bool applyAttr, uint32_t attr, bool flush);
  // Removes the temporary file now.
  void Discard();

 private:
  int dirFd_ = -1;
  int fd_ = -1;
  std::string tempName_;
};
