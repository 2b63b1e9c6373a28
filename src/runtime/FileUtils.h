// Files and folders with ANSI names (see CodePage.h for how names reach the system).
#pragma once

#include <cstdint>
#include <string>

#include "runtime/SysUtils.h"

// Replaces the whole content of a file atomically: the bytes go to a temporary file in
// the same folder, which is then renamed over the target. On any failure the old file
// stays as it was and EFCreateError "Cannot create file "%s". %s" is raised (the full
// path, then the system's reason).
void ReplaceFileContent(const AnsiString& fileName, const void* data, int64_t size);
// Reads a whole file; EFOpenError "Cannot open file "%s". %s" when it cannot.
std::string ReadFileContent(const AnsiString& fileName);

bool FileExists(const AnsiString& fileName);
bool DirectoryExists(const AnsiString& dirName);
// Creates the folder and any missing parents; true when the folder exists afterwards.
bool ForceDirectories(const AnsiString& dirName);
bool DeleteFile(const AnsiString& fileName);
