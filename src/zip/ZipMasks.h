// Internal to the zip reader; not part of its interface.
// Name masks: "*" and "?" wildcards, case-insensitive, as the archiver selects entries.
#pragma once

#include "runtime/SysUtils.h"

// The longest mask the search record holds; longer masks match nothing.
constexpr size_t kZipMaxMaskLength = 259;

// Whether name matches mask. The first "*.*" of the mask is read as "*"; an empty mask
// matches nothing; "*" spans any characters including "/"; "?" takes exactly one
// character; other characters compare without regard to ASCII case.
bool ZipMatchesMask(const AnsiString& name, const AnsiString& mask);

// The selection test of one entry: the stored name without one trailing separator
// matches, or failing that its last path component does.
bool ZipNameMatches(const AnsiString& storedName, const AnsiString& mask);
