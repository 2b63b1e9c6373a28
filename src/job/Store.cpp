#include "job/Store.h"

#include "job/Catalogue.h"
#include "job/Signatures.h"
#include "runtime/FileUtils.h"
#include "runtime/ReplacementFile.h"

const char* const kInstanceMutexName = "RunOnlyOnce_Tavro";

void PrepareStore(const AnsiString& programFolder) {
  const AnsiString storeFolder = Catalogue::StoreFolder(programFolder);
  if (!DirectoryExists(storeFolder)) ForceDirectories(storeFolder);
  RemoveLeftoverReplacements(storeFolder);
}

bool StoredPackageVerifies(const TAppSettings& settings, const AnsiString& model, const AnsiString& version) {
  const AnsiString name = Catalogue::PackageName(model, version);
  if (!Catalogue::IsStoreName(name)) return false;
  const AnsiString zip = Catalogue::StorePath(settings.ProgramFolder, name, ".zip");
  return FileExists(zip) && StoredFileVerifies(settings.TrustedKeys, zip);
}
