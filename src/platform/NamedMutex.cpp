#include "platform/NamedMutex.h"

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>

#include "platform/RuntimeDir.h"
#include "runtime/CodePage.h"

namespace {

// A mutex name may hold "\" (the platform's "Global\" prefix) or "/": neither may
// become a folder step of the lock file's path.
std::string LockBaseName(const AnsiString& name) {
  std::string base = AnsiToUtf8(name);
  for (char& c : base)
    if (c == '/' || c == '\\') c = '_';
  if (base.empty() || base == "." || base == "..") base = "_" + base;
  return base;
}

std::string FallbackLockPath(const AnsiString& name) {
  return "/tmp/" + LockBaseName(name) + "-" + std::to_string(::geteuid()) + ".lock";
}

std::string LockPath(const AnsiString& name) {
  const std::string dir = UserRuntimeDir();
  return dir.empty() ? FallbackLockPath(name) : dir + "/" + LockBaseName(name) + ".lock";
}

int OpenLockFile(const std::string& path) {
  // O_NOFOLLOW: in the shared /tmp a planted link must not make us lock (or create) another file.
  return ::open(path.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
}

}  // namespace

TNamedMutex::TNamedMutex(const AnsiString& name) : name_(name), path_(LockPath(name)) {
  fd_.Reset(OpenLockFile(path_));
  if (!fd_.IsOpen() && path_ != FallbackLockPath(name)) {
    // A runtime folder that is gone or not ours: every instance falls back the same way.
    path_ = FallbackLockPath(name);
    fd_.Reset(OpenLockFile(path_));
  }
  if (!fd_.IsOpen()) return;
  int r;
  do r = ::flock(fd_.Get(), LOCK_EX | LOCK_NB);
  while (r != 0 && errno == EINTR);
  if (r == 0) owned_ = true;
  else if (errno == EWOULDBLOCK) alreadyExisted_ = true;
  // The descriptor stays open either way, as the platform's handle would.
}

