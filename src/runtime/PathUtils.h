// File-name helpers on ANSI paths. Both "\" and "/" separate folders (the platform reads
// "\" as a separator); a "\" that is the trail byte of a double-byte character does not.
#pragma once

#include "runtime/SysUtils.h"

constexpr char PathDelim = '/';

// True when the byte at index is a folder separator of its own (not a trail byte).
bool IsPathDelimiter(const AnsiString& path, size_t index);
// The path with one separator at the end ("/" added when it ends in none).
AnsiString IncludeTrailingPathDelimiter(const AnsiString& path);
// The path without its trailing separators (a lone root separator stays).
AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path);
// The folder part up to and including the last separator ("" when there is none).
AnsiString ExtractFilePath(const AnsiString& path);
// The folder part without its trailing separator.
AnsiString ExtractFileDir(const AnsiString& path);
// The part after the last separator.
AnsiString ExtractFileName(const AnsiString& path);
// The extension of the name part, with its ".", or "" when the name has none.
AnsiString ExtractFileExt(const AnsiString& path);
// The path with its extension replaced (ext may be "" or start with ".").
AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& ext);
