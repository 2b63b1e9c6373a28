// Internal to the zip reader; not part of its interface.
// The traditional PKWARE encryption of ZIP entries (decryption only).
#pragma once

#include <cstddef>
#include <cstdint>

#include "runtime/SysUtils.h"

constexpr size_t kZipCryptHeaderSize = 12;

class TZipDecrypter {
 public:
  explicit TZipDecrypter(const AnsiString& password);
  void Decrypt(uint8_t* data, size_t size);

 private:
  void UpdateKeys(uint8_t plain);
  uint32_t key0_ = 0x12345678, key1_ = 0x23456789, key2_ = 0x34567890;
};
