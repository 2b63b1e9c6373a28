// WinExec: starts a program from a command line.
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"
#include "runtime/SysUtils.h"

// The command line is ANSI text; its first token (quoted or up to the first blank) names
// the program, the rest are its arguments (split by the platform's quoting rules). A
// token without a folder is searched in the program folder first, then in the folders
// of PATH; a token with a folder ("\" or "/") is taken as it stands. A name without an
// extension is also tried with ".exe", and the name is found without case; a Windows
// program ("MZ") is started through wine in the Wine prefix (see StartProgram in Launch.h).
// The log tells the command line started, or why nothing was.
// The program runs detached, in this process's current folder, with its output
// discarded; the show mode is accepted and ignored. Returns a value greater than 31 on
// success, else the error code (ERROR_FILE_NOT_FOUND, ERROR_ACCESS_DENIED, ERROR_BAD_FORMAT...).
uint32_t WinExec(const AnsiString& cmdLine, int showMode);
