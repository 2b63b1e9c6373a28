#include "runtime/FileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"

namespace {

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
    fd_.Reset(::open(path.c_str(), flags, 0666));
    if (!fd_.IsOpen()) error = errno;
  }
  struct stat st {};
  if (fd_.IsOpen() && ::fstat(fd_.Get(), &st) == 0 && S_ISDIR(st.st_mode)) {
    fd_.Reset();
    error = EISDIR;
  }
  if (error == 0) return;
  if (create) RaiseCreateError(fileName, error);
  RaiseOpenError(fileName, error);
}

TFileStream::~TFileStream() = default;

int64_t TFileStream::Read(void* buffer, int64_t count) { return ReadFull(fd_.Get(), buffer, count); }

int64_t TFileStream::Write(const void* buffer, int64_t count) { return WriteFull(fd_.Get(), buffer, count); }

int64_t TFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int whence = origin == soBeginning ? SEEK_SET : origin == soCurrent ? SEEK_CUR : SEEK_END;
  return ::lseek(fd_.Get(), offset, whence);
}

int64_t TFileStream::Size() {
  struct stat st {};
  return ::fstat(fd_.Get(), &st) == 0 ? st.st_size : 0;
}

void TFileStream::SetSize(int64_t size) {
  if (size < 0 || ::ftruncate(fd_.Get(), size) != 0) throw EWriteError("Stream write error");
  if (Position() > size) Seek(size, soBeginning);
}

int64_t TFileStream::ReadAt(int64_t pos, void* buffer, int64_t count) {
  if (pos < 0 || count <= 0) return 0;
  return ReadFullAt(fd_.Get(), pos, buffer, count);
}

void TFileStream::ReadExactAt(int64_t pos, void* buffer, int64_t count) {
  // An empty range must still lie within the file.
  const bool whole = count == 0 ? pos >= 0 && pos <= Size() : count > 0 && ReadAt(pos, buffer, count) == count;
  if (!whole) throw EReadError("Stream read error");
}

bool TFileStream::Flush() { return ::fsync(fd_.Get()) == 0 || errno == EINVAL; }
