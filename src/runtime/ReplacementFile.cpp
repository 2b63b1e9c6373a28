#include "runtime/ReplacementFile.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <system_error>
#include <vector>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"
#include "runtime/FileIO.h"

namespace {

const char kTempMark[] = ".part";
constexpr size_t kTempMarkLength = sizeof kTempMark - 1;
constexpr size_t kTempLetters = 6;  // what mkstemp puts in place of "XXXXXX"
// Written bytes are handed to the disk in slices of this size as they come.
constexpr int64_t kWritebackSlice = 8 << 20;

bool IsLeftoverName(const char* name) {
  const size_t length = std::strlen(name);
  if (length <= kTempMarkLength + kTempLetters) return false;
  const char* mark = name + length - kTempLetters - kTempMarkLength;
  if (std::memcmp(mark, kTempMark, kTempMarkLength) != 0) return false;
  for (const char* c = mark + kTempMarkLength; *c; ++c)
    if (!std::isalnum(static_cast<unsigned char>(*c))) return false;
  return true;
}

mode_t ModeFor(const std::string& target) {
  struct stat st {};
  if (::stat(target.c_str(), &st) == 0) return st.st_mode & 07777;
  const mode_t mask = ::umask(0);
  ::umask(mask);
  return 0666 & ~mask;
}

}  // namespace

TReplacementFile::TReplacementFile(const AnsiString& fileName)
    : fileName_(fileName), targetPath_(AnsiPathToSys(fileName)) {
  // A file we may not write stays refused, as the platform's create call would refuse it;
  // a file without any write bit is read-only (faReadOnly) for every user, root included.
  struct stat existing {};
  if (::stat(targetPath_.c_str(), &existing) == 0 &&
      ((existing.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0 || ::access(targetPath_.c_str(), W_OK) != 0))
    Fail(EACCES);
  std::string temp = targetPath_ + kTempMark + "XXXXXX";
  fd_.Reset(::mkostemp(temp.data(), O_CLOEXEC));
  if (!fd_.IsOpen()) Fail(errno);
  tempPath_ = temp;
  ::fchmod(fd_.Get(), ModeFor(targetPath_));
}

TReplacementFile::~TReplacementFile() { Discard(); }

void TReplacementFile::Fail(int error) { RaiseCreateError(fileName_, error); }

int64_t TReplacementFile::Read(void* buffer, int64_t count) {
  if (!fd_.IsOpen() || count <= 0) return 0;
  const int64_t n = ReadFullAt(fd_.Get(), position_, buffer, count);
  position_ += n;
  return n;
}

int64_t TReplacementFile::Write(const void* buffer, int64_t count) {
  if (!fd_.IsOpen()) return 0;
  int error = 0;
  const int64_t done = WriteFullAt(fd_.Get(), position_, buffer, count, &error);
  if (done < count) writeError_ = lastWriteError_ = error;
  position_ += done;
  size_ = std::max(size_, position_);
  synced_ = false;
  if (size_ - handedToDisk_ >= kWritebackSlice) StartWriteback();
  return done;
}

void TReplacementFile::StartWriteback() {
  // The slices written so far are synced on a thread of their own while the caller goes on
  // writing: the sync at the end then only waits for the last slices. Starting the kernel's
  // writeback alone is not enough where the disk's own cache is flushed only by a sync (a
  // virtual disk): that flush would come all at once, at the end. One sync at a time; a
  // slice that finds one running waits for the next.
  if (flushing_.valid()) {
    if (flushing_.wait_for(std::chrono::seconds(0)) != std::future_status::ready) return;
    flushing_.get();
  }
  const int fd = fd_.Get();
  try {
    flushing_ = std::async(std::launch::async, [fd] { ::fdatasync(fd); });
  } catch (const std::system_error&) {
    ::sync_file_range(fd, handedToDisk_, size_ - handedToDisk_, SYNC_FILE_RANGE_WRITE);
  }
  handedToDisk_ = size_;
}

void TReplacementFile::WaitForWriteback() {
  if (flushing_.valid()) flushing_.get();
}

int64_t TReplacementFile::Seek(int64_t offset, TSeekOrigin origin) {
  const int64_t base = origin == soBeginning ? 0 : origin == soCurrent ? position_ : size_;
  if (base + offset >= 0) position_ = base + offset;
  return position_;
}

void TReplacementFile::SetSize(int64_t size) {
  if (!fd_.IsOpen() || size < 0 || ::ftruncate(fd_.Get(), size) != 0) {
    writeError_ = lastWriteError_ = fd_.IsOpen() && size >= 0 ? errno : EBADF;
    throw EWriteError("Stream write error");
  }
  size_ = size;
  writeError_ = 0;
  handedToDisk_ = std::min(handedToDisk_, size);
  position_ = std::min(position_, size);
  synced_ = false;
}

int TReplacementFile::SyncData() {
  WaitForWriteback();
  if (!fd_.IsOpen()) return EBADF;
  if (::fdatasync(fd_.Get()) != 0 && errno != EINVAL) return errno;
  synced_ = true;
  return 0;
}

void TReplacementFile::Commit() {
  WaitForWriteback();
  int error = writeError_ ? writeError_ : synced_ ? 0 : SyncData();
  const int closeError = fd_.Close();
  if (!error) error = closeError;
  if (!error && ::rename(tempPath_.c_str(), targetPath_.c_str()) != 0) error = errno;
  if (error) {
    Discard();
    Fail(error);
  }
  tempPath_.clear();
}

void TReplacementFile::Discard() {
  WaitForWriteback();
  fd_.Reset();
  if (!tempPath_.empty()) ::unlink(tempPath_.c_str());
  tempPath_.clear();
}

bool TReplacementFile::KeepAs(const AnsiString& fileName) {
  WaitForWriteback();
  if (!fd_.IsOpen() || writeError_ || fd_.Close() != 0 || ::rename(tempPath_.c_str(), AnsiPathToSys(fileName).c_str()) != 0) {
    Discard();
    return false;
  }
  tempPath_.clear();
  return true;
}

bool TReplacementFile::TakeOver(const AnsiString& fileName) {
  if (!fd_.IsOpen() || size_ != 0) return false;
  TFileHandle kept(::open(AnsiPathToSys(fileName).c_str(), O_RDONLY | O_CLOEXEC));
  if (!kept.IsOpen()) return false;
  // Copied, not moved: should this run end before it writes the kept file anew, the bytes
  // are still there for the next one.
  std::vector<char> block(1 << 20);
  int64_t at = 0;
  for (int64_t n; (n = ReadFullAt(kept.Get(), at, block.data(), static_cast<int64_t>(block.size()))) > 0; at += n) {
    if (WriteFullAt(fd_.Get(), at, block.data(), n) != n) {
      SetSize(0);
      return false;
    }
  }
  size_ = position_ = at;
  synced_ = false;
  return true;
}

int RemoveLeftoverReplacements(const AnsiString& folderName) {
  const std::string folder = AnsiPathToSys(folderName);
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  int removed = 0;
  while (const dirent* entry = ::readdir(dir)) {
    if (!IsLeftoverName(entry->d_name)) continue;
    if (::unlinkat(::dirfd(dir), entry->d_name, 0) == 0) ++removed;
  }
  ::closedir(dir);
  return removed;
}
