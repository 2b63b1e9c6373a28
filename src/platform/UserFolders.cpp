#include "platform/UserFolders.h"

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>
#include <cstdlib>
#include <utility>

std::string EnvOr(const char* name, const std::string& fallback) {
  const char* value = std::getenv(name);
  return value && *value ? std::string(value) : fallback;
}

std::vector<std::string> SplitSearchList(const std::string& list) {
  std::vector<std::string> folders;
  for (size_t start = 0;;) {
    const size_t colon = list.find(':', start);
    std::string folder = list.substr(start, colon == std::string::npos ? std::string::npos : colon - start);
    if (!folder.empty()) folders.push_back(std::move(folder));
    if (colon == std::string::npos) return folders;
    start = colon + 1;
  }
}

bool IsRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

bool IsDirectory(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

std::string FindNameWithoutCase(const std::string& folder, const std::string& name) {
  struct stat st {};
  if (name.empty() || ::lstat((folder + "/" + name).c_str(), &st) == 0) return name;
  DIR* dir = ::opendir(folder.empty() ? "." : folder.c_str());
  if (!dir) return std::string();
  std::string found;
  while (const dirent* entry = ::readdir(dir)) {
    // UTF-8 on disk: only ASCII bytes are letters with a case here.
    if (::strcasecmp(entry->d_name, name.c_str()) == 0) {
      found = entry->d_name;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

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
  return IsDirectory(path);
}
