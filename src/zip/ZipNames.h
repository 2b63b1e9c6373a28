// Entry names: from stored bytes to text, separators, and the safety test that keeps
// every output below the base folder.
//
// Names are ANSI (code page 936) text. The byte after a lead byte is part of a Chinese
// character and never a separator, so every separator scan here walks characters.
#pragma once

#include <string>
#include <vector>

#include "runtime/SysUtils.h"

// The longest entry name that is extracted (longer ones fail rather than being cut).
constexpr size_t kZipMaxNameLength = 256;

// Stored name bytes to text: UTF-8 names (flag bit 11) are converted to ANSI; other
// names are in the OEM code page, which is the ANSI page on the target systems, so
// they stay as they are. Every "\" becomes "/".
AnsiString ZipStoredNameToText(const std::string& raw, bool utf8);

// Replaces one separator character by another, leaving trail bytes of double-byte
// characters alone.
AnsiString ZipReplaceSeparator(const AnsiString& text, char from, char to);

// Index of the last "\", "/" or ":" of a path (a character, not a trail byte); npos if none.
size_t ZipLastDelimiter(const AnsiString& path, const char* delimiters);

// Splits a relative name with "\" separators into its components. Returns false when
// the name may not be written below a base folder: empty, longer than
// kZipMaxNameLength, containing NUL or ":", absolute, with an empty component other
// than a final one (folder entries end in "\"), or with a "." or ".." component.
bool ZipSplitSafeName(const AnsiString& name, std::vector<AnsiString>& components, bool& endsWithSeparator);

// The drive part of a path: "X:" or a "\\server\share" prefix; empty when there is none.
AnsiString ZipExtractFileDrive(const AnsiString& path);
