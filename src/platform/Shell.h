// ShellExecuteA with the verb "open".
#pragma once

#include <cstdint>

#include "platform/WinTypes.h"

// Opens file (ANSI; "\" reads as a folder separator) with the parameters (ANSI, split by
// the platform's quoting rules) in the working folder dir (ANSI; null or empty: this
// process's current folder). The verb must be null or "open" (any case). An executable
// file is started; a Windows program ("MZ") is started through wine when wine is on
// PATH, in the Wine prefix (see StartProgram in Launch.h). A file named without a folder
// is looked for in dir, then in the program folder, then in the folders of PATH; its name
// is found without case. The log tells the command line started, or why nothing was. The program runs detached with its output discarded; the
// owner window and show mode are accepted and ignored.
// Returns a value greater than 32 on success; else ERROR_FILE_NOT_FOUND (2),
// ERROR_PATH_NOT_FOUND (3, the working folder is missing), SE_ERR_ACCESSDENIED (5),
// ERROR_BAD_FORMAT (11) or SE_ERR_NOASSOC (31: no way to open this file or verb).
intptr_t ShellExecuteA(HWND hwnd, const char* operation, const char* file, const char* parameters,
                       const char* directory, int showCmd);
