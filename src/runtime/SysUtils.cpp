#include "runtime/SysUtils.h"

#include <cstdarg>
#include <cstdio>
#include <vector>

#include "runtime/CodePage.h"
#include "runtime/Exception.h"

AnsiString Format(const char* fmt, ...) {
  va_list args;
  va_start(args, fmt);
  va_list copy;
  va_copy(copy, args);
  int needed = std::vsnprintf(nullptr, 0, fmt, copy);
  va_end(copy);
  AnsiString result;
  if (needed > 0) {
    result.resize(static_cast<size_t>(needed) + 1);
    std::vsnprintf(result.data(), result.size(), fmt, args);
    result.resize(static_cast<size_t>(needed));
  }
  va_end(args);
  return result;
}

AnsiString IntToStr(int64_t value) { return std::to_string(value); }

bool TryStrToInt(const AnsiString& text, int32_t& value) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && text[i] == ' ') ++i;
  bool negative = false;
  if (i < n && (text[i] == '-' || text[i] == '+')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < n && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < n && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= n) return false;
  uint64_t acc = 0;
  for (; i < n; ++i) {
    char c = text[i];
    int digit;
    if (c >= '0' && c <= '9') digit = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') digit = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') digit = c - 'A' + 10;
    else return false;
    acc = acc * base + digit;
    if (acc > 0xFFFFFFFFull) return false;
  }
  if (base == 10) {
    if (negative ? acc > 0x80000000ull : acc > 0x7FFFFFFFull) return false;
    value = negative ? static_cast<int32_t>(-static_cast<int64_t>(acc)) : static_cast<int32_t>(acc);
  } else {
    // Hexadecimal texts cover the whole 32-bit range, as the original runtime does.
    value = static_cast<int32_t>(static_cast<uint32_t>(acc));
    if (negative) value = static_cast<int32_t>(0u - static_cast<uint32_t>(value));
  }
  return true;
}

int32_t StrToInt(const AnsiString& text) {
  int32_t value = 0;
  if (!TryStrToInt(text, value)) throw EConvertError(Format("'%s' is not a valid integer value", text.c_str()));
  return value;
}

int32_t StrToIntDef(const AnsiString& text, int32_t fallback) {
  int32_t value = 0;
  return TryStrToInt(text, value) ? value : fallback;
}

AnsiString TrimLeft(const AnsiString& text) {
  size_t b = 0;
  while (b < text.size() && static_cast<unsigned char>(text[b]) <= ' ') ++b;
  return text.substr(b);
}

AnsiString TrimRight(const AnsiString& text) {
  size_t e = text.size();
  while (e > 0 && static_cast<unsigned char>(text[e - 1]) <= ' ') --e;
  return text.substr(0, e);
}

AnsiString Trim(const AnsiString& text) { return TrimLeft(TrimRight(text)); }

// The trail byte of a double-byte character may fall in 'a'..'z': it must not change.
AnsiString UpperCase(const AnsiString& text) { return AnsiUpperCase(text); }

AnsiString LowerCase(const AnsiString& text) { return AnsiLowerCase(text); }

int CompareText(const AnsiString& a, const AnsiString& b) { return AnsiCompareText(a, b); }

bool SameText(const AnsiString& a, const AnsiString& b) { return AnsiSameText(a, b); }
