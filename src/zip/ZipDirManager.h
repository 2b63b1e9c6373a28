// The in-memory directory of an open archive: the end record, the Zip64 records and
// one TDirItem per entry, loaded from the archive file.
#pragma once

#include <cstdint>
#include <vector>

#include "runtime/Component.h"
#include "runtime/FileStream.h"
#include "runtime/FileUtils.h"
#include "zip/ZipRecords.h"
#include "zip/ZipTypes.h"

// One directory entry.
struct TDirItem {
  TZipCentralHeader Header;             // the fixed part of the central header as read
  AnsiString FileName;                  // text, "/" separators (see ZipStoredNameToText)
  AnsiString Comment;
  std::vector<TZipExtraField> ExtraFields;
  bool Zip64 = false;                   // a Zip64 sub-field was parsed
  TZip64Values Zip64Values;
  uint64_t LocalHeaderOffset = 0;       // where the local header is, after the offset shift
  // Recovered from a local header whose sizes live in a data descriptor that was not
  // found: the entry's sizes are unknown and extracting it fails.
  bool DescriptorMissing = false;
  bool Selected = false;
  TZipProcessOperation Operation = poExtract;

  uint64_t CompressedSize() const {
    return Zip64Values.HasCompressed ? Zip64Values.CompressedSize : Header.CompressedSize;
  }
  uint64_t UncompressedSize() const {
    return Zip64Values.HasUncompressed ? Zip64Values.UncompressedSize : Header.UncompressedSize;
  }
  bool IsDirectory() const { return (Header.ExternalAttributes & faDirectory) != 0; }
  // DOS date in the high 16 bits, time in the low 16.
  int32_t DosDateTime() const {
    return static_cast<int32_t>(static_cast<uint32_t>(Header.ModDate) << 16 | Header.ModTime);
  }
};

// A growable array of entries. Index errors raise EZipException: 1 replacing, 2 copying
// out, 3 accessing, 4 deleting.
class TZipDirArray {
 public:
  int Count() const { return static_cast<int>(items_.size()); }
  // Growing reserves in steps that double from 1000 up to 10000 entries; 0 releases all.
  void SetCount(int count);
  TDirItem& Items(int index);
  const TDirItem& Items(int index) const;
  TDirItem Copy(int index) const;
  void Replace(int index, const TDirItem& item);
  void Delete(int index);
  void Append(TDirItem item);

 private:
  void Grow(size_t wanted);
  std::vector<TDirItem> items_;
  size_t step_ = 500;
};

class TZipDirManager {
 public:
  explicit TZipDirManager(TFileStream* stream) : stream_(stream) {}

  // Reads the directory (see the .cpp for the steps). archiver names the component in
  // the messages of the codes raised with it.
  void Load(bool oemFileNames, const TComponent* archiver);

  // Looks for the end record nearest the end of the file whose comment reaches exactly
  // to the end; fills EndRecord, EndPosition and ArchiveComment when found.
  bool FindEndRecord();

  TZipDirArray Items;
  TZipDirArray UpdateItems;  // used only while an update is written
  TZipEndRecord EndRecord;
  int64_t EndPosition = -1;
  bool IsZip64 = false;
  TZip64Locator Locator;
  TZip64EndRecord Zip64End;
  AnsiString ArchiveComment;
  int64_t BaseOffset = 0;
  int FirstVolume = 0;
  int LastVolume = 0;

 private:
  void LoadEntries(int64_t start, uint64_t count, bool oemFileNames);
  void DetectBaseOffset();
  void ShiftOffsets();
  void RecoveryScan(bool oemFileNames);
  // One entry from the local header at hit; false when the header is not taken.
  bool RecoverEntry(int64_t hit, TDirItem& item);
  // Gives each recovered entry with flag bit 3 the sizes and CRC of its data descriptor.
  void AttachDescriptors(const std::vector<std::pair<int64_t, int>>& pending);

  TFileStream* stream_;
};
