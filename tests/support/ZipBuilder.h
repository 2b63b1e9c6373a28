// Builds ZIP archives byte by byte for tests, with knobs for every field a damaged
// archive may get wrong. Real-tool archives come from ZipTools.h; this is for the
// archives no tool would write.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

struct ZipTestEntry {
  std::string name;
  std::string data;               // uncompressed content
  uint16_t method = 8;            // 0 stored, 8 deflated (others are written as stored bytes)
  uint16_t flags = 0;
  uint16_t versionNeeded = 20;
  uint16_t time = 0x6000;         // 12:00:00
  uint16_t date = 0x5A21;         // 2025-01-01
  uint32_t externalAttr = 0x20;
  std::string extra;              // central extra field bytes
  std::string localExtra;         // local extra field bytes
  std::optional<uint32_t> crc;            // central CRC (default: the real one)
  std::optional<uint32_t> compressedSize; // central sizes (default: real)
  std::optional<uint32_t> uncompressedSize;
  std::optional<uint32_t> localOffset;    // central local-header offset (default: real, minus offsetBias)
  std::optional<std::string> payload;     // the stored data bytes (default: data, deflated for method 8)
  std::string trailing;                   // bytes appended after the payload, counted in the compressed size
};

struct ZipTestArchive {
  std::string prefix;             // foreign bytes before the first local header
  bool offsetsFromZipStart = false;  // stored offsets count from the end of prefix
  std::vector<ZipTestEntry> entries;
  std::string comment;
  bool writeEnd = true;
  bool zip64LocatorOnly = false;  // a Zip64 locator before the end record, pointing nowhere
  std::optional<uint16_t> totalEntries;
  std::optional<uint32_t> directorySize;
  uint16_t thisDisk = 0;
  std::string junk;               // bytes after the end record
};

std::string ZipDeflateRaw(const std::string& data);
uint32_t ZipCrc32(const std::string& data);
std::string BuildZip(const ZipTestArchive& archive);
