// The ZIP records the reader parses, and their pure parsers.
//
// Each parser takes a byte range and returns false when the range is too short or the
// signature (where one is checked) does not match; nothing is ever read past the range.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr uint32_t kZipLocalSignature = 0x04034B50;
constexpr uint32_t kZipCentralSignature = 0x02014B50;
constexpr uint32_t kZipEndSignature = 0x06054B50;
constexpr uint32_t kZip64LocatorSignature = 0x07064B50;
constexpr uint32_t kZip64EndSignature = 0x06064B50;
constexpr uint32_t kZipDescriptorSignature = 0x08074B50;

constexpr size_t kZipEndSize = 22;
constexpr size_t kZip64LocatorSize = 20;
constexpr size_t kZip64EndSize = 56;
constexpr size_t kZipCentralSize = 46;
constexpr size_t kZipLocalSize = 30;
constexpr size_t kZipDescriptorSize = 16;
constexpr size_t kZip64DescriptorSize = 24;

// Compression methods the reader knows.
constexpr uint16_t kZipMethodStored = 0;
constexpr uint16_t kZipMethodDeflated = 8;
constexpr uint16_t kZipMethodDeflate64 = 9;
// "Version needed to extract" of the format's first version (1.0): an entry of an
// unknown method at this version decodes to nothing; above it the method is another
// library's own format.
constexpr uint16_t kZipVersion10 = 10;

constexpr uint16_t kZipFlagEncrypted = 0x0001;
constexpr uint16_t kZipFlagDescriptor = 0x0008;
constexpr uint16_t kZipFlagUtf8 = 0x0800;

struct TZipEndRecord {
  uint32_t Signature = 0;
  uint16_t ThisDisk = 0;
  uint16_t DirectoryDisk = 0;
  uint16_t EntriesOnDisk = 0;
  uint16_t TotalEntries = 0;
  uint32_t DirectorySize = 0;
  uint32_t DirectoryOffset = 0;
  uint16_t CommentLength = 0;
};

struct TZip64Locator {
  uint32_t Signature = 0;
  uint32_t EndRecordDisk = 0;
  uint64_t EndRecordOffset = 0;
  uint32_t TotalDisks = 0;
};

struct TZip64EndRecord {
  uint32_t Signature = 0;
  uint64_t RecordSize = 0;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint32_t ThisDisk = 0;
  uint32_t DirectoryDisk = 0;
  uint64_t EntriesOnDisk = 0;
  uint64_t TotalEntries = 0;
  uint64_t DirectorySize = 0;
  uint64_t DirectoryOffset = 0;
};

// The 46 fixed bytes of a central directory file header.
struct TZipCentralHeader {
  uint32_t Signature = 0;
  uint16_t VersionMadeBy = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
  uint16_t CommentLength = 0;
  uint16_t DiskStart = 0;
  uint16_t InternalAttributes = 0;
  uint32_t ExternalAttributes = 0;
  uint32_t LocalHeaderOffset = 0;
};

// The 30 fixed bytes of a local file header.
struct TZipLocalHeader {
  uint32_t Signature = 0;
  uint16_t VersionNeeded = 0;
  uint16_t Flags = 0;
  uint16_t Method = 0;
  uint16_t ModTime = 0;
  uint16_t ModDate = 0;
  uint32_t Crc32 = 0;
  uint32_t CompressedSize = 0;
  uint32_t UncompressedSize = 0;
  uint16_t NameLength = 0;
  uint16_t ExtraLength = 0;
};

// A data descriptor; the sizes are 8 bytes wide in the Zip64 form (24 bytes).
struct TZipDescriptor {
  uint32_t Crc32 = 0;
  uint64_t CompressedSize = 0;
  uint64_t UncompressedSize = 0;
};

struct TZipExtraField {
  uint16_t Id = 0;
  std::vector<uint8_t> Data;
};

// Values of a Zip64 extended-information sub-field; each Has* tells whether it was present.
struct TZip64Values {
  bool HasUncompressed = false, HasCompressed = false, HasOffset = false, HasDisk = false;
  uint64_t UncompressedSize = 0;
  uint64_t CompressedSize = 0;
  uint64_t LocalHeaderOffset = 0;
  uint16_t DiskStart = 0;
};

// Fixed-size records. The end record and the local header parsers do not check the
// signature (callers decide); the Zip64 parsers do.
bool ParseEndRecord(const uint8_t* data, size_t size, TZipEndRecord& out);
bool ParseZip64Locator(const uint8_t* data, size_t size, TZip64Locator& out);
bool ParseZip64EndRecord(const uint8_t* data, size_t size, TZip64EndRecord& out);
bool ParseCentralHeader(const uint8_t* data, size_t size, TZipCentralHeader& out);
bool ParseLocalHeader(const uint8_t* data, size_t size, TZipLocalHeader& out);
// A data descriptor with its signature, in the 16-byte form or (zip64) the 24-byte one.
bool ParseDescriptor(const uint8_t* data, size_t size, bool zip64, TZipDescriptor& out);

// Splits an extra field into its sub-fields in file order. A sub-field whose size
// exceeds what is left is cut to what is left; a head that does not fit ends the list.
std::vector<TZipExtraField> ParseExtraFields(const uint8_t* data, size_t size);
// Reads a Zip64 sub-field (id 1): each value only when its header field is all ones and
// the sub-field still holds it.
TZip64Values ParseZip64Values(const std::vector<uint8_t>& field, const TZipCentralHeader& header);

// Id of the Info-ZIP Unicode Path extra field: version 1, CRC-32 of the header's name
// bytes, then the name in UTF-8.
constexpr uint16_t kZipUnicodePathId = 0x7075;
// The UTF-8 name of a Unicode Path field that belongs to rawName (its CRC matches);
// false when there is none, or it is stale (the header name was changed after it).
bool ZipUnicodePath(const std::vector<TZipExtraField>& fields, const std::string& rawName, std::string& utf8);
