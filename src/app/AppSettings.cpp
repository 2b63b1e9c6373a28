#include "job/AppSettings.h"

#include "platform/ProgramInfo.h"

#ifndef TAVRO_UPDATE_SERVER
#define TAVRO_UPDATE_SERVER "localhost"
#endif
#ifndef TAVRO_TRUSTED_KEYS
#define TAVRO_TRUSTED_KEYS ""
#endif

const char* const kTrustedKeysFileName = "TavroMP3LiveUpdate.pub";

TAppSettings TAppSettings::Default() {
  TAppSettings settings{TAVRO_UPDATE_SERVER, DataFolder()};
  settings.TrustedKeys.AddText(TAVRO_TRUSTED_KEYS, "TAVRO_TRUSTED_KEYS");
  // Beside the program file, also for an installed copy whose data lives elsewhere.
  settings.TrustedKeys.AddFile(::ProgramFolder() + kTrustedKeysFileName);
  return settings;
}
