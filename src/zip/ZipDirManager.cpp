#include "zip/ZipDirManager.h"

#include <algorithm>
#include <unordered_map>

#include "runtime/Exception.h"
#include "runtime/FileUtils.h"
#include "zip/ZipConst.h"
#include "zip/ZipExcept.h"
#include "zip/ZipNames.h"
#include "zip/ZipScan.h"

// --- TZipDirArray ---------------------------------------------------------

void TZipDirArray::Grow(size_t wanted) {
  if (wanted <= items_.capacity()) return;
  step_ = std::min<size_t>(step_ * 2, 10000);
  items_.reserve(std::max(wanted, items_.capacity() + step_));
}

void TZipDirArray::SetCount(int count) {
  if (count <= 0) {
    std::vector<TDirItem>().swap(items_);
    step_ = 500;
    return;
  }
  Grow(static_cast<size_t>(count));
  items_.resize(static_cast<size_t>(count));
}

TDirItem& TZipDirArray::Items(int index) {
  if (index < 0 || index >= Count()) throw EZipException(zecIndexAccess);
  return items_[static_cast<size_t>(index)];
}

const TDirItem& TZipDirArray::Items(int index) const {
  if (index < 0 || index >= Count()) throw EZipException(zecIndexAccess);
  return items_[static_cast<size_t>(index)];
}

TDirItem TZipDirArray::Copy(int index) const {
  if (index < 0 || index >= Count()) throw EZipException(zecIndexCopy);
  return items_[static_cast<size_t>(index)];
}

void TZipDirArray::Replace(int index, const TDirItem& item) {
  if (index < 0 || index >= Count()) throw EZipException(zecIndexReplace);
  items_[static_cast<size_t>(index)] = item;
}

void TZipDirArray::Delete(int index) {
  if (index < 0 || index >= Count()) throw EZipException(zecIndexDelete);
  items_.erase(items_.begin() + index);
}

void TZipDirArray::Append(TDirItem item) {
  Grow(items_.size() + 1);
  items_.push_back(std::move(item));
}

// --- end record -------------------------------------------------------------

namespace {

constexpr int64_t kEndSearchSpan = 65600;
constexpr size_t kBaseScanWindow = 10000;
constexpr size_t kRecoveryWindow = 65535;
constexpr size_t kDirectoryWindow = 65536;
constexpr uint16_t kMaxRecoveryExtra = 260;

// The entry's name as text: the Unicode Path field's UTF-8 name when it belongs to the
// header's name, else the header's name (UTF-8 with flag bit 11, else code page 936).
AnsiString EntryName(const std::string& raw, uint16_t flags, const std::vector<TZipExtraField>& extra) {
  std::string unicode;
  if (ZipUnicodePath(extra, raw, unicode)) return ZipStoredNameToText(unicode, true);
  return ZipStoredNameToText(raw, (flags & kZipFlagUtf8) != 0);
}

void TakeDescriptor(TDirItem& item, const TZipDescriptor& d) {
  TZipCentralHeader& c = item.Header;
  c.Crc32 = d.Crc32;
  const bool wide = d.CompressedSize >= 0xFFFFFFFF || d.UncompressedSize >= 0xFFFFFFFF;
  c.CompressedSize = wide ? 0xFFFFFFFF : static_cast<uint32_t>(d.CompressedSize);
  c.UncompressedSize = wide ? 0xFFFFFFFF : static_cast<uint32_t>(d.UncompressedSize);
  item.Zip64Values.HasCompressed = item.Zip64Values.HasUncompressed = wide;
  item.Zip64Values.CompressedSize = d.CompressedSize;
  item.Zip64Values.UncompressedSize = d.UncompressedSize;
  item.DescriptorMissing = false;
}

}  // namespace

bool TZipDirManager::FindEndRecord() {
  EndRecord = TZipEndRecord();
  EndPosition = -1;
  ArchiveComment.clear();
  const int64_t size = stream_->Size();
  const int64_t span = std::min(size, kEndSearchSpan);
  if (span < static_cast<int64_t>(kZipEndSize)) return false;
  std::vector<uint8_t> tail(static_cast<size_t>(span));
  const int64_t tailStart = size - span;
  stream_->ReadExactAt(tailStart, tail.data(), span);
  for (int64_t i = span - static_cast<int64_t>(kZipEndSize); i >= 0; --i) {
    const uint8_t* p = tail.data() + i;
    if (p[3] != 6 || p[0] != 'P' || p[1] != 'K' || p[2] != 5) continue;
    TZipEndRecord record;
    ParseEndRecord(p, kZipEndSize, record);
    if (record.CommentLength != span - i - static_cast<int64_t>(kZipEndSize)) continue;
    EndRecord = record;
    EndPosition = tailStart + i;
    ArchiveComment.assign(reinterpret_cast<const char*>(p + kZipEndSize), record.CommentLength);
    return true;
  }
  return false;
}

// --- loading ------------------------------------------------------------------

void TZipDirManager::Load(bool oemFileNames, const TComponent* archiver) {
  Items.SetCount(0);
  BaseOffset = 0;
  IsZip64 = false;
  Locator = TZip64Locator();
  Zip64End = TZip64EndRecord();
  FirstVolume = LastVolume = 0;
  if (!FindEndRecord()) {
    RecoveryScan(oemFileNames);
    return;
  }

  int64_t position = EndPosition;
  if (EndPosition > static_cast<int64_t>(kZip64LocatorSize)) {
    uint8_t buffer[kZip64LocatorSize];
    stream_->ReadExactAt(EndPosition - kZip64LocatorSize, buffer, kZip64LocatorSize);
    if (ParseZip64Locator(buffer, sizeof buffer, Locator)) {
      IsZip64 = true;
      position -= kZip64LocatorSize;
    }
  }
  if (IsZip64) {
    // The locator's offset is checked before it is used: one outside the file or not
    // leading to a Zip64 end record is the "no Zip64 end record" error.
    uint8_t buffer[kZip64EndSize];
    const int64_t size = stream_->Size();
    const bool inFile = Locator.EndRecordOffset <= static_cast<uint64_t>(size) &&
                        kZip64EndSize <= static_cast<uint64_t>(size) - Locator.EndRecordOffset;
    if (position <= static_cast<int64_t>(kZip64EndSize) || !inFile) throw EZipException(zecNoZip64EndRecord);
    stream_->ReadExactAt(static_cast<int64_t>(Locator.EndRecordOffset), buffer, kZip64EndSize);
    if (!ParseZip64EndRecord(buffer, sizeof buffer, Zip64End)) throw EZipException(zecNoZip64EndRecord);
    position -= kZip64EndSize;
    FirstVolume = static_cast<int>(std::min<uint32_t>(Zip64End.DirectoryDisk, 0x7FFFFFFF));
    LastVolume = static_cast<int>(std::min<uint32_t>(Locator.TotalDisks, 0x7FFFFFFF)) - 1;
  } else {
    FirstVolume = EndRecord.DirectoryDisk == 0xFFFF ? 0 : EndRecord.DirectoryDisk;
    LastVolume = EndRecord.ThisDisk == 0xFFFF ? 0 : EndRecord.ThisDisk;
  }
  // Multi-volume archives are not read: no volume of a set but the last is at hand.
  if (LastVolume > 0 || FirstVolume > 0 || (EndRecord.ThisDisk != 0 && EndRecord.ThisDisk != 0xFFFF))
    throw EZipException(zecVolumeMissing, archiver);
  if (LastVolume < 0) LastVolume = 0;

  // The directory ends where the (Zip64) end records begin; counting back from there
  // rather than trusting the stored offset reads archives behind foreign bytes.
  const uint64_t directorySize = IsZip64 ? Zip64End.DirectorySize : EndRecord.DirectorySize;
  if (directorySize > static_cast<uint64_t>(position)) throw EReadError("Stream read error");
  const int64_t start = position - static_cast<int64_t>(directorySize);
  const uint64_t stated = IsZip64 ? Zip64End.TotalEntries : EndRecord.TotalEntries;
  LoadEntries(start, std::min<uint64_t>(stated, directorySize / kZipCentralSize), oemFileNames);

  if (LastVolume == 0 && stated > 0 && Items.Count() > 0) DetectBaseOffset();
  ShiftOffsets();
}

void TZipDirManager::LoadEntries(int64_t start, uint64_t count, bool oemFileNames) {
  (void)oemFileNames;  // OEM and ANSI are one code page: OEM names need no conversion
  Items.SetCount(static_cast<int>(std::min<uint64_t>(count, INT32_MAX)));
  TZipWindowReader reader(*stream_, kDirectoryWindow);
  int64_t pos = start;
  for (int index = 0; index < Items.Count(); ++index) {
    TDirItem& item = Items.Items(index);
    ParseCentralHeader(reader.Fetch(pos, kZipCentralSize), kZipCentralSize, item.Header);
    pos += kZipCentralSize;
    const TZipCentralHeader& h = item.Header;
    const size_t variable = size_t{h.NameLength} + h.ExtraLength + h.CommentLength;
    const uint8_t* p = reader.Fetch(pos, variable);
    pos += static_cast<int64_t>(variable);
    item.ExtraFields = ParseExtraFields(p + h.NameLength, h.ExtraLength);
    item.FileName =
        EntryName(std::string(reinterpret_cast<const char*>(p), h.NameLength), h.Flags, item.ExtraFields);
    for (const TZipExtraField& field : item.ExtraFields)
      if (field.Id == 1 && !item.Zip64) {
        item.Zip64Values = ParseZip64Values(field.Data, h);
        item.Zip64 = true;
      }
    item.Comment.assign(reinterpret_cast<const char*>(p + h.NameLength + h.ExtraLength), h.CommentLength);
    item.LocalHeaderOffset = item.Zip64Values.HasOffset ? item.Zip64Values.LocalHeaderOffset : h.LocalHeaderOffset;
  }
}

// Finds where entry 0's local header really is: the first local-header signature at or
// after its stated offset whose header agrees with entry 0's central header.
void TZipDirManager::DetectBaseOffset() {
  const TDirItem& first = Items.Items(0);
  const TZipCentralHeader& c = first.Header;
  const int64_t size = stream_->Size();
  if (first.LocalHeaderOffset >= static_cast<uint64_t>(size)) return;
  TZipSignatureScanner scanner(*stream_, kZipLocalSignature, kBaseScanWindow);
  for (int64_t hit = scanner.Next(static_cast<int64_t>(first.LocalHeaderOffset)); hit >= 0;
       hit = scanner.Next(hit + 1)) {
    uint8_t buffer[kZipLocalSize];
    if (stream_->ReadAt(hit, buffer, kZipLocalSize) != static_cast<int64_t>(kZipLocalSize)) return;
    TZipLocalHeader l;
    ParseLocalHeader(buffer, sizeof buffer, l);
    const bool same = l.VersionNeeded == c.VersionNeeded && l.Method == c.Method && l.ModTime == c.ModTime &&
                      l.ModDate == c.ModDate && l.Crc32 == c.Crc32 && l.CompressedSize == c.CompressedSize &&
                      l.UncompressedSize == c.UncompressedSize;
    if (same && l.NameLength <= size - hit - static_cast<int64_t>(kZipLocalSize)) {
      BaseOffset = hit;
      return;
    }
  }
}

// Archives made and then prefixed with foreign bytes state offsets from the start of the
// ZIP data; when the first entry with data says so, every file entry moves by the base offset.
void TZipDirManager::ShiftOffsets() {
  if (BaseOffset == 0) return;
  int firstWithData = 0;
  while (firstWithData < Items.Count() && Items.Items(firstWithData).CompressedSize() == 0) ++firstWithData;
  if (firstWithData == Items.Count() ||
      Items.Items(firstWithData).LocalHeaderOffset >= static_cast<uint64_t>(BaseOffset))
    return;
  for (int i = 0; i < Items.Count(); ++i) {
    TDirItem& item = Items.Items(i);
    if (item.IsDirectory()) continue;
    // Cannot wrap: an offset that large is past any file and fails when read.
    item.LocalHeaderOffset = std::min<uint64_t>(item.LocalHeaderOffset, UINT64_MAX / 2) + BaseOffset;
  }
}

// --- recovery scan -------------------------------------------------------------

// No end record: rebuild the directory from the local headers found in the file.
void TZipDirManager::RecoveryScan(bool oemFileNames) {
  (void)oemFileNames;
  const int64_t size = stream_->Size();
  TZipSignatureScanner headers(*stream_, kZipLocalSignature, kRecoveryWindow);
  // Entries waiting for their data descriptor: where their data starts, their index.
  std::vector<std::pair<int64_t, int>> pending;
  bool anyHit = false;
  for (int64_t hit = headers.Next(0); hit >= 0; hit = headers.Next(hit + 4)) {
    if (size - hit < static_cast<int64_t>(kZipLocalSize)) break;
    anyHit = true;
    TDirItem item;
    if (!RecoverEntry(hit, item)) continue;
    if (item.Header.Flags & kZipFlagDescriptor) {
      item.DescriptorMissing = true;
      const int64_t dataStart = hit + static_cast<int64_t>(kZipLocalSize) + item.Header.NameLength +
                                item.Header.ExtraLength;
      pending.emplace_back(dataStart, Items.Count());
    }
    Items.Append(std::move(item));
  }
  if (!anyHit) throw EZipException(zecInvalidArchive);
  AttachDescriptors(pending);
}

bool TZipDirManager::RecoverEntry(int64_t hit, TDirItem& item) {
  const int64_t size = stream_->Size();
  uint8_t buffer[kZipLocalSize];
  stream_->ReadExactAt(hit, buffer, kZipLocalSize);
  TZipLocalHeader l;
  ParseLocalHeader(buffer, sizeof buffer, l);
  if (static_cast<int64_t>(l.CompressedSize) >= size || l.ExtraLength > kMaxRecoveryExtra) return false;

  TZipCentralHeader& c = item.Header;
  c.Signature = l.Signature;
  c.VersionMadeBy = c.VersionNeeded = l.VersionNeeded;
  c.Flags = l.Flags;
  c.Method = l.Method;
  c.ModTime = l.ModTime;
  c.ModDate = l.ModDate;
  c.Crc32 = l.Crc32;
  c.CompressedSize = l.CompressedSize;
  c.UncompressedSize = l.UncompressedSize;
  c.NameLength = l.NameLength;
  c.ExtraLength = l.ExtraLength;
  c.ExternalAttributes = (l.UncompressedSize > 0 || (l.Flags & kZipFlagDescriptor)) ? faArchive : faDirectory;
  c.LocalHeaderOffset = static_cast<uint32_t>(std::min<int64_t>(hit, 0xFFFFFFFF));
  item.LocalHeaderOffset = static_cast<uint64_t>(hit);
  // The whole name is kept (a name too long to extract fails there); a name that runs
  // past the end of the file is left empty, and so is an extra field.
  const int64_t nameStart = hit + static_cast<int64_t>(kZipLocalSize);
  if (l.NameLength <= size - nameStart) {
    std::string raw(l.NameLength, '\0');
    stream_->ReadExactAt(nameStart, raw.data(), l.NameLength);
    std::vector<uint8_t> extra(l.ExtraLength);
    if (l.ExtraLength <= size - nameStart - l.NameLength) {
      stream_->ReadExactAt(nameStart + l.NameLength, extra.data(), l.ExtraLength);
      item.ExtraFields = ParseExtraFields(extra.data(), extra.size());
    }
    item.FileName = EntryName(raw, l.Flags, item.ExtraFields);
  }
  return true;
}

// One forward pass over the file: a descriptor belongs to the entry whose data it ends
// (its compressed size reaches back exactly to where the entry's data starts); the
// first such descriptor is the entry's. Entries left without one keep DescriptorMissing.
void TZipDirManager::AttachDescriptors(const std::vector<std::pair<int64_t, int>>& pending) {
  if (pending.empty()) return;
  std::unordered_multimap<int64_t, int> waiting(pending.begin(), pending.end());
  TZipSignatureScanner descriptors(*stream_, kZipDescriptorSignature, kRecoveryWindow);
  for (int64_t pos = descriptors.Next(pending.front().first); pos >= 0 && !waiting.empty();
       pos = descriptors.Next(pos + 1)) {
    uint8_t d[kZip64DescriptorSize];
    const size_t have = static_cast<size_t>(stream_->ReadAt(pos, d, sizeof d));
    for (const bool zip64 : {false, true}) {
      TZipDescriptor descriptor;
      if (!ParseDescriptor(d, have, zip64, descriptor) || descriptor.CompressedSize > static_cast<uint64_t>(pos))
        continue;
      const auto found = waiting.find(pos - static_cast<int64_t>(descriptor.CompressedSize));
      if (found == waiting.end()) continue;
      TDirItem& item = Items.Items(found->second);
      waiting.erase(found);
      TakeDescriptor(item, descriptor);
      break;
    }
  }
}
