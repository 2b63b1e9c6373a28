#include "job/PlayerSoftware.h"

#include "platform/Log.h"
#include "platform/Registry.h"

namespace {
const char* const kPlayerKey = "\\software\\SigmaTel\\SigmaTel MSCN Audio Player\\Params\\";
const char* const kInstallFolderValue = "Install Folder";
}  // namespace

TPlayerSoftware FindPlayerSoftware() {
  TPlayerSoftware player;
  TRegistry registry;
  registry.SetRootKey(HKEY_LOCAL_MACHINE);
  if (!registry.KeyExists(kPlayerKey)) return player;
  player.Installed = true;
  if (registry.OpenKey(kPlayerKey, false)) {
    player.Folder = registry.ReadFolder(kInstallFolderValue);
    registry.CloseKey();
  }
  LogStep(player.Folder.empty() ? AnsiString("prerequisite: player software installed, its folder unknown")
                                : "prerequisite: player software installed in \"" + LogPath(player.Folder) + "\"");
  return player;
}
