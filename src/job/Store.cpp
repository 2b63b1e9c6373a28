#include "job/Store.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "job/Catalogue.h"
#include "job/Signatures.h"
#include "runtime/CodePage.h"
#include "runtime/FileUtils.h"
#include "runtime/ReplacementFile.h"

const char* const kInstanceMutexName = "RunOnlyOnce_Tavro";

AnsiString StoreMutexName(const AnsiString& programFolder) {
  std::string path = AnsiPathToSys(Catalogue::StoreFolder(programFolder));
  if (char* real = ::realpath(AnsiPathToSys(programFolder).c_str(), nullptr)) {
    path = std::string(real) + "/FirmwareBack";
    std::free(real);
  }
  // FNV-1a: short and stable; a lock file name must stay far below the name limit.
  uint64_t hash = 1469598103934665603ull;
  for (const unsigned char c : path) hash = (hash ^ c) * 1099511628211ull;
  char name[40];
  std::snprintf(name, sizeof name, "TavroStore_%016llx", static_cast<unsigned long long>(hash));
  return name;
}

void PrepareStore(const AnsiString& programFolder) {
  const AnsiString storeFolder = Catalogue::StoreFolder(programFolder);
  if (!DirectoryExists(storeFolder)) ForceDirectories(storeFolder);
  RemoveLeftoverReplacements(storeFolder);
}

std::vector<TStoredPackage> StoredPackages(const AnsiString& programFolder) {
  std::vector<TStoredPackage> packages;
  const std::string folder = AnsiPathToSys(Catalogue::StoreFolder(programFolder));
  DIR* dir = ::opendir(folder.c_str());
  if (!dir) return packages;
  while (const dirent* entry = ::readdir(dir)) {
    const std::string file = entry->d_name;
    struct stat st {};
    if (file.size() <= 4 || file.compare(file.size() - 4, 4, ".zip") != 0) continue;
    if (::fstatat(::dirfd(dir), entry->d_name, &st, 0) != 0 || !S_ISREG(st.st_mode)) continue;
    const AnsiString name = Utf8ToAnsi(file.substr(0, file.size() - 4));
    if (Catalogue::IsStoreName(name)) packages.push_back({name, static_cast<int64_t>(st.st_size)});
  }
  ::closedir(dir);
  std::sort(packages.begin(), packages.end(),
            [](const TStoredPackage& a, const TStoredPackage& b) { return a.Name < b.Name; });
  return packages;
}

bool RemoveStoredPackage(const AnsiString& programFolder, const AnsiString& name) {
  if (!Catalogue::IsStoreName(name)) return false;
  bool removed = true;
  for (const char* ext : {".zip", ".zip.minisig", ".htm", ".zip.partial", ".zip.partial.id"}) {
    const AnsiString path = Catalogue::StorePath(programFolder, name, ext);
    if (FileExists(path) && !DeleteFile(path)) removed = false;
  }
  return removed;
}

bool StoredPackageVerifies(const TAppSettings& settings, const AnsiString& model, const AnsiString& version) {
  const AnsiString name = Catalogue::PackageName(model, version);
  if (!Catalogue::IsStoreName(name)) return false;
  const AnsiString zip = Catalogue::StorePath(settings.ProgramFolder, name, ".zip");
  return FileExists(zip) && StoredFileVerifies(settings.TrustedKeys, zip);
}
