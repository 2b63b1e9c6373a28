// The archiver's fixed texts: the error-message table, the map from error codes to
// texts, and the texts of the default dialogs.
#pragma once

#include "runtime/SysUtils.h"

// Number of rows of the code table (codes 0 to 60).
constexpr int kZipCodeCount = 61;

// The codes this reader raises (EZipException's NativeError). ZipErrorIndexOfCode maps
// each to its text.
enum TZipErrorCode : int {
  zecIndexReplace = 1,         // "Index out of bounds": replacing a directory entry
  zecIndexCopy = 2,            // copying one out
  zecIndexAccess = 3,          // accessing one
  zecIndexDelete = 4,          // deleting one
  zecCompressionMode = 5,      // CompressionMode above 9
  zecBadEntry = 8,             // size, CRC-32, method or data of an entry
  zecBlankFileName = 10,       // FileName has no name part
  zecArchiveNotFound = 12,     // "File "%s" not found"
  zecNotOpen = 13,             // "Archive is not open"
  zecEntryIndex = 16,          // entry index outside the directory
  zecCannotCreateFile = 19,    // "Cannot create file "%s"" (also a name refused as unsafe)
  zecCannotCreateFolder = 20,  // "Cannot create directory "%s""
  zecUpdatePending = 26,
  zecInMemoryOnly = 28,        // "In-memory archive can be created only"
  zecInvalidArchive = 35,      // no end record and no local header
  zecNoZip64EndRecord = 40,
  zecSpannedWithoutEnd = 44,
  zecVolumeMissing = 45,       // a multi-volume archive (a needed volume is not at hand)
  zecDamaged = 48,             // no end record, recovery off
  zecDeflate64 = 55,
};

// Index of the message text for an error code; 0 ("Unknown error") for a code not in the table.
int ZipErrorIndexOfCode(int code);
// The message text at an index of the text table; empty for an unfilled slot or an index outside it.
const char* ZipErrorText(int index);

// Default dialogs (placeholders filled with Format).
extern const char* const SZipConfirmOverwrite;   // "Overwrite file "%s" with "%s""
extern const char* const SZipPasswordCaption;    // "Password for "%s""
extern const char* const SZipPasswordPrompt;     // "Enter password: "
extern const char* const SZipProcessFileFailure; // "%s. File processing error, possibly disk is full"
extern const char* const SZipRequestBlankDisk;
extern const char* const SZipRequestFirstDisk;
extern const char* const SZipRequestLastDisk;
extern const char* const SZipRequestMiddleDisk;
extern const char* const SZipDiskFull;
extern const char* const SZipFileNotFoundOnDisk;
extern const char* const SZipSpanningModeOnOpen; // "Cannot set spanning mode on open archive"
