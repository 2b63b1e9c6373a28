#include "runtime/FileIO.h"

#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"

TFileHandle& TFileHandle::operator=(TFileHandle&& other) noexcept {
  if (this != &other) Reset(other.Release());
  return *this;
}

int TFileHandle::Release() {
  const int fd = fd_;
  fd_ = -1;
  return fd;
}

void TFileHandle::Reset(int fd) {
  if (fd_ >= 0 && fd_ != fd) ::close(fd_);
  fd_ = fd;
}

int TFileHandle::Close() {
  const int fd = Release();
  return fd >= 0 && ::close(fd) != 0 ? errno : 0;
}

namespace {

// One system call moves at most this much, whatever was asked.
constexpr int64_t kLargestTransfer = int64_t{1} << 30;

// Repeats step (one read or write of up to n bytes at offset done) until count bytes
// have moved; see ReadFull for what error receives.
template <typename Step>
int64_t Repeat(int64_t count, int* error, bool isWrite, Step step) {
  int64_t done = 0;
  int reason = 0;
  while (done < count) {
    const ssize_t n = step(done, static_cast<size_t>(std::min(count - done, kLargestTransfer)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) {
      reason = n < 0 ? errno : isWrite ? ENOSPC : 0;
      break;
    }
    done += n;
  }
  if (error) *error = reason;
  return done;
}

}  // namespace

int64_t ReadFull(int fd, void* buffer, int64_t count, int* error) {
  char* bytes = static_cast<char*>(buffer);
  return Repeat(count, error, false, [&](int64_t done, size_t n) { return ::read(fd, bytes + done, n); });
}

int64_t WriteFull(int fd, const void* buffer, int64_t count, int* error) {
  const char* bytes = static_cast<const char*>(buffer);
  return Repeat(count, error, true, [&](int64_t done, size_t n) { return ::write(fd, bytes + done, n); });
}

int64_t ReadFullAt(int fd, int64_t pos, void* buffer, int64_t count, int* error) {
  char* bytes = static_cast<char*>(buffer);
  return Repeat(count, error, false, [&](int64_t done, size_t n) { return ::pread(fd, bytes + done, n, pos + done); });
}

int64_t WriteFullAt(int fd, int64_t pos, const void* buffer, int64_t count, int* error) {
  const char* bytes = static_cast<const char*>(buffer);
  return Repeat(count, error, true,
                [&](int64_t done, size_t n) { return ::pwrite(fd, bytes + done, n, pos + done); });
}

AnsiString SystemErrorText(int error) { return Utf8ToAnsi(std::strerror(error)); }

void RaiseOpenError(const AnsiString& fileName, int error) {
  EFOpenError e(Format("Cannot open file \"%s\". %s", fileName.c_str(), SystemErrorText(error).c_str()));
  e.SetFileName(fileName);
  throw e;
}

void RaiseCreateError(const AnsiString& fileName, int error) { RaiseCreateError(fileName, SystemErrorText(error)); }

void RaiseCreateError(const AnsiString& fileName, const AnsiString& reason) {
  EFCreateError e(Format("Cannot create file \"%s\". %s", fileName.c_str(), reason.c_str()));
  e.SetFileName(fileName);
  throw e;
}
