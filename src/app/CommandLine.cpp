#include "app/CommandLine.h"

#include <cstdio>

#include "app/Main01.h"
#include "platform/ProgramInfo.h"
#include "toolkit/Translation.h"

namespace {

// The program's own text (the design has none), translatable like every other.
const char* const kUsage = QT_TRANSLATE_NOOP(
    "Tavro",
    "Usage: %1 [OPTION]...\n"
    "  or:  %1 COMMAND [ARGUMENT]...\n"
    "Fetch firmware for Tavro MP3 players from the update server and hand it to the\n"
    "player's flashing tool: in a window, or from a terminal with a command.\n"
    "\n"
    "Commands (no window opens; '%1 COMMAND --help' tells more):\n"
    "  list [--offline] [--json]       the catalogue's models and versions\n"
    "  notes MODEL VERSION             a version's release notes as plain text\n"
    "  fetch MODEL [VERSION] [--force] download a package into the store\n"
    "  verify MODEL VERSION | FILE     check a package against its signature\n"
    "  install MODEL VERSION [--yes]   hand a stored package to the flashing tool\n"
    "\n"
    "Options:\n"
    "      --log-stderr  also write the log to standard error\n"
    "  -h, --help        display this help and exit\n"
    "  -V, --version     output version information and exit\n"
    "\n"
    "Environment:\n"
    "  http_proxy, https_proxy, no_proxy  the proxy for the update server and the web views\n"
    "\n"
    "Files:\n"
    "  The catalogue, user.ini and FirmwareBack/ lie next to the program, or in\n"
    "  $XDG_DATA_HOME/tavro/ (default ~/.local/share) when the program is installed or\n"
    "  its folder is not writable. The log is $XDG_STATE_HOME/tavro/tavro.log\n"
    "  (default ~/.local/state), with two older files beside it.\n"
    "\n"
    "Exit status of the commands:\n"
    "  0 done, 1 failed (a folder that cannot be written, results that cannot be\n"
    "  written), 2 wrong command line or an unreadable proxy variable, 3 refused by a\n"
    "  signature check, 4 network failure or an error status from the server,\n"
    "  130 cancelled with Ctrl-C or SIGTERM. The window, fetch, install and\n"
    "  list without --offline write the store: one of them runs at a time.\n");

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine result;
  bool help = false, version = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version" || arg == "-V") {
      version = true;
    } else if (arg == "--log-stderr") {
      result.LogToStderr = true;
    } else {
      result.Action = TCommandLine::caError;
      result.Error = arg.size() > 1 && arg[0] == '-' ? "unrecognized option '" + arg + "'"
                                                     : "unexpected argument '" + arg + "'";
      return result;
    }
  }
  if (help) result.Action = TCommandLine::caHelp;
  else if (version) result.Action = TCommandLine::caVersion;
  return result;
}

int AnswerCommandLine(const TCommandLine& commandLine, const char* programName) {
  switch (commandLine.Action) {
    case TCommandLine::caRun:
      return -1;
    case TCommandLine::caHelp:
      std::fputs(Tavro::tr(kUsage).arg(programName).toUtf8().constData(), stdout);
      return 0;
    case TCommandLine::caVersion: {
      TFileVersion v;
      const bool known = GetProgramFileVersion(v);
      std::printf("%s (Tavro MP3 LiveUpdate) %u.%u.%u.%u\nBuild %s\n", programName, known ? v.Major : 0u,
                  known ? v.Minor : 0u, known ? v.Release : 0u, known ? v.Build : 0u, ReadBuildVersion().c_str());
      return 0;
    }
    case TCommandLine::caError:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", programName,
                   commandLine.Error.c_str(), programName);
      return 2;
  }
  return -1;
}
