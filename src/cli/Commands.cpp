#include "cli/Commands.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <iostream>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"
#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "runtime/CodePage.h"
#include "runtime/FileIO.h"
#include "toolkit/Translation.h"

namespace {
struct TCommandSpec {
  const char* Name;
  const char* Help;  // %1: the program's name
  std::vector<std::string> Options;
  size_t MinArgs, MaxArgs;
  int (*Run)(const TInvocation&);
};

const TCommandSpec kCommands[] = {
    {"list",
     QT_TRANSLATE_NOOP("Tavro",
                       "Usage: %1 list [--offline] [--json]\n"
                       "List the models and versions of the catalogue, fetched from the update server\n"
                       "as at start (the stored catalogue when that fails). Versions whose package is\n"
                       "stored and verifies are marked \"stored\".\n"
                       "\n"
                       "  --offline   read the stored catalogue, fetch nothing\n"
                       "  --json      print the list as JSON\n"),
     {"--offline", "--json"}, 0, 0, RunList},
    {"notes",
     QT_TRANSLATE_NOOP("Tavro",
                       "Usage: %1 notes MODEL VERSION\n"
                       "Print the release notes of a version as plain text, fetched from the update\n"
                       "server, else the copy in the store.\n"),
     {}, 2, 2, RunNotes},
    {"fetch",
     QT_TRANSLATE_NOOP("Tavro",
                       "Usage: %1 fetch MODEL [VERSION] [--force]\n"
                       "Download a package into the store under every rule of the window's download:\n"
                       "its signature first, its signed size, retries that resume. VERSION defaults\n"
                       "to the version the window would preselect. Prints the stored file. A package\n"
                       "already stored that verifies is not fetched again.\n"
                       "\n"
                       "  --force     fetch it again all the same\n"),
     {"--force"}, 1, 2, RunFetch},
    {"verify",
     QT_TRANSLATE_NOOP("Tavro",
                       "Usage: %1 verify MODEL VERSION\n"
                       "  or:  %1 verify FILE\n"
                       "Check a stored or given package against the signature beside it and the\n"
                       "trusted keys; say who signed it, for which file, when, and its signed size.\n"
                       "\n"
                       "  --json      print the result as JSON\n"),
     {"--json"}, 1, 2, RunVerify},
    {"install",
     QT_TRANSLATE_NOOP("Tavro",
                       "Usage: %1 install MODEL VERSION [--yes]\n"
                       "Hand a stored package to the player's flashing tool, as the firmware upgrade\n"
                       "button does: check it, unpack it into the player software's folder, ask to\n"
                       "connect the player, and start the tool.\n"
                       "\n"
                       "  --yes       do not ask; the player is connected\n"),
     {"--yes"}, 2, 2, RunInstall},
};

const TCommandSpec* FindCommand(const std::string& name) {
  for (const TCommandSpec& command : kCommands)
    if (name == command.Name) return &command;
  return nullptr;
}

int Usage(const TCommandSpec& command, const std::string& error) {
  std::fprintf(stderr, "tavro %s: %s\nTry 'tavro %s --help' for more information.\n", command.Name, error.c_str(),
               command.Name);
  return ecUsage;
}

// Reads the command's options and operands; -1 when they fit, else the status to exit with.
int ReadArguments(const TCommandSpec& command, const std::vector<std::string>& args, TInvocation& call) {
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg == "--help" || arg == "-h") {
      std::fputs(Tavro::tr(command.Help).arg("tavro").toUtf8().constData(), stdout);
      return ecDone;
    }
    const bool known = std::find(command.Options.begin(), command.Options.end(), arg) != command.Options.end();
    if (known) call.Options.insert(arg);
    else if (arg.size() > 1 && arg[0] == '-') return Usage(command, "unrecognized option '" + arg + "'");
    else call.Args.push_back(arg);
  }
  if (call.Args.size() < command.MinArgs) return Usage(command, "missing operand");
  if (call.Args.size() > command.MaxArgs) return Usage(command, "extra operand '" + call.Args[command.MaxArgs] + "'");
  return -1;
}
}  // namespace

namespace {
// Results that could not be written are a failure, as in the standard tools: a full device,
// a closed standard output.
int ResultsWritten(int code) {
  errno = 0;
  std::cout.flush();
  if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout.good()) return code;
  const int error = errno ? errno : EIO;
  LogStep("command: its results could not be written: " + SystemErrorText(error));
  std::fprintf(stderr, "tavro: write error: %s\n", ToTerminal(SystemErrorText(error)).c_str());
  return code == ecDone ? ecFailed : code;
}
}  // namespace

bool IsCommand(const std::string& arg) { return FindCommand(arg) != nullptr; }

int RunCommand(const std::vector<std::string>& args) {
  const TCommandSpec* command = FindCommand(args.at(0));
  if (!command) return ecUsage;
  TInvocation call;
  const int answered = ReadArguments(*command, args, call);
  if (answered >= 0) return answered;
  // Help and usage errors are answered before any file is touched: the log and the data
  // folder only for a command that runs.
  // No failure ends the program uncaught: it is told in one line with what it is about.
  try {
    StartLog(false);
    LogStep("command: " + args[0]);
    call.Settings = TAppSettings::Default();
    // A data folder that could not be made is told with the system's reason, not as the first
    // file that then cannot be created in it.
    if (!MakeUserFolder(AnsiPathToSys(call.Settings.ProgramFolder))) {
      const TJobFailure failure = LocalFailure(call.Settings.ProgramFolder, errno);
      LogStep("command " + args[0] + " failed: " + failure.Cause);
      return ComplainOf(jnNone, failure);
    }
    return ResultsWritten(command->Run(call));
  } catch (const std::exception& e) {
    LogStep("command " + args[0] + " failed: " + LogErrorText(e));
    return Complain(ecFailed, ToTerminal(LogErrorText(e)));
  }
}
