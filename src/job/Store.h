// The firmware store and the catalogue have one writer at a time: the main window, or one
// command that writes them. Each holds the program's single-instance mutex while it runs; a
// second writer finds it taken and does not start.
#pragma once

#include "job/AppSettings.h"
#include "runtime/SysUtils.h"

extern const char* const kInstanceMutexName;  // "RunOnlyOnce_Tavro"

// Makes the store folder when there is none and removes the temporary files that downloads
// interrupted by a crash or a power cut left in it. For the store's writer only.
void PrepareStore(const AnsiString& programFolder);

// The model's version has its package in the store, and it verifies against the trusted
// keys (never with none trusted): it need not be fetched again.
bool StoredPackageVerifies(const TAppSettings& settings, const AnsiString& model, const AnsiString& version);
