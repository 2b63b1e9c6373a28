// Internal to the platform layer; not part of its interface.
// The per-user base folders of the XDG base directory rules, the search lists of the
// environment ($PATH, $XDG_CONFIG_DIRS) and the file-kind checks the platform layer uses.
#pragma once

#include <string>
#include <vector>

// The variable's value, or fallback when it is unset or empty.
std::string EnvOr(const char* name, const std::string& fallback);
// The folders of a ":"-separated search list, in order, empty entries left out.
std::vector<std::string> SplitSearchList(const std::string& list);

bool IsRegularFile(const std::string& path);
bool IsDirectory(const std::string& path);
// The name of the entry of folder that is name but for the case of its ASCII letters: name
// itself when it exists as written, else the first such entry; empty when there is none.
std::string FindNameWithoutCase(const std::string& folder, const std::string& name);

// The folder named by the environment variable when it holds an absolute path, else
// $HOME followed by "/" and fallbackBelowHome (".config", ".local/share", ".local/state").
// System path without a trailing "/".
std::string XdgUserFolder(const char* variable, const char* fallbackBelowHome);

// Creates the folder and its missing parents (mode 0700 for the ones it makes). False
// when it is not a folder afterwards.
bool MakeUserFolder(const std::string& path);
