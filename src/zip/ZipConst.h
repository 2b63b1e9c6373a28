// The archiver's fixed texts: the error-message table, the map from error codes to
// texts, and the texts of the default dialogs.
#pragma once

#include "runtime/SysUtils.h"

// Number of rows of the code table (codes 0 to 60).
constexpr int kZipCodeCount = 61;

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
