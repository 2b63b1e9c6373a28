#include "platform/WinExec.h"

#include "platform/Launch.h"
#include "platform/ProgramInfo.h"
#include "runtime/CodePage.h"

namespace {
constexpr uint32_t kStarted = 33;

std::string ToSysSeparators(std::string path) {
  for (char& c : path)
    if (c == '\\') c = '/';
  return path;
}
}  // namespace

uint32_t WinExec(const AnsiString& cmdLine, int showMode) {
  (void)showMode;
  // Converted first: in UTF-8 no byte of a Chinese character can be taken for "\" or a quote.
  std::vector<std::string> args = SplitCommandLine(AnsiToUtf8(cmdLine));
  if (args.empty() || args[0].empty()) return ERROR_FILE_NOT_FOUND;
  const std::string program = ToSysSeparators(args[0]);

  std::string file;
  if (program.find('/') != std::string::npos) {
    file = FindFileIn({""}, program);
  } else {
    std::vector<std::string> folders{AnsiPathToSys(ProgramFolder())};
    for (const std::string& folder : PathFolders()) folders.push_back(folder);
    file = FindFileIn(folders, program);
  }
  if (uint32_t error = StartProgram(program, file, {args.begin() + 1, args.end()}, std::string())) return error;
  return kStarted;
}
