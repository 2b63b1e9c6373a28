// The Wine prefix: where a Linux user has Windows programs installed, with their registry
// and their drives.
//
// The prefix is $WINEPREFIX, else ~/.wine, as Wine itself chooses it. Its system.reg holds
// HKEY_LOCAL_MACHINE and its user.reg HKEY_CURRENT_USER (see RegFile.h for their format);
// its drives are the links dosdevices/c:, dosdevices/z: (the Linux root), ...
#pragma once

#include <string>

#include "runtime/SysUtils.h"

// System path of the prefix, without a trailing "/".
std::string WinePrefix();

struct TFolderResolution {
  bool Usable = false;
  AnsiString Folder;  // ANSI, the folder as this system names it, when usable
  AnsiString Why;     // ANSI, when not usable: why, in a few words for the log
};

// A folder named in the registry, as this system names it:
// - a drive path ("C:\Program Files\x", "c:/x") resolves through the prefix's
//   dosdevices/<drive>: link; each component that does not exist as written is matched
//   without regard to the case of its ASCII letters, as Wine does; components that do not
//   exist at all are kept as written; "." and ".." are taken as Windows takes them;
// - a Linux absolute path ("/opt/x") stays as it is;
// - a network path ("\\server\share"), an unexpanded variable ("%ProgramFiles%\x"), a drive
//   the prefix lacks, a path relative to a drive ("C:x") are not usable;
// - any other text (a relative path) is usable as it stands only when relativeAllowed
//   (the program's own registry file names such folders relative to the current folder).
TFolderResolution ResolveRegistryFolder(const AnsiString& text, const std::string& prefix, bool relativeAllowed);
