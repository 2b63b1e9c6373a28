#include "platform/Shell.h"

#include <sys/stat.h>

#include <string>
#include <vector>

#include "platform/Launch.h"
#include "platform/ProgramInfo.h"
#include "platform/UserFolders.h"
#include "runtime/CodePage.h"

namespace {
constexpr intptr_t kStarted = 42;

std::string ResolveFile(const std::string& file, const std::string& dir) {
  if (file[0] == '/') return FindFileIn({""}, file);
  std::vector<std::string> folders{dir};
  if (file.find('/') == std::string::npos) {
    folders.push_back(AnsiPathToSys(ProgramFolder()));
    for (const std::string& folder : PathFolders()) folders.push_back(folder);
  }
  return FindFileIn(folders, file);
}
}  // namespace

intptr_t ShellExecuteA(HWND hwnd, const char* operation, const char* file, const char* parameters,
                       const char* directory, int showCmd) {
  (void)hwnd;
  (void)showCmd;
  if (operation && !SameText(operation, "open")) return SE_ERR_NOASSOC;
  if (!file || !*file) return ERROR_FILE_NOT_FOUND;
  const std::string dir = directory && *directory ? AnsiPathToSys(directory) : std::string();
  if (!dir.empty() && !IsDirectory(dir)) return ERROR_PATH_NOT_FOUND;
  const std::string name = AnsiPathToSys(file);
  if (IsDirectory(name.front() == '/' || dir.empty() ? name : dir + "/" + name)) return SE_ERR_NOASSOC;

  std::vector<std::string> args;
  if (parameters && *parameters) args = SplitCommandLine(AnsiToUtf8(parameters));
  if (uint32_t error = StartProgram(name, ResolveFile(name, dir), args, dir))
    return error == ERROR_ACCESS_DENIED || error == ERROR_BAD_FORMAT ? SE_ERR_NOASSOC : static_cast<intptr_t>(error);
  return kStarted;
}
