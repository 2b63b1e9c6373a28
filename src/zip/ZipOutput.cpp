#include "zip/ZipOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdio>
#include <random>
#include <utility>

#include "runtime/CodePage.h"
#include "runtime/FileUtils.h"
#include "runtime/Hooks.h"

TZipFolder::TZipFolder(int fd) : fd_(fd) {
  struct stat st {};
  if (fd_.IsOpen() && ::fstat(fd_.Get(), &st) == 0) {
    dev_ = st.st_dev;
    ino_ = st.st_ino;
  }
}

TZipFolder TZipFolder::Open(const AnsiString& path, bool create) {
  const std::string sys = path.empty() ? std::string(".") : AnsiPathToSys(path);
  if (create && !path.empty()) ForceDirectories(path);
  return TZipFolder(::open(sys.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
}

TZipFolder TZipFolder::Descend(const std::vector<std::string>& sysComponents, bool create) const {
  if (!IsOpen()) return TZipFolder();
  TZipFolder current(::dup(fd_.Get()));
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

TFileHandle TZipSpareFile::Claim(const TZipFolder& folder, std::string& name, int64_t& size) {
  if (name_.empty()) return TFileHandle();
  if (!folder_.SameAs(folder)) {
    if (::renameat(folder_.Fd(), name_.c_str(), folder.Fd(), name_.c_str()) != 0) {
      Drop();
      return TFileHandle();
    }
    folder_ = TZipFolder(::dup(folder.Fd()));
    if (!folder_.IsOpen()) {
      ::unlinkat(folder.Fd(), name_.c_str(), 0);
      name_.clear();
      return TFileHandle();
    }
  }
  // The replaced file's mode (read-only, executable) must not pass to the new output.
  TFileHandle fd(::openat(folder_.Fd(), name_.c_str(), O_RDWR | O_NOFOLLOW | O_CLOEXEC));
  struct stat st {};
  if (!fd.IsOpen() || ::fstat(fd.Get(), &st) != 0 || !S_ISREG(st.st_mode) ||
      ((st.st_mode & 07777) != NewFileMode() && ::fchmod(fd.Get(), NewFileMode()) != 0)) {
    Drop();
    return TFileHandle();
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

bool TZipOutputFile::CreateNew(const TZipFolder& folder, const std::string& sysLeaf) {
  Discard();
  spare_ = nullptr;
  folder_ = &folder;
  leaf_ = sysLeaf;
  dest_ = TZipDestInfo();
  written_ = 0;
  reusedSize_ = -1;
  TFileHandle fd(::openat(folder.Fd(), sysLeaf.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666));
  return fd.IsOpen() && Adopt(folder, std::move(fd), sysLeaf);
}

bool TZipOutputFile::Create(const TZipFolder& folder, const std::string& sysLeaf, const TZipDestInfo& dest,
                            TZipSpareFile* spare) {
  if (!dest.Exists) {
    if (CreateNew(folder, sysLeaf)) return true;
    if (errno != EEXIST) return false;
  }
  Discard();
  spare_ = spare;
  folder_ = &folder;
  leaf_ = sysLeaf;
  dest_ = dest;
  written_ = 0;
  reusedSize_ = -1;
  if (!dest.Exists) {
    dest_.Exists = true;  // one appeared meanwhile: replace it like any other
    dest_.Reusable = false;
  }
  if (spare) {
    std::string name;
    int64_t size = 0;
    TFileHandle fd = spare->Claim(folder, name, size);
    if (fd.IsOpen()) {
      reusedSize_ = size;
      return Adopt(folder, std::move(fd), name);
    }
  }
  static std::atomic<uint32_t> counter{0};
  static const uint32_t seed = std::random_device{}() ^ (static_cast<uint32_t>(::getpid()) << 16);
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint32_t n = seed ^ counter.fetch_add(1);
    const std::string name = Format(".tavro-zip-%08x.tmp", n);
    TFileHandle fd(::openat(folder.Fd(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
    if (fd.IsOpen()) return Adopt(folder, std::move(fd), name);
    if (errno != EEXIST) return false;
  }
  return false;
}

bool TZipOutputFile::Adopt(const TZipFolder& folder, TFileHandle fd, const std::string& name) {
  dirFd_ = folder.Fd();
  fd_ = std::move(fd);
  tempName_ = name;
  return true;
}

bool TZipOutputFile::Write(const uint8_t* data, size_t size) {
  const int64_t n = WriteFull(fd_.Get(), data, static_cast<int64_t>(size));
  written_ += n;
  if (writeBehind_ && written_ - handedToDisk_ >= kWriteBehindSlice) {
    ::sync_file_range(fd_.Get(), handedToDisk_, written_ - handedToDisk_, SYNC_FILE_RANGE_WRITE);
    handedToDisk_ = written_;
  }
  return n == static_cast<int64_t>(size);
}

bool TZipOutputFile::ReadBack(const std::function<void(const uint8_t*, size_t)>& sink) const {
  uint8_t buffer[65536];
  for (int64_t pos = 0; pos < written_;) {
    int error = 0;
    const int64_t n = ReadFullAt(fd_.Get(), pos, buffer, std::min<int64_t>(sizeof buffer, written_ - pos), &error);
    if (error) return false;
    if (n == 0) return true;
    sink(buffer, static_cast<size_t>(n));
    pos += n;
  }
  return true;
}

bool TZipOutputFile::Commit(time_t t, bool applyAttr, uint32_t attr, bool flush) {
  const int fd = fd_.Get();
  bool ok = fd >= 0;
  // A reused inode may be longer than the output.
  if (ok && reusedSize_ > written_ && ::ftruncate(fd, written_) != 0) ok = false;
  if (ok && t != -1) {
    struct timespec times[2] = {{t, 0}, {t, 0}};
    ::futimens(fd, times);
  }
  // Only the DOS read-only bit changes permissions; the new file keeps the mode the
  // umask gave it otherwise.
  if (ok && applyAttr && (attr & faReadOnly)) {
    struct stat st {};
    ok = ::fstat(fd, &st) == 0 && ::fchmod(fd, st.st_mode & 0777 & ~(S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
  }
  if (ok && flush) {
    int error = 0;
    const auto sync = [fd, &error] {
      if (::fsync(fd) != 0 && errno != EINVAL) error = errno;
    };
    // The sync of a large file can take the disk a while: the window goes on being served.
    if (written_ >= kWriteBehindSlice) WhilePumping(sync);
    else sync();
    ok = error == 0;
  }
  if (fd_.Close() != 0) ok = false;
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
  fd_.Reset();
  if (dirFd_ >= 0 && !tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
  dirFd_ = -1;
  tempName_.clear();
}
