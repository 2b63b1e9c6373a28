// The commands of `tavro`: the update job from a terminal, without a window.
//
//   tavro list [--offline] [--json]      the catalogue's models and versions
//   tavro list --stored [--json]         the store's packages and whether each verifies
//   tavro notes MODEL VERSION            a version's release notes as plain text
//   tavro fetch MODEL [VERSION]          a package downloaded into the store
//   tavro verify MODEL VERSION | FILE    a package checked against its signature
//   tavro install MODEL VERSION [--yes]  the stored package handed to the flashing tool
//   tavro clean [MODEL [VERSION]]        packages removed from the store
//
// Every command also takes -v/--verbose (or --log-stderr), -q/--quiet and -h/--help; "--"
// ends the options. Results go to standard output, progress and messages to standard
// error. Exit statuses: 0 done, 1 failed, 2 usage, 3 refused by a signature check,
// 4 network failure, 130 Ctrl-C.
#pragma once

#include <functional>
#include <string>
#include <vector>

#include "job/AppSettings.h"

// The arguments with the command they name first, options that stood before it ("tavro -v
// fetch ...") after it; empty when they name no command (the window's command line).
std::vector<std::string> CommandArguments(const std::vector<std::string>& args);

// Runs the command args[0] names with the rest of the arguments; the program's settings
// are asked for (TAppSettings::Default in the program) only once the arguments fit.
// Returns the exit status.
int RunCommand(const std::vector<std::string>& args, const std::function<TAppSettings()>& settings);
