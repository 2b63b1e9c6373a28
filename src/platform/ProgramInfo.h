// The running program's own file: its path, its folder and its version information.
#pragma once

#include <cstdint>

#include "runtime/SysUtils.h"

// Full path of the program file (the target of /proc/self/exe), as ANSI text.
AnsiString ProgramFileName();
// The folder of the program file, as ANSI text ending in PathDelim ("/").
AnsiString ProgramFolder();
// The folder that holds the catalogue, the selection file and the firmware store, as ANSI
// text ending in PathDelim. It is the program folder, except when the program is an
// installed copy (kInstalledMarker lies in the installation's share folder, as
// `cmake --install` and the package put it) or the user cannot write to the program
// folder: then it is $XDG_DATA_HOME/tavro/ (default ~/.local/share/tavro/), created when
// missing. Decided at the first call and kept for the life of the process.
AnsiString DataFolder();
// The rule of DataFolder for a given program folder, decided anew at each call.
AnsiString ChooseDataFolder(const AnsiString& programFolder);
// Relative to the program folder: the AppStream file an installation puts beside bin/.
extern const char* const kInstalledMarker;
// Tests point the program folder elsewhere (an empty text returns to the real one).
// ProgramFileName() is not affected.
void SetProgramFolderForTesting(const AnsiString& folder);

// The platform's default application title: the program file's name without its folder
// and without everything from its first "." on, every character after the first in lower
// case ("/opt/TAVRO.EXE" gives "Tavro", "tavro" stays "tavro").
AnsiString DefaultApplicationTitle();
AnsiString ApplicationTitleFromFileName(const AnsiString& fileName);

// The four parts of a file version, most significant first (1.2005.10.19).
struct TFileVersion {
  uint16_t Major = 0;
  uint16_t Minor = 0;
  uint16_t Release = 0;
  uint16_t Build = 0;

  // The fixed file information's two 32-bit words: Major/Minor and Release/Build.
  uint32_t FileVersionMS() const { return (uint32_t{Major} << 16) | Minor; }
  uint32_t FileVersionLS() const { return (uint32_t{Release} << 16) | Build; }
};

// The version information of the running program file; false when it carries none.
// The program's version is fixed when it is built.
bool GetProgramFileVersion(TFileVersion& version);
// Tests make the program file carry another version, or none (present = false).
void SetProgramFileVersionForTesting(bool present, const TFileVersion& version = {});
void ResetProgramFileVersionForTesting();
