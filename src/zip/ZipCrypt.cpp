#include "zip/ZipCrypt.h"

#include <zlib.h>

namespace {

const z_crc_t* CrcTable() {
  static const z_crc_t* table = get_crc_table();
  return table;
}

}  // namespace

TZipDecrypter::TZipDecrypter(const AnsiString& password) {
  for (char c : password) UpdateKeys(static_cast<uint8_t>(c));
}

void TZipDecrypter::UpdateKeys(uint8_t plain) {
  const z_crc_t* crc = CrcTable();
  key0_ = crc[(key0_ ^ plain) & 0xFF] ^ (key0_ >> 8);
  key1_ = (key1_ + (key0_ & 0xFF)) * 134775813 + 1;
  key2_ = crc[(key2_ ^ (key1_ >> 24)) & 0xFF] ^ (key2_ >> 8);
}

void TZipDecrypter::Decrypt(uint8_t* data, size_t size) {
  for (size_t i = 0; i < size; ++i) {
    const uint32_t temp = (key2_ | 2) & 0xFFFF;
    const uint8_t plain = static_cast<uint8_t>(data[i] ^ static_cast<uint8_t>((temp * (temp ^ 1)) >> 8));
    UpdateKeys(plain);
    data[i] = plain;
  }
}
