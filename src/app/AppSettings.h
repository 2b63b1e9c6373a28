// Where the application finds its update server and its program folder.
//
// The real program uses the server compiled in (TAVRO_UPDATE_SERVER) and the folder of
// its own file; tests point the windows at a loopback server and a temporary folder.
#pragma once

#include "runtime/SysUtils.h"

struct TAppSettings {
  // Host name of the update server, optionally with ":port".
  AnsiString Host;
  // The program folder, ending in a path separator.
  AnsiString ProgramFolder;

  static TAppSettings Default();
};
