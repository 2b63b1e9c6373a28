// Internal to the zip reader; not part of its interface.
// Where extracted files go: folders opened one component at a time below the base
// folder (never through a symbolic link), and output files that take the place of an
// existing file only when committed (see TZipOutputFile::Create).
#pragma once

#include <cstdint>
#include <ctime>
#include <functional>
#include <string>
#include <vector>

#include "runtime/FileIO.h"
#include "runtime/SysUtils.h"

// An open folder (a descriptor), closed with the object.
class TZipFolder {
 public:
  TZipFolder() = default;
  explicit TZipFolder(int fd);
  bool IsOpen() const { return fd_.IsOpen(); }
  int Fd() const { return fd_.Get(); }
  // Whether both are open on the same folder.
  bool SameAs(const TZipFolder& other) const {
    return IsOpen() && other.IsOpen() && dev_ == other.dev_ && ino_ == other.ino_;
  }

  // Opens an ANSI folder path ("" is the current folder), creating it with its
  // parents first when create is set.
  static TZipFolder Open(const AnsiString& path, bool create);
  // Opens (creating when asked) each component (in the system's encoding, see
  // ZipSplitSafeName) below this folder in turn. A component that is a symbolic link or
  // not a folder fails. Returns a closed folder on failure.
  TZipFolder Descend(const std::vector<std::string>& sysComponents, bool create) const;

 private:
  TFileHandle fd_;
  uint64_t dev_ = 0, ino_ = 0;
};

// What is at a name inside a folder, without following a final symbolic link.
struct TZipDestInfo {
  bool Exists = false;
  bool IsFolder = false;
  bool ReadOnly = false;
  // A regular file of ours with no other link: once replaced, its inode may hold the
  // next output (see TZipSpareFile).
  bool Reusable = false;
  int32_t DosDateTime = 0;
};
// sysLeaf is one component in the system's encoding.
TZipDestInfo ZipInspect(const TZipFolder& folder, const std::string& sysLeaf);

// A replaced file kept under a temporary name for the next output to overwrite.
//
// Replacing files one by one frees one inode and allocates another per file. On an ext4
// file system without a journal every allocation skips each recently freed inode in
// turn, so a run over an existing extraction slows down with every file it replaces.
// Writing the next output into the inode just replaced keeps the count of inodes
// steady instead. Only a regular file of ours with one link is kept (no other name
// sees its content change); whatever is kept is removed with the object.
class TZipSpareFile {
 public:
  TZipSpareFile() = default;
  TZipSpareFile(const TZipSpareFile&) = delete;
  TZipSpareFile& operator=(const TZipSpareFile&) = delete;
  ~TZipSpareFile() { Drop(); }

  // Keeps the file at name in the folder as the spare.
  void Keep(const TZipFolder& folder, const std::string& name);
  // Moves the spare into the folder (when it is elsewhere) and opens it for writing,
  // with the mode a new file would get; closed when there is none or it cannot be used
  // (it is then removed). name receives its name in the folder, size its length.
  TFileHandle Claim(const TZipFolder& folder, std::string& name, int64_t& size);
  // Removes the spare.
  void Drop();

 private:
  TZipFolder folder_;  // a descriptor of its own: the run's folders change
  std::string name_;
};

class TZipOutputFile {
 public:
  TZipOutputFile() = default;
  TZipOutputFile(const TZipOutputFile&) = delete;
  TZipOutputFile& operator=(const TZipOutputFile&) = delete;
  // Removes the temporary file unless it was committed.
  ~TZipOutputFile();

  // Creates the output for sysLeaf (one component in the system's encoding) in folder,
  // which must stay open until Commit or Discard; false when it cannot be created.
  //
  // Where nothing is at sysLeaf (dest, as ZipInspect found it) the output is created
  // under that name at once and removed again unless committed: a name that held no
  // file is never left holding part of one after a failure or a cancel. Where a file
  // is, the output goes to a temporary file beside it (into the spare's inode when there
  // is a spare) and replaces the file only when committed.
  bool Create(const TZipFolder& folder, const std::string& sysLeaf, const TZipDestInfo& dest,
              TZipSpareFile* spare = nullptr);
  // Creates the output under sysLeaf only where nothing is there yet (false otherwise,
  // with errno EEXIST); removed again unless committed.
  bool CreateNew(const TZipFolder& folder, const std::string& sysLeaf);
  // With write-behind on (an output that Commit will flush), the data goes to the disk in
  // slices as it is written, so that the flush at the end only waits for the last slice.
  void SetWriteBehind(bool on) { writeBehind_ = on; }
  bool Write(const uint8_t* data, size_t size);
  // Feeds the bytes written so far to sink, in order (false on a read error).
  bool ReadBack(const std::function<void(const uint8_t*, size_t)>& sink) const;
  // Sets the last-write time (-1: none; see FileDateToDateTime), applies the DOS read-only bit
  // when applyAttr, flushes to the disk when flush, closes, and puts the file in place.
  // False when any step fails; the output is then removed.
  //
  // A file already there is swapped with the new one in one atomic exchange and then
  // removed under the temporary name, or kept as the spare when it is reusable: the name
  // always holds one whole file, and ext4 does not write the new data out at once as it
  // does when a rename replaces an existing file.
  bool Commit(time_t mtime, bool applyAttr, uint32_t attr, bool flush);
  // Removes the temporary file now.
  void Discard();

 private:
  // Takes fd, open on name in folder, as the output; true.
  bool Adopt(const TZipFolder& folder, TFileHandle fd, const std::string& name);
  // Puts the finished temporary file in place of the destination (see Commit).
  bool Publish();

  const TZipFolder* folder_ = nullptr;
  int dirFd_ = -1;  // the folder's descriptor, not owned
  TFileHandle fd_;
  std::string tempName_;  // the name the output has until it is committed
  std::string leaf_;
  TZipDestInfo dest_;
  TZipSpareFile* spare_ = nullptr;
  int64_t reusedSize_ = -1;  // written into a spare of this length
  int64_t written_ = 0;
  bool writeBehind_ = false;
  int64_t handedToDisk_ = 0;  // the bytes whose writing has been started
};
