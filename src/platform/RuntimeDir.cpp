#include "platform/RuntimeDir.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

std::string UserRuntimeDir() {
  const char* dir = std::getenv("XDG_RUNTIME_DIR");
  if (!dir || dir[0] != '/') return std::string();
  std::string path = dir;
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool EnsurePrivateFolder(const std::string& path) {
  if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
  struct stat st {};
  if (::lstat(path.c_str(), &st) != 0) return false;
  return S_ISDIR(st.st_mode) && st.st_uid == ::geteuid();
}
