// The commands of `tavro`: the update job from a terminal, without a window.
//
//   tavro list [--offline] [--json]      the catalogue's models and versions
//   tavro notes MODEL VERSION            a version's release notes as plain text
//   tavro fetch MODEL [VERSION]          a package downloaded into the store
//   tavro verify MODEL VERSION | FILE    a package checked against its signature
//   tavro install MODEL VERSION [--yes]  the stored package handed to the flashing tool
//
// Results go to standard output, progress and messages to standard error. Exit statuses:
// 0 done, 1 failed, 2 usage, 3 refused by a signature check, 4 network failure, 130 Ctrl-C.
#pragma once

#include <string>
#include <vector>

#include "job/AppSettings.h"

// Whether the argument names a command.
bool IsCommand(const std::string& arg);

// Runs the command args[0] names with the rest of the arguments, with the program's
// settings (TAppSettings::Default); returns the exit status.
int RunCommand(const std::vector<std::string>& args);
