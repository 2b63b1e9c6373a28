// The player vendor's software ("SigmaTel MSCN Audio Player"), which the flashing tool
// belongs to: whether its registry key is there, and the folder it was installed in.
#pragma once

#include "runtime/SysUtils.h"

struct TPlayerSoftware {
  bool Installed = false;
  AnsiString Folder;  // empty when not installed, or when its folder is unknown
};

// Reads the registry (HKEY_LOCAL_MACHINE); an installed software's folder is logged.
TPlayerSoftware FindPlayerSoftware();
