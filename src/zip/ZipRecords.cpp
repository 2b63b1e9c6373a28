#include "zip/ZipRecords.h"

#include <zlib.h>

#include "zip/ZipByteCursor.h"

namespace {

// The run of fields that central and local headers have in common, in the same order.
template <class THeader>
void ReadSharedFields(TZipByteCursor& c, THeader& out) {
  out.VersionNeeded = c.U16();
  out.Flags = c.U16();
  out.Method = c.U16();
  out.ModTime = c.U16();
  out.ModDate = c.U16();
  out.Crc32 = c.U32();
  out.CompressedSize = c.U32();
  out.UncompressedSize = c.U32();
  out.NameLength = c.U16();
  out.ExtraLength = c.U16();
}

}  // namespace

bool ParseEndRecord(const uint8_t* data, size_t size, TZipEndRecord& out) {
  TZipByteCursor c(data, size);
  out.Signature = c.U32();
  out.ThisDisk = c.U16();
  out.DirectoryDisk = c.U16();
  out.EntriesOnDisk = c.U16();
  out.TotalEntries = c.U16();
  out.DirectorySize = c.U32();
  out.DirectoryOffset = c.U32();
  out.CommentLength = c.U16();
  return c.Ok();
}

bool ParseZip64Locator(const uint8_t* data, size_t size, TZip64Locator& out) {
  TZipByteCursor c(data, size);
  out.Signature = c.U32();
  out.EndRecordDisk = c.U32();
  out.EndRecordOffset = c.U64();
  out.TotalDisks = c.U32();
  return c.Ok() && out.Signature == kZip64LocatorSignature;
}

bool ParseZip64EndRecord(const uint8_t* data, size_t size, TZip64EndRecord& out) {
  TZipByteCursor c(data, size);
  out.Signature = c.U32();
  out.RecordSize = c.U64();
  out.VersionMadeBy = c.U16();
  out.VersionNeeded = c.U16();
  out.ThisDisk = c.U32();
  out.DirectoryDisk = c.U32();
  out.EntriesOnDisk = c.U64();
  out.TotalEntries = c.U64();
  out.DirectorySize = c.U64();
  out.DirectoryOffset = c.U64();
  return c.Ok() && out.Signature == kZip64EndSignature;
}

bool ParseCentralHeader(const uint8_t* data, size_t size, TZipCentralHeader& out) {
  TZipByteCursor c(data, size);
  out.Signature = c.U32();
  out.VersionMadeBy = c.U16();
  ReadSharedFields(c, out);
  out.CommentLength = c.U16();
  out.DiskStart = c.U16();
  out.InternalAttributes = c.U16();
  out.ExternalAttributes = c.U32();
  out.LocalHeaderOffset = c.U32();
  return c.Ok();
}

bool ParseLocalHeader(const uint8_t* data, size_t size, TZipLocalHeader& out) {
  TZipByteCursor c(data, size);
  out.Signature = c.U32();
  ReadSharedFields(c, out);
  return c.Ok();
}

bool ParseDescriptor(const uint8_t* data, size_t size, bool zip64, TZipDescriptor& out) {
  TZipByteCursor c(data, size);
  if (c.U32() != kZipDescriptorSignature) return false;
  out.Crc32 = c.U32();
  out.CompressedSize = zip64 ? c.U64() : c.U32();
  out.UncompressedSize = zip64 ? c.U64() : c.U32();
  return c.Ok();
}

std::vector<TZipExtraField> ParseExtraFields(const uint8_t* data, size_t size) {
  std::vector<TZipExtraField> fields;
  TZipByteCursor c(data, size);
  while (c.Left() >= 4) {
    TZipExtraField field;
    field.Id = c.U16();
    size_t length = c.U16();
    if (length > c.Left()) length = c.Left();
    const uint8_t* p = c.Span(length);
    field.Data.assign(p, p + length);
    fields.push_back(std::move(field));
  }
  return fields;
}

TZip64Values ParseZip64Values(const std::vector<uint8_t>& field, const TZipCentralHeader& header) {
  TZip64Values v;
  TZipByteCursor c(field.data(), field.size());
  if (header.UncompressedSize == 0xFFFFFFFF && c.Left() >= 8) {
    v.UncompressedSize = c.U64();
    v.HasUncompressed = true;
  }
  if (header.CompressedSize == 0xFFFFFFFF && c.Left() >= 8) {
    v.CompressedSize = c.U64();
    v.HasCompressed = true;
  }
  if (header.LocalHeaderOffset == 0xFFFFFFFF && c.Left() >= 8) {
    v.LocalHeaderOffset = c.U64();
    v.HasOffset = true;
  }
  if (header.DiskStart == 0xFFFF && c.Left() >= 4) {
    v.DiskStart = static_cast<uint16_t>(c.U32());
    v.HasDisk = true;
  }
  return v;
}

bool ZipUnicodePath(const std::vector<TZipExtraField>& fields, const std::string& rawName, std::string& utf8) {
  const uLong nameCrc =
      crc32(crc32(0, nullptr, 0), reinterpret_cast<const Bytef*>(rawName.data()), static_cast<uInt>(rawName.size()));
  for (const TZipExtraField& field : fields) {
    if (field.Id != kZipUnicodePathId) continue;
    TZipByteCursor c(field.Data.data(), field.Data.size());
    const uint8_t version = static_cast<uint8_t>(c.U8());
    const uint32_t crc = c.U32();
    if (!c.Ok() || version != 1 || crc != static_cast<uint32_t>(nameCrc)) continue;
    utf8.assign(reinterpret_cast<const char*>(field.Data.data()) + c.Position(), c.Left());
    return true;
  }
  return false;
}
