// The per-user base folders of the XDG base directory rules.
#pragma once

#include <string>

// The folder named by the environment variable when it holds an absolute path, else
// $HOME followed by "/" and fallbackBelowHome (".config", ".local/share", ".local/state").
// System path without a trailing "/".
std::string XdgUserFolder(const char* variable, const char* fallbackBelowHome);

// Creates the folder and its missing parents (mode 0700 for the ones it makes). False
// when it is not a folder afterwards.
bool MakeUserFolder(const std::string& path);
