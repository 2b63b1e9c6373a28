#include "platform/UserFolders.h"

#include <sys/stat.h>

#include <cerrno>
#include <cstdlib>

std::string XdgUserFolder(const char* variable, const char* fallbackBelowHome) {
  std::string folder;
  const char* value = std::getenv(variable);
  if (value && value[0] == '/') {
    folder = value;
  } else {
    const char* home = std::getenv("HOME");
    folder = std::string(home ? home : "") + "/" + fallbackBelowHome;
  }
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder;
}

bool MakeUserFolder(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (!part.empty() && ::mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) break;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}
