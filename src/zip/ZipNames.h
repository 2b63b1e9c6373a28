// Internal to the zip reader; not part of its interface.
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

// Splits a relative name into the components the file system will see: the name is
// converted to the system's encoding first (strictly: a byte sequence that is not a
// character of code page 936 refuses the name, so a lead byte can never swallow or
// hide a separator), then split at every "/" and "\". "." components are skipped.
// Returns false when the name may not be written below a base folder: empty, longer
// than kZipMaxNameLength, not valid code page 936, containing NUL or ":", absolute,
// with an empty component other than a final one (folder entries end in a separator),
// or with a ".." component. A name that names the base folder itself ("./") is a
// folder name without components.
bool ZipSplitSafeName(const AnsiString& name, std::vector<std::string>& sysComponents, bool& endsWithSeparator);

// The drive part of a path: "X:" or a "\\server\share" prefix; empty when there is none.
AnsiString ZipExtractFileDrive(const AnsiString& path);
