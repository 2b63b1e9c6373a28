// The ANSI code page of the target systems: 936 (GBK). OEM and ANSI are the same page.
//
// Lead bytes of double-byte characters are 0x81-0xFE; the byte after a lead byte is
// never read as a character of its own ("\" inside a Chinese character is not a slash).
#pragma once

#include <vector>

#include "runtime/SysUtils.h"

constexpr int kAnsiCodePage = 936;

bool IsLeadByte(unsigned char byte);
// True when the byte at index starts a double-byte character (scanning from the start).
bool IsDbcsLeadAt(const AnsiString& text, size_t index);
// Kind of the byte at index: 0 single-byte character, 1 lead byte, 2 trail byte.
int ByteTypeAt(const AnsiString& text, size_t index);

// Case mapping and comparison that leave double-byte characters alone: only ASCII
// letters outside them change. Windows compares section, key and value names this way.
AnsiString AnsiUpperCase(const AnsiString& text);
AnsiString AnsiLowerCase(const AnsiString& text);
bool AnsiSameText(const AnsiString& a, const AnsiString& b);
int AnsiCompareText(const AnsiString& a, const AnsiString& b);

// DBCS-aware search: the index of the first (last) byte c that is a character of its
// own, not the trail byte of a double-byte character, at or after from (before end);
// npos when there is none. Meant for ASCII c ("\", "/", ".", ":").
size_t AnsiFindChar(const AnsiString& text, char c, size_t from = 0);
size_t AnsiFindLastChar(const AnsiString& text, char c, size_t end = AnsiString::npos);
// The 0-based index of the first occurrence of sub that starts on a character boundary; npos
// if none. (The HTTP client's NetSearch::AnsiPos is 1-based, as its callers count.)
size_t AnsiFindText(const AnsiString& sub, const AnsiString& text);
// Splits at every separator byte c outside double-byte characters (empty parts kept).
std::vector<AnsiString> AnsiSplit(const AnsiString& text, char c);

// Conversions between code page 936 and UTF-8. Bytes that do not convert are kept
// as '?' so a name never silently loses its length.
AnsiString AnsiToUtf8(const AnsiString& ansi);
AnsiString Utf8ToAnsi(const std::string& utf8);
// Strict conversion: false when any byte sequence is not a character of code page 936
// (a lead byte followed by "/" or "\", a lone lead byte at the end, 0xFF), so nothing
// is guessed.
bool TryAnsiToUtf8(const AnsiString& ansi, std::string& utf8);

// UTF-16LE bytes (as the registry stores text) to ANSI; an odd last byte or a
// lone surrogate becomes '?'.
AnsiString Utf16LeToAnsi(const std::string& bytes);
std::string AnsiToUtf16Le(const AnsiString& ansi);
// True when the bytes are well-formed UTF-8 (no overlong forms, no surrogates).
bool IsValidUtf8(const std::string& text);

// An ANSI path as the system's file calls take it: converted to UTF-8, with "\" read
// as a separator like "/".
std::string AnsiPathToSys(const AnsiString& path);
AnsiString SysPathToAnsi(const std::string& path);
