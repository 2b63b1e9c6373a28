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
// extension is also tried with ".exe". The last component of folder + name is found
// without regard to the case of its ASCII letters, as Windows finds it ("stupdaterapp.exe"
// is "StUpdaterApp.exe"). Empty when there is none.
std::string FindFileIn(const std::vector<std::string>& folders, const std::string& name);
// The folders of $PATH, in order.
std::vector<std::string> PathFolders();

// Starts the program file (the result of FindFileIn for name; empty when none was found)
// with the arguments (UTF-8) in workDir (empty: this process's current folder). An
// executable file is started itself; a Windows program ("MZ" header) through the first
// wine on PATH, with WINEPREFIX set to the prefix whose registry the program's keys are
// read from (WinePrefix.h). The log tells the command line started, or why nothing was.
// Returns 0, or the system error code: ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED (not
// executable), ERROR_BAD_FORMAT (a Windows program and no wine), or those of StartDetached.
uint32_t StartProgram(const std::string& name, const std::string& file, const std::vector<std::string>& args,
                      const std::string& workDir);

// Starts argv[0] (a path) with the arguments, detached: in its own session, stdin,
// stdout and stderr on /dev/null, in workDir when it is not empty, with the environment
// variables of env ("NAME=value") set over this process's, reaped at once so no zombie is
// left. Waits only until the program has been executed (or failed to be).
// Returns 0, or the system error code of the failure (ERROR_PATH_NOT_FOUND when the
// working folder is missing).
uint32_t StartDetached(const std::vector<std::string>& argv, const std::string& workDir,
                       const std::vector<std::string>& env = {});
