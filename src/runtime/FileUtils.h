// Files and folders with ANSI names (see CodePage.h for how names reach the system).
#pragma once

#include <cstdint>
#include <ctime>
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

// DOS file attributes (only faReadOnly changes anything on Linux: it clears the write bits).
enum : int32_t {
  faReadOnly = 0x01, faHidden = 0x02, faSysFile = 0x04, faVolumeID = 0x08,
  faDirectory = 0x10, faArchive = 0x20, faAnyFile = 0x3F
};
// faDirectory and faReadOnly as seen on the file; -1 when it does not exist.
int32_t FileGetAttr(const AnsiString& fileName);
// Applies faReadOnly (clears or restores the owner's write bit); other bits are ignored.
bool FileSetAttr(const AnsiString& fileName, int32_t attr);

// DOS date-time: date in the high 16 bits (years since 1980, month, day), time in the low
// 16 bits (hours, minutes, seconds / 2), in local time.
int32_t DateTimeToFileDate(time_t t);
// -1 when the value is not a valid date-time.
time_t FileDateToDateTime(int32_t dosDateTime);
// The file's last-write time as a DOS date-time; -1 when it does not exist.
int32_t FileAge(const AnsiString& fileName);
// Sets the file's last-write time from a DOS date-time; false when it cannot.
bool FileSetDate(const AnsiString& fileName, int32_t dosDateTime);
