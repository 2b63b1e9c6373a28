#include "job/Store.h"

#include "job/Catalogue.h"
#include "runtime/FileUtils.h"
#include "runtime/ReplacementFile.h"

const char* const kInstanceMutexName = "RunOnlyOnce_Tavro";

void PrepareStore(const AnsiString& programFolder) {
  const AnsiString storeFolder = Catalogue::StoreFolder(programFolder);
  if (!DirectoryExists(storeFolder)) ForceDirectories(storeFolder);
  RemoveLeftoverReplacements(storeFolder);
}
