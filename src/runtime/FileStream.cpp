#include "runtime/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"

namespace {

AnsiString Reason(int error) { return Utf8ToAnsi(std::strerror(error)); }

bool IsReadOnly(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && !S_ISDIR(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

}  // namespace

TFileStream::TFileStream(const AnsiString& fileName, uint16_t mode) : fileName_(fileName) {
  const std::string path = AnsiPathToSys(fileName);
  const bool create = mode == fmCreate;
  const int access = mode & 0x3;
  int flags = O_CLOEXEC;
  if (create) flags |= O_RDWR | O_CREAT | O_TRUNC;
  else flags |= access == fmOpenWrite ? O_WRONLY : access == fmOpenReadWrite ? O_RDWR : O_RDONLY;
  int error = 0;
  if ((create || access != fmOpenRead) && IsReadOnly(path)) error = EACCES;
  else {
    fd_ = ::open(path.c_str(), flags, 0666);
    if (fd_ < 0) error = errno;
  }
  if (fd_ >= 0) {
    struct stat st {};
    if (::fstat(fd_, &st) == 0 && S_ISDIR(st.st_mode)) {
      ::close(fd_);
      fd_ = -1;
      error = EISDIR;
    }
  }
  if (error == 0) return;
  if (create) throw EFCreateError(Format("Cannot create file \"%s\". %s", fileName.c_str(), Reason(error).c_str()));
  throw EFOpenError(Format("Cannot open file \"%s\". %s", fileName.c_str(), Reason(error).c_str()));
}

TFileStream::~TFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TFileStream::Read(void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n = ::read(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    const ssize_t n =
        ::write(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(std::min<int64_t>(count - done, 1 << 30)));
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(fd_, offset, whence);
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0 || ::ftruncate(fd_, size) != 0) throw EWriteError("Stream write error");
  if (Position() > size) Seek(size, soBeginning);
}

bool TFileStream::Flush() { return ::fsync(fd_) == 0 || errno == EINVAL; }
