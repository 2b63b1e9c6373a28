// TReplacementFile: the new content of a file, written as a stream into a temporary
// file beside it and put in place by one rename, so readers of the file see either the
// old content or the whole new one, never a part.
//
// The temporary file is named after the target with ".part" and six letters or digits
// ("a.zip.partQ3xZ9k"); such a name never ends in the target's own extension, and
// RemoveLeftoverReplacements removes those a crash left behind. Until Commit the target
// is untouched; destroying the object without a Commit removes the temporary file.
//
// Failures raise EFCreateError "Cannot create file "%s". %s" with the target's full name
// and the system's reason: at construction (the target is read-only, the folder cannot
// take a new file) and at Commit, which also reports a write that failed earlier (a
// failed Write returns a short count; WriteBuffer raises EWriteError for it).
//
// While the content is written, finished slices are synced on a thread of their own, so
// the durability step at the end (SyncData) has little left to do; that thread touches
// only the file's descriptor, and is waited for before the descriptor is closed.
// SyncData is the one call that may run on another thread; nothing else may touch the
// object meanwhile.
#pragma once

#include <future>

#include "runtime/FileIO.h"
#include "runtime/Stream.h"
#include "runtime/SysUtils.h"

class TReplacementFile : public TStream {
 public:
  explicit TReplacementFile(const AnsiString& fileName);
  ~TReplacementFile() override;
  TReplacementFile(const TReplacementFile&) = delete;
  TReplacementFile& operator=(const TReplacementFile&) = delete;

  int64_t Read(void* buffer, int64_t count) override;
  int64_t Write(const void* buffer, int64_t count) override;
  int64_t Seek(int64_t offset, TSeekOrigin origin) override;
  int64_t Size() override { return size_; }
  void SetSize(int64_t size) override;

  // Pushes the written bytes to the disk; 0, or the system's error number.
  int SyncData();
  // Syncs (unless SyncData already did since the last write) and renames the temporary
  // file over the target.
  void Commit();
  // Removes the temporary file; the target stays as it was. Idempotent.
  void Discard();
  // Keeps what was written under another name beside the target (a partial download to
  // resume later) instead of removing it; false, and nothing kept, when it cannot be.
  bool KeepAs(const AnsiString& fileName);
  // Takes a copy of a file kept by KeepAs as the content written so far (before anything else
  // is written), the position at its end; the kept file stays. False, with nothing written,
  // when it cannot be taken.
  bool TakeOver(const AnsiString& fileName);

  const AnsiString& FileName() const { return fileName_; }
  // The system's error number of the last write (or size) that failed, also when a later
  // SetSize dropped what it was writing (0: none did).
  int WriteError() const { return lastWriteError_; }
  // The temporary file's system path (empty after Commit or Discard).
  const std::string& TempPath() const { return tempPath_; }

 private:
  [[noreturn]] void Fail(int error);
  void StartWriteback();
  void WaitForWriteback();

  AnsiString fileName_;
  std::string targetPath_;
  std::string tempPath_;
  TFileHandle fd_;
  int64_t size_ = 0;
  int64_t position_ = 0;
  int64_t handedToDisk_ = 0;
  int writeError_ = 0;  // the reason of a failed write, reported by Commit
  int lastWriteError_ = 0;
  bool synced_ = false;
  std::future<void> flushing_;  // the sync of the slices handed to the disk so far
};

// Removes the temporary files of replacements that never finished (a crash, a power
// cut) from a folder; returns how many it removed.
int RemoveLeftoverReplacements(const AnsiString& folderName);
