#include "zip/ZipFileStream.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"

TZipFileStream::TZipFileStream(const AnsiString& fileName, uint16_t mode) {
  const int access = mode & 3;
  const int flags = (access == 1 ? O_WRONLY : access == 2 ? O_RDWR : O_RDONLY) | O_CLOEXEC;
  fd_ = ::open(AnsiPathToSys(fileName).c_str(), flags);
  struct stat st {};
  if (fd_ >= 0 && (::fstat(fd_, &st) != 0 || S_ISDIR(st.st_mode))) {
    ::close(fd_);
    fd_ = -1;
    errno = EISDIR;
  }
  if (fd_ < 0)
    throw EFOpenError(
        Format("Cannot open file \"%s\". %s", fileName.c_str(), Utf8ToAnsi(std::strerror(errno)).c_str()));
  size_ = st.st_size;
}

TZipFileStream::~TZipFileStream() {
  if (fd_ >= 0) ::close(fd_);
}

int64_t TZipFileStream::ReadAt(int64_t pos, void* buffer, int64_t count) {
  if (pos < 0 || count <= 0 || pos >= size_) return 0;
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pread(fd_, static_cast<char*>(buffer) + done, static_cast<size_t>(count - done), pos + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  return done;
}

void TZipFileStream::ReadExactAt(int64_t pos, void* buffer, int64_t count) {
  if (count < 0 || pos < 0 || pos > size_ || count > size_ - pos || ReadAt(pos, buffer, count) != count)
    throw EReadError("Stream read error");
}

int64_t TZipFileStream::Read(void* buffer, int64_t count) {
  const int64_t n = ReadAt(position_, buffer, count);
  position_ += n;
  return n;
}

int64_t TZipFileStream::Write(const void* buffer, int64_t count) {
  int64_t done = 0;
  while (done < count) {
    ssize_t n = ::pwrite(fd_, static_cast<const char*>(buffer) + done, static_cast<size_t>(count - done),
                         position_ + done);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    done += n;
  }
  position_ += done;
  if (position_ > size_) size_ = position_;
  return done;
}

int64_t TZipFileStream::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  int64_t target = 0;
  // A position that cannot be represented stays where it was; reads there find nothing.
  if (!__builtin_add_overflow(base, offset, &target) && target >= 0) position_ = target;
  return position_;
}

void TZipFileStream::SetSize(int64_t size) {
  if (::ftruncate(fd_, size) == 0) size_ = size;
}
