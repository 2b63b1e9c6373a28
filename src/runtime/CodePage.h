// The ANSI code page of the target systems: 936 (GBK). OEM and ANSI are the same page.
//
// Lead bytes of double-byte characters are 0x81-0xFE; the byte after a lead byte is
// never read as a character of its own ("\" inside a Chinese character is not a slash).
#pragma once

#include "runtime/SysUtils.h"

constexpr int kAnsiCodePage = 936;

bool IsLeadByte(unsigned char byte);
// True when the byte at index starts a double-byte character (scanning from the start).
bool IsDbcsLeadAt(const AnsiString& text, size_t index);
// Kind of the byte at index: 0 single-byte character, 1 lead byte, 2 trail byte.
int ByteTypeAt(const AnsiString& text, size_t index);

// Conversions between code page 936 and UTF-8. Bytes that do not convert are kept
// as '?' so a name never silently loses its length.
AnsiString AnsiToUtf8(const AnsiString& ansi);
AnsiString Utf8ToAnsi(const std::string& utf8);

// An ANSI path as the system's file calls take it: converted to UTF-8, with "\" read
// as a separator like "/".
std::string AnsiPathToSys(const AnsiString& path);
AnsiString SysPathToAnsi(const std::string& path);
