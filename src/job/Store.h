// The firmware store and the catalogue have one writer at a time: the main window, or one
// command that writes them. Each holds the store's mutex (StoreMutexName) while it runs; a
// second writer of the same store finds it taken and does not start. The window holds the
// program's single-instance mutex too, as its design says; stores of other program folders
// have mutexes of their own, so a command on one of them runs beside it.
#pragma once

#include <cstdint>
#include <vector>

#include "job/AppSettings.h"
#include "runtime/SysUtils.h"

extern const char* const kInstanceMutexName;  // "RunOnlyOnce_Tavro"

// The mutex of the store of programFolder: "TavroStore_" and a hash of the folder's real
// path, so that two names of one folder (a link, "..") give one mutex.
AnsiString StoreMutexName(const AnsiString& programFolder);

// Makes the store folder when there is none and removes the temporary files that downloads
// interrupted by a crash or a power cut left in it. For the store's writer only.
void PrepareStore(const AnsiString& programFolder);

// A package in the store: its name (model "_" version) and the size of its ".zip".
struct TStoredPackage {
  AnsiString Name;
  int64_t Size = 0;
};
// The packages of the store (every "N.zip" whose N is a store name), sorted by name.
std::vector<TStoredPackage> StoredPackages(const AnsiString& programFolder);
// Removes a package's files: "N.zip", its signature "N.zip.minisig", the release notes
// "N.htm" and the bytes an ended download kept ("N.zip.partial", "N.zip.partial.id"). For
// the store's writer only. False, with the others removed, when one that is
// there cannot be removed.
bool RemoveStoredPackage(const AnsiString& programFolder, const AnsiString& name);
// The model's version has its package in the store, and it verifies against the trusted
// keys (never with none trusted): it need not be fetched again.
bool StoredPackageVerifies(const TAppSettings& settings, const AnsiString& model, const AnsiString& version);
