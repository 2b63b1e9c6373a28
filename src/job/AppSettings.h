// Where the application finds its update server, its program folder and the keys it trusts.
//
// The real program uses the server compiled in (TAVRO_UPDATE_SERVER), DataFolder() (the
// folder of its own file, or the user's data folder for an installed copy), and the minisign
// keys compiled in (TAVRO_TRUSTED_KEYS) together with those of "TavroMP3LiveUpdate.pub" in the
// folder of its own file; tests point the windows at a loopback server and a temporary
// folder, with keys of their own.
#pragma once

#include <cstdint>

#include "runtime/Minisign.h"
#include "runtime/SysUtils.h"

struct TAppSettings {
  // The update server: a host name, optionally with ":port", spoken to over plain
  // HTTP; or "https://host[:port]", which makes every URL of the program https.
  AnsiString Host;
  // The folder of the catalogue, the selection file and the firmware store, ending in a
  // path separator.
  AnsiString ProgramFolder;
  // Connect and read limit, in ms, of the splash window's client (the catalogue at
  // start-up and every release-notes page): a server that accepts and stays silent must
  // neither hold the splash window, which cannot be closed, nor the main window's close.
  int32_t FetchTimeoutMs = 30000;
  // Empty: catalogue and packages are taken unsigned, as they come. Otherwise the catalogue
  // and every package must carry a signature by one of these keys.
  TTrustedKeys TrustedKeys{};

  static TAppSettings Default();
};

extern const char* const kTrustedKeysFileName;  // "TavroMP3LiveUpdate.pub"
