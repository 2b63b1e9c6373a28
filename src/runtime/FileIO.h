// POSIX file I/O in one place: a descriptor owner, whole reads and writes, and the two
// errors that report a file that cannot be opened or created.
#pragma once

#include <cstdint>

#include "runtime/SysUtils.h"

// Owns one file descriptor (-1: none) and closes it when destroyed. Move-only.
class TFileHandle {
 public:
  TFileHandle() = default;
  explicit TFileHandle(int fd) : fd_(fd) {}
  TFileHandle(TFileHandle&& other) noexcept : fd_(other.Release()) {}
  TFileHandle& operator=(TFileHandle&& other) noexcept;
  TFileHandle(const TFileHandle&) = delete;
  TFileHandle& operator=(const TFileHandle&) = delete;
  ~TFileHandle() { Reset(); }

  int Get() const { return fd_; }
  bool IsOpen() const { return fd_ >= 0; }
  // Hands the descriptor to the caller, who closes it.
  int Release();
  // Closes the descriptor held (if any) and takes fd.
  void Reset(int fd = -1);
  // Closes the descriptor; 0, or the system's error number (a late write error).
  int Close();

 private:
  int fd_ = -1;
};

// Whole transfers: each repeats after an interrupted call and after a short count until
// count bytes have moved, the file ends (reads), or the system reports an error. They
// return how many bytes moved; when that is less than count, error (when given) receives
// the system's error number, or 0 for the end of the file (or a write that moved
// nothing, which is reported as ENOSPC).
int64_t ReadFull(int fd, void* buffer, int64_t count, int* error = nullptr);
int64_t WriteFull(int fd, const void* buffer, int64_t count, int* error = nullptr);
// The same at a position, leaving the descriptor's own position alone.
int64_t ReadFullAt(int fd, int64_t pos, void* buffer, int64_t count, int* error = nullptr);
int64_t WriteFullAt(int fd, int64_t pos, const void* buffer, int64_t count, int* error = nullptr);

// The system's text for an error number, in the ANSI code page.
AnsiString SystemErrorText(int error);
// EFOpenError "Cannot open file "%s". %s": the full name, then the system's reason.
[[noreturn]] void RaiseOpenError(const AnsiString& fileName, int error);
// EFCreateError "Cannot create file "%s". %s": the full name, then the reason.
[[noreturn]] void RaiseCreateError(const AnsiString& fileName, int error);
[[noreturn]] void RaiseCreateError(const AnsiString& fileName, const AnsiString& reason);
