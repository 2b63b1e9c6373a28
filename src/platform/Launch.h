// Internal to the platform layer; not part of its interface.
// Starting outside programs: the part WinExec and ShellExecuteA share.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Splits a command line (UTF-8) into arguments by the platform's rules: blanks separate,
// double quotes group, 2n backslashes before a quote give n backslashes and the quote
// opens or closes a group, 2n+1 give n backslashes and a literal quote; other
// backslashes are kept as they stand.
std::vector<std::string> SplitCommandLine(const std::string& commandLine);

// The first regular file among folder + name for the given folders (system paths; an
// empty folder takes the name as it stands), as an absolute path; a name without an
// extension is also tried with ".exe". Empty when there is none.
std::string FindFileIn(const std::vector<std::string>& folders, const std::string& name);
// The folders of $PATH, in order.
std::vector<std::string> PathFolders();

// How a file is started: the file itself when it is executable, a Windows program
// ("MZ" header) through wine when wine is on PATH. Returns 0 and fills argv, or the
// system error code: ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BAD_FORMAT.
uint32_t LaunchCommandFor(const std::string& file, std::vector<std::string>& argv);

// Starts argv[0] (a path) with the arguments, detached: in its own session, stdin,
// stdout and stderr on /dev/null, in workDir when it is not empty, reaped at once so no
// zombie is left. Waits only until the program has been executed (or failed to be).
// Returns 0, or the system error code of the failure (ERROR_PATH_NOT_FOUND when the
// working folder is missing).
uint32_t StartDetached(const std::vector<std::string>& argv, const std::string& workDir);
