#include "zip/ZipConst.h"

namespace {

// The text table has room for 41 texts; the first 33 are filled.
constexpr int kTextSlots = 41;
const char* const kTexts[kTextSlots] = {
    "Unknown error",
    "Index out of bounds",
    "Invalid compression mode. Mode must be in [0-9] range",
    "Unexpected nil pointer",
    "Invalid size or check sum of file or unsupported compression format",
    "File name is blank. Specify appropriate file name",
    "File \"%s\" not found",
    "Archive is not open",
    "SFXStub property is not specified",
    "Cannot create file \"%s\"",
    "Cannot create directory \"%s\"",
    "Internal error. Update is not started",
    "Cannot open file \"%s\"",
    "Cannot proceed when update is not ended. Preceding EndUpdate call is required.",
    "Cannot delete file \"%s\"",
    "In-memory archive can be created only",
    "File is open in read-only mode",
    "Invalid compressed size, rfs.size = %d, count = %d",
    "Invalid archive file.",
    "Cannot create output file. Probably file is locked by another process. FileName = '%s'.",
    "Archive is open. You should close it beore performing this operation.",
    "Unable to create directory",
    "Cannot find Zip64 directory end record",
    "Cannot compress file '%s'. Zip64 mode is not enabled",
    "Cannot open archive file. Opening aborted or invalid file",
    "Write to stream error",
    "Cannot place SFX stub on volume. Volume size limit is too small",
    "Archive is damaged. Open failed",
    "MakeSFX is not allowed for splitted or spanned archives. Set SFXStub before archive creation instead of MakeSFX",
    "Archive already has SFX stub",
    "Multi-volume archive is not allowed for custom stream",
    "Multi-spanned archive is not allowed for modification. Use BeginUpdate/EndUpdate methods to add files several times",
    "Deflate64 compression method is not supported",
};

// Text index for each code 0..60. Codes 56 to 60 point at unfilled slots (empty text).
const int kCodeToIndex[kZipCodeCount] = {
    0,  1,  1,  1,  1,  2,  3,  1,  4,  5,   //  0- 9
    5,  6,  6,  7,  7,  6,  1,  8,  6,  9,   // 10-19
    10, 1,  11, 9,  1,  11, 13, 14, 15, 5,   // 20-29
    6,  6,  16, 12, 17, 18, 19, 20, 6,  21,  // 30-39
    22, 23, 6,  23, 24, 24, 25, 26, 27, 28,  // 40-49
    29, 30, 31, 6,  6,  32, 33, 34, 35, 36,  // 50-59
    37,                                      // 60
};

}  // namespace

int ZipErrorIndexOfCode(int code) {
  for (int row = 0; row < kZipCodeCount; ++row)
    if (row == code) return kCodeToIndex[row];
  return 0;
}

const char* ZipErrorText(int index) {
  if (index < 0 || index >= kTextSlots || !kTexts[index]) return "";
  return kTexts[index];
}

const char* const SZipConfirmOverwrite = "Overwrite file \"%s\" with \"%s\"";
const char* const SZipPasswordCaption = "Password for \"%s\"";
const char* const SZipPasswordPrompt = "Enter password: ";
const char* const SZipProcessFileFailure = "%s. File processing error, possibly disk is full";
const char* const SZipRequestBlankDisk = "Please insert a blank disk #%d";
const char* const SZipRequestFirstDisk = "Please insert the first disk";
const char* const SZipRequestLastDisk = "Please insert the last disk";
const char* const SZipRequestMiddleDisk = "Please insert disk #%d";
const char* const SZipDiskFull =
    "Disk is full. Required free space: %d bytes, but available only: %d bytes. Clean the disk or find another "
    "blank disk";
const char* const SZipFileNotFoundOnDisk =
    "File '%s' not found on inserted disk. Please insert last disk with required file";
const char* const SZipSpanningModeOnOpen = "Cannot set spanning mode on open archive";
