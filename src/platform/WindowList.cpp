#include "platform/WindowList.h"

#include <dirent.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <mutex>
#include <sstream>

#include "platform/RuntimeDir.h"
#include "runtime/CodePage.h"
#include "runtime/Exception.h"
#include "runtime/FileUtils.h"

namespace {

std::string WindowsFolder() {
  const std::string dir = UserRuntimeDir();
  if (!dir.empty()) return dir + "/tavro-windows";
  return "/tmp/tavro-windows-" + std::to_string(::geteuid());
}

std::string EntryPath(int pid) { return WindowsFolder() + "/" + std::to_string(pid); }

// The process's start time in clock ticks since boot (field 22 of /proc/<pid>/stat);
// together with the pid it names one process for the life of the system.
std::string StartTimeOf(int pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  // The command name (field 2) is in parentheses and may hold blanks: count after its end.
  const size_t close = stat.rfind(')');
  if (close == std::string::npos) return std::string();
  std::istringstream fields(stat.substr(close + 1));
  std::string field;
  for (int i = 3; i <= 22 && (fields >> field); ++i)
    if (i == 22) return field;
  return std::string();
}

bool IsAlive(int pid, const std::string& startTime) {
  if (::kill(pid, 0) != 0 && errno != EPERM) return false;
  return StartTimeOf(pid) == startTime;
}

bool ParsePid(const char* name, int& pid) {
  char* end = nullptr;
  errno = 0;
  long value = std::strtol(name, &end, 10);
  if (errno != 0 || end == name || *end != '\0' || value <= 0 || value > 0x7FFFFFFF) return false;
  pid = static_cast<int>(value);
  return true;
}

void RegisterExitCleanup() {
  static std::once_flag once;
  std::call_once(once, [] { std::atexit(UnpublishWindowCaption); });
}

}  // namespace

bool PublishWindowCaption(const AnsiString& caption) {
  const std::string folder = WindowsFolder();
  if (!EnsurePrivateFolder(folder)) return false;
  const int pid = static_cast<int>(::getpid());
  const std::string content = StartTimeOf(pid) + "\n" + caption;
  try {
    ReplaceFileContent(SysPathToAnsi(EntryPath(pid)), content.data(), static_cast<int64_t>(content.size()));
  } catch (const Exception&) {
    return false;
  }
  RegisterExitCleanup();
  return true;
}

void UnpublishWindowCaption() { ::unlink(EntryPath(static_cast<int>(::getpid())).c_str()); }

int FindWindowByCaption(const AnsiString& caption) {
  const std::string folder = WindowsFolder();
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return 0;
  int found = 0;
  while (dirent* entry = ::readdir(dir)) {
    int pid = 0;
    if (!ParsePid(entry->d_name, pid)) continue;
    std::ifstream in(folder + "/" + entry->d_name, std::ios::binary);
    std::string startTime;
    if (!std::getline(in, startTime)) continue;
    std::string published((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (!IsAlive(pid, startTime)) {
      // Left behind by a process that has ended.
      ::unlink((folder + "/" + entry->d_name).c_str());
      continue;
    }
    if (SameText(published, caption)) {
      found = pid;
      break;
    }
  }
  ::closedir(dir);
  return found;
}

HWND FindWindowA(const char* className, const char* windowName) {
  if (className && std::strcmp(className, "TApplication") != 0) return nullptr;
  const int pid = FindWindowByCaption(windowName ? windowName : "");
  return pid ? reinterpret_cast<HWND>(static_cast<uintptr_t>(pid)) : nullptr;
}
