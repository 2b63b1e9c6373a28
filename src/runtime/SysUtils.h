// Strings and the runtime's string helpers.
//
// AnsiString holds bytes in the ANSI code page of the target systems (936, GBK).
// Nothing here interprets the bytes except where a function says so.
#pragma once

#include <cstdint>
#include <string>

using AnsiString = std::string;

// printf-style formatting of the runtime's message texts ("%s", "%d", "%5d", ...).
AnsiString Format(const char* fmt, ...) __attribute__((format(printf, 1, 2)));

AnsiString IntToStr(int64_t value);
// Decimal, or hexadecimal after "$" / "0x" / "0X"; raises EConvertError
// "'%s' is not a valid integer value" for anything else.
int32_t StrToInt(const AnsiString& text);
int32_t StrToIntDef(const AnsiString& text, int32_t fallback);
bool TryStrToInt(const AnsiString& text, int32_t& value);

// Removes leading and trailing bytes <= ' ' (control characters and blanks).
AnsiString Trim(const AnsiString& text);
AnsiString TrimLeft(const AnsiString& text);
AnsiString TrimRight(const AnsiString& text);
// ASCII-only case mapping: bytes of double-byte characters are left alone.
AnsiString UpperCase(const AnsiString& text);
AnsiString LowerCase(const AnsiString& text);
bool SameText(const AnsiString& a, const AnsiString& b);
int CompareText(const AnsiString& a, const AnsiString& b);
