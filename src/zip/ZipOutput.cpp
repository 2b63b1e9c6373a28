#include "zip/ZipOutput.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <random>

#include "runtime/CodePage.h"
#include "runtime/FileUtils.h"

TZipFolder& TZipFolder::operator=(TZipFolder&& other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = other.fd_;
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
  info.DosDateTime = DateTimeToFileDate(st.st_mtime);
  return info;
}

TZipOutputFile::~TZipOutputFile() { Discard(); }

bool TZipOutputFile::Create(const TZipFolder& folder) {
  Discard();
  static std::atomic<uint32_t> counter{0};
  static const uint32_t seed = std::random_device{}();
  for (int attempt = 0; attempt < 100; ++attempt) {
    const uint32_t n = seed ^ (static_cast<uint32_t>(::getpid()) << 16) ^ counter.fetch_add(1);
    const std::string name = Format(".tavro-zip-%08x.tmp", n);
    const int fd = ::openat(folder.Fd(), name.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd >= 0) {
      dirFd_ = ::dup(folder.Fd());
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
  }
  return true;
}

bool TZipOutputFile::ReadBack(const std::function<void(const uint8_t*, size_t)>& sink) const {
  uint8_t buffer[65536];
  for (off_t pos = 0;;) {
    const ssize_t n = ::pread(fd_, buffer, sizeof buffer, pos);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    if (n == 0) return true;
    sink(buffer, static_cast<size_t>(n));
    pos += n;
  }
}

bool TZipOutputFile::Commit(const std::string& sysLeaf, int32_t dosDateTime, bool applyAttr, uint32_t attr,
                            bool flush) {
  bool ok = fd_ >= 0;
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
  if (ok && ::renameat(dirFd_, tempName_.c_str(), dirFd_, sysLeaf.c_str()) != 0) ok = false;
  if (ok) {
    tempName_.clear();
    ::close(dirFd_);
    dirFd_ = -1;
  }
  Discard();
  return ok;
}

void TZipOutputFile::Discard() {
  if (fd_ >= 0) ::close(fd_);
  fd_ = -1;
  if (dirFd_ >= 0) {
    if (!tempName_.empty()) ::unlinkat(dirFd_, tempName_.c_str(), 0);
    ::close(dirFd_);
  }
  dirFd_ = -1;
  tempName_.clear();
}
