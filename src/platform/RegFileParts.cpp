#include "platform/RegFileParts.h"

#include "runtime/CodePage.h"

namespace {
int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}
}  // namespace

bool IsTextType(uint32_t type) { return type == REG_SZ || type == REG_EXPAND_SZ || type == REG_MULTI_SZ; }

bool ParseHexNumber(const std::string& text, uint32_t& value, size_t maxDigits) {
  const std::string t = Trim(text);
  if (t.empty() || t.size() > maxDigits) return false;
  value = 0;
  for (char c : t) {
    const int d = HexDigit(c);
    if (d < 0) return false;
    value = value * 16 + static_cast<uint32_t>(d);
  }
  return true;
}

bool ParseHexBytes(const std::string& text, std::string& bytes) {
  bytes.clear();
  if (Trim(text).empty()) return true;
  for (const AnsiString& part : AnsiSplit(text, ',')) {
    uint32_t b = 0;
    if (!ParseHexNumber(part, b, 2)) return false;
    bytes += static_cast<char>(b);
  }
  return true;
}

bool ParseBinaryForm(const std::string& data, bool hexTextIsUtf16, TRegValue& value) {
  if (data.compare(0, 6, "dword:") == 0) {
    uint32_t number = 0;
    if (!ParseHexNumber(data.substr(6), number, 8)) return false;
    value.Type = REG_DWORD;
    value.Data.clear();
    for (int b = 0; b < 4; ++b) value.Data += static_cast<char>((number >> (8 * b)) & 0xFF);
    return true;
  }
  if (data.compare(0, 4, "hex:") == 0) {
    value.Type = REG_BINARY;
    return ParseHexBytes(data.substr(4), value.Data);
  }
  if (data.compare(0, 4, "hex(") != 0) return false;
  const size_t close = data.find("):");
  if (close == std::string::npos || !ParseHexNumber(data.substr(4, close - 4), value.Type, 8)) return false;
  if (!ParseHexBytes(data.substr(close + 2), value.Data)) return false;
  if (hexTextIsUtf16 && IsTextType(value.Type)) value.Data = Utf16LeToAnsi(value.Data);
  return true;
}
