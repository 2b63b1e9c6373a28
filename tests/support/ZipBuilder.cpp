#include "support/ZipBuilder.h"

#include <zlib.h>

#include <stdexcept>

namespace {

void Put16(std::string& out, uint32_t v) {
  out.push_back(static_cast<char>(v & 0xFF));
  out.push_back(static_cast<char>((v >> 8) & 0xFF));
}
void Put32(std::string& out, uint32_t v) {
  Put16(out, v & 0xFFFF);
  Put16(out, v >> 16);
}

}  // namespace

std::string ZipDeflateRaw(const std::string& data) {
  z_stream z{};
  if (deflateInit2(&z, 6, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) throw std::runtime_error("deflate");
  std::string out(deflateBound(&z, data.size()) + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  z.next_out = reinterpret_cast<Bytef*>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

uint32_t ZipCrc32(const std::string& data) {
  return static_cast<uint32_t>(crc32(0, reinterpret_cast<const Bytef*>(data.data()), static_cast<uInt>(data.size())));
}

std::string BuildZip(const ZipTestArchive& a) {
  std::string out = a.prefix;
  const uint32_t bias = a.offsetsFromZipStart ? static_cast<uint32_t>(a.prefix.size()) : 0;
  std::string directory;
  for (const ZipTestEntry& e : a.entries) {
    const std::string payload =
        (e.payload ? *e.payload : (e.method == 8 ? ZipDeflateRaw(e.data) : e.data)) + e.trailing;
    const uint32_t crc = e.crc.value_or(ZipCrc32(e.data));
    const uint32_t csize = e.compressedSize.value_or(static_cast<uint32_t>(payload.size()));
    const uint32_t usize = e.uncompressedSize.value_or(static_cast<uint32_t>(e.data.size()));
    const uint32_t offset = e.localOffset.value_or(static_cast<uint32_t>(out.size()) - bias);
    // Fields shared by local and central headers, in the same order.
    auto shared = [&](std::string& to, const std::string& extra) {
      for (uint16_t v : {e.versionNeeded, e.flags, e.method, e.time, e.date}) Put16(to, v);
      for (uint32_t v : {crc, csize, usize}) Put32(to, v);
      Put16(to, static_cast<uint32_t>(e.name.size()));
      Put16(to, static_cast<uint32_t>(extra.size()));
    };
    Put32(out, 0x04034B50);
    shared(out, e.localExtra);
    out += e.name + e.localExtra + payload;

    Put32(directory, 0x02014B50);
    Put16(directory, 20);
    shared(directory, e.extra);
    Put16(directory, 0);
    Put16(directory, 0);
    Put16(directory, 0);
    Put32(directory, e.externalAttr);
    Put32(directory, offset);
    directory += e.name + e.extra;
  }
  const uint32_t directoryOffset = static_cast<uint32_t>(out.size()) - bias;
  out += directory;
  if (a.zip64LocatorOnly) {
    Put32(out, 0x07064B50);
    Put32(out, 0);
    Put32(out, 0x10);  // offset of a Zip64 end record that is not there
    Put32(out, 0);
    Put32(out, 1);
  }
  if (a.writeEnd) {
    const uint16_t count = a.totalEntries.value_or(static_cast<uint16_t>(a.entries.size()));
    Put32(out, 0x06054B50);
    Put16(out, a.thisDisk);
    Put16(out, a.thisDisk);
    Put16(out, count);
    Put16(out, count);
    Put32(out, a.directorySize.value_or(static_cast<uint32_t>(directory.size())));
    Put32(out, directoryOffset);
    Put16(out, static_cast<uint32_t>(a.comment.size()));
    out += a.comment;
  }
  return out + a.junk;
}
