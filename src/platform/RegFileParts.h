// Internal to the platform layer; not part of its interface.
// The value forms that the registry export format and Wine's registry files share.
#pragma once

#include <cstdint>
#include <string>

#include "platform/RegFile.h"

bool IsTextType(uint32_t type);
// A hex number of at most maxDigits digits, blanks around it allowed.
bool ParseHexNumber(const std::string& text, uint32_t& value, size_t maxDigits);
// "01,ff,00" (may be empty).
bool ParseHexBytes(const std::string& text, std::string& bytes);
// "dword:0000002a", "hex:01,02" or "hex(N):..": false when data is none of these or does not
// parse. Text types in a hex form are converted to ANSI from UTF-16LE when hexTextIsUtf16.
bool ParseBinaryForm(const std::string& data, bool hexTextIsUtf16, TRegValue& value);
