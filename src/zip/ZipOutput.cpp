#include "zip/ZipOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>

#include "runtime/CodePage.h"
#include "runtime/FileUtils.h"

TZipFolder::TZipFolder(int fd) : fd_(fd) {
  struct stat st {};
  if (fd_ >= 0 && ::fstat(fd_, &st) == 0) {
    dev_ = st.st_dev;
    ino_ = st.st_ino;
  }
}

TZipFolder& TZipFolder::operator=(TZipFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
    dev_ = other.dev_;
    ino_ = other.ino_;
    other.fd_ = -1;
  }
  return *this;
}

TZipFolder::~TZipFolder() {
  if (fd_ >= 0) ::close(fd_);
}

TZipFolder TZipFolder::Open(const AnsiString& path, bool create) {
  const std::string sys = path.empty() ? std::string(".") : AnsiPathToSys(path);
  if (create && !path.empty()) ForceDirectories(path);
  return TZipFolder(::open(sys.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

TZipFolder TZipFolder::Descend(const std::vector<std::string>& sysComponents, bool create) const {
  if (fd_ < 0) return TZipFolder();
  TZipFolder current(::dup(fd_));
  for (const std::string& name : sysComponents) {
    if (create && ::mkdirat(current.Fd(), name.c_str(), 0777) != 0 && errno != EEXIST) return TZipFolder();
    TZipFolder next(::openat(current.Fd(), name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (!next.IsOpen()) return TZipFolder();
    current = std::move(next);
  }
  return current;
}

TZipDestInfo ZipInspect(const TZipFolder& folder, const std::string& sysLeaf) {
  TZipDestInfo info;
  struct stat st {};
  if (::fstatat(folder.Fd(), sysLeaf.c_str(), &st, AT_SYMLINK_NOFOLLOW) != 0) return info;
  info.Exists = true;
  info.IsFolder = S_ISDIR(st.st_mode);
  info.ReadOnly = !S_ISLNK(st.st_mode) && (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  static const uid_t self = ::geteuid();
  info.Reusable = S_ISREG(st.st_mode) && st.st_nlink == 1 && st.st_uid == self;
  info.DosDateTime = DateTimeToFileDate(st.st_mtime);
  return info;
}

TZipOutputFile::~TZipOutputFile() { Discard(); }

namespace {

// How much an output with write-behind writes before it starts that part's writing.
constexpr int64_t kWriteBehindSlice = 8 << 20;

// The mode a new file gets: read and write for all, less the process's umask.
mode_t NewFileMode() {
  static const mode_t mode = [] {
    const mode_t mask = ::umask(0);
    ::umask(mask);
    return static_cast<mode_t>(0666 & ~mask);
  }();
  return mode;
}

}  // namespace

void TZipSpareFile::Keep(const TZipFolder& folder, const std::string& name) {
  Drop();
  if (!folder_.SameAs(folder)) folder_ = TZipFolder(::dup(folder.Fd()));
  if (!folder_.IsOpen()) {
    ::unlinkat(folder.Fd(), name.c_str(), 0);
    return;
  }
  name_ = name;
}

int TZipSpareFile::Claim(const TZipFolder& folder, std::string& name, int64_t& size) {
  if (name_.empty()) return -1;
  if (!folder_.SameAs(folder)) {
    if (::renameat(folder_.Fd(), name_.c_str(), folder.Fd(), name_.c_str()) != 0) {
      Drop();
      return -1;
    }
    folder_ = TZipFolder(::dup(folder.Fd()));
    if (!folder_.IsOpen()) {
      ::unlinkat(folder.Fd(), name_.c_str(), 0);
      name_.clear();
      return -1;
    }
  }
  // The replaced file's mode (read-only, executable) must not pass to the new output.
  const int fd = ::openat(folder_.Fd(), name_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC);
  struct stat st {};
  if (fd < 0 || ::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode) ||
      ((st.st_mode & 07777) != NewFileMode() && ::fchmod(fd, NewFileMode()) != 0)) {
    if (fd >= 0) ::close(fd);
    Drop();
    return -1;
  }
  name = name_;
  name_.clear();
  size = st.st_size;
  return fd;
}

void TZipSpareFile::Drop() {
  if (folder_.IsOpen() && !name_.empty()) ::unlinkat(folder_.Fd(), name_.c_str(), 0);
  name_.clear();
}

bool TZipOutputFile::Create(const TZipFolder& folder, const std::string& sysLeaf, const TZipDestInfo& dest,
                            TZipSpareFile* spare) {
  Discard();
  spare_ = spare;
  folder_ = &folder;
  leaf_ = sysLeaf;
  dest_ = dest;
  written_ = 0;
  reusedSize_ = -1;
  if (!dest.Exists) {
    const int fd = ::openat(folder.Fd(), sysLeaf.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
    if (fd >= 0) {
      dirFd_ = folder.Fd();
      fd_ = fd;
      tempName_ = sysLeaf;
      return true;
    }
    if (errno != EEXIST) return false;
    dest_.Exists = true;  // one appeared meanwhile: replace it like any other
    dest_.Reusable = false;
  }
  if (spare) {
    std::string name;
    int64_t size = 0;
    const int fd = spare->Claim(folder, name, size);
    if (fd >= 0) {
      dirFd_ = folder.Fd();
      fd_ = fd;
      tempName_ = name;
      reusedSize_ = size;
      return true;
    }
  }
  static std::atomic<uint32_t> counter{0};
  static const uint32_t seed = std::random_device{}() ^ (static_cast<uint32_t>(::getpid()) << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint32_t n = seed ^ counter.fetch_add(1);
    const std::string name = Format(".tavro-zip-%08x.tmp", n);
    const int fd = ::openat(folder.Fd(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      dirFd_ = folder.Fd();
      fd_ = fd;
      tempName_ = name;
      return true;
    }
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TZipOutputFile::Write(const uint8_t* data, size_t size) {
  while (size > 0) {
    const ssize_t n = ::write(fd_, data, size);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return false;
    data += n;
    size -= static_cast<size_t>(n);
    written_ += n;
  }
  if (writeBehind_ && written_ - handedToDisk_ >= kWriteBehindSlice) {
    ::sync_file_range(fd_, handedToDisk_, written_ - handedToDisk_, SYNC_FILE_RANGE_WRITE);
    handedToDisk_ = written_;
  }
  return true;
}

bool TZipOutputFile::ReadBack(const std::function<void(const uint8_t*, size_t)>& sink) const {
  uint8_t buffer[65536];
  for (off_t pos = 0; pos < written_;) {
    const ssize_t n = ::pread(fd_, buffer, static_cast<size_t>(std::min<int64_t>(sizeof buffer, written_ - pos)), pos);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    sink(buffer, static_cast<size_t>(n));
    pos += n;
  }
  return true;
}

bool TZipOutputFile::Commit(int32_t dosDateTime, bool applyAttr, uint32_t attr, bool flush) {
  bool ok = fd_ >= 0;
  // A reused inode may be longer than the output.
  if (ok && reusedSize_ > written_ && ::ftruncate(fd_, written_) != 0) ok = false;
  const time_t t = FileDateToDateTime(dosDateTime);
  if (ok && t != -1) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ::futimens(fd_, times);
  }
  // Only the DOS read-only bit changes permissions; the new file keeps the mode the
  // umask gave it otherwise.
  if (ok && applyAttr && (attr & faReadOnly)) {
    struct stat st {};
    ok = ::fstat(fd_, &st) == 0 && ::fchmod(fd_, st.st_mode & 0777 & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }
  if (ok && flush && ::fsync(fd_) != 0 && errno != EINVAL) ok = false;
  if (fd_ >= 0 && ::close(fd_) != 0) ok = false;
  fd_ = -1;
  if (ok) ok = Publish();
  Discard();
  return ok;
}

bool TZipOutputFile::Publish() {
  if (tempName_ == leaf_) {  // created in place
    tempName_.clear();
    return true;
  }
  const char* temp = tempName_.c_str();
  const char* leaf = leaf_.c_str();
  if (dest_.Exists) {
    if (::renameat2(dirFd_, temp, dirFd_, leaf, RENAME_EXCHANGE) == 0) {
      // The temporary name now holds the old file: the spare, or Discard removes it.
      if (spare_ && dest_.Reusable) {
        spare_->Keep(*folder_, tempName_);
        tempName_.clear();
      }
      return true;
    }
    // Gone meanwhile, or a file system without exchange: a plain rename.
    if (errno != ENOENT && errno != EINVAL && errno != ENOSYS) return false;
  }
  if (::renameat(dirFd_, temp, dirFd_, leaf) != 0) return false;
  tempName_.clear();
  return true;
}

void TZipOutputFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (dirFd_ >= 0 && !tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
  dirFd_ = -1;
  tempName_.clear();
}
