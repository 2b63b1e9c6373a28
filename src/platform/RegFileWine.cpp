// Wine's own registry files: the key and value lines of "WINE REGISTRY Version 2".
#include "platform/RegFile.h"
#include "platform/RegFileParts.h"
#include "runtime/CodePage.h"

namespace {

int DigitIn(char c, int base) {
  int d = -1;
  if (c >= '0' && c <= '9') d = c - '0';
  else if (c >= 'a' && c <= 'f') d = c - 'a' + 10;
  else if (c >= 'A' && c <= 'F') d = c - 'A' + 10;
  return d < base ? d : -1;
}

// A number of at most maxDigits digits in the base, starting at text[pos]; pos moves past it.
uint32_t ReadDigits(const std::string& text, size_t& pos, int base, int maxDigits) {
  uint32_t value = 0;
  for (int n = 0; n < maxDigits && pos < text.size() && DigitIn(text[pos], base) >= 0; ++n, ++pos)
    value = value * static_cast<uint32_t>(base) + static_cast<uint32_t>(DigitIn(text[pos], base));
  return value;
}

// Reads escaped text from text[pos] up to the unescaped end character, as UTF-16 code units
// (little-endian bytes); pos ends after the end character. False when it never comes.
bool ReadEscaped(const std::string& text, size_t& pos, char end, std::string& utf16) {
  utf16.clear();
  auto put = [&utf16](uint32_t unit) {
    utf16 += static_cast<char>(unit & 0xFF);
    utf16 += static_cast<char>((unit >> 8) & 0xFF);
  };
  while (pos < text.size()) {
    const char c = text[pos++];
    if (c == end) return true;
    if (c != '\\' || pos == text.size()) {
      put(static_cast<unsigned char>(c));
      continue;
    }
    const char e = text[pos++];
    switch (e) {
      case 'a': put('\a'); break;
      case 'b': put('\b'); break;
      case 'e': put(0x1B); break;
      case 'f': put('\f'); break;
      case 'n': put('\n'); break;
      case 'r': put('\r'); break;
      case 't': put('\t'); break;
      case 'v': put('\v'); break;
      case 'x':
        if (pos < text.size() && DigitIn(text[pos], 16) >= 0) put(ReadDigits(text, pos, 16, 4));
        else put('x');
        break;
      default:
        if (DigitIn(e, 8) >= 0) {
          --pos;
          put(ReadDigits(text, pos, 8, 3));
        } else {
          put(static_cast<unsigned char>(e));
        }
    }
  }
  return false;
}

// Text as the ANSI registry calls return it: ANSI with the terminating NUL.
bool ReadText(const std::string& text, size_t& pos, std::string& ansi) {
  std::string utf16;
  if (!ReadEscaped(text, pos, '"', utf16)) return false;
  ansi = Utf16LeToAnsi(utf16 + std::string(2, '\0'));
  return true;
}

}  // namespace

void TRegFile::ParseWineKeyLine(const std::string& line, HKEY root) {
  current_.clear();
  size_t pos = 1;
  std::string utf16;
  if (!ReadEscaped(line, pos, ']', utf16)) return;
  const std::string id = KeyId(root, Utf16LeToAnsi(utf16));
  if (!id.empty()) EnterKey(id);
}

void TRegFile::ParseWineValueLine(const std::string& line) {
  if (current_.empty()) return;
  std::string name;
  size_t pos = 1;
  if (line[0] == '"') {
    if (!ReadText(line, pos, name)) return;
    name.pop_back();
  } else if (line[0] != '@') {
    return;
  }
  if (pos >= line.size() || line[pos] != '=') return;
  const std::string data = line.substr(pos + 1);

  TRegValue value;
  size_t text = std::string::npos;
  if (!data.empty() && data[0] == '"') {
    value.Type = REG_SZ;
    text = 1;
  } else if (data.compare(0, 4, "str(") == 0) {
    const size_t close = data.find("):\"");
    if (close == std::string::npos || !ParseHexNumber(data.substr(4, close - 4), value.Type, 8)) return;
    text = close + 3;
  }
  if (text != std::string::npos) {
    if (!ReadText(data, text, value.Data)) return;
  } else if (!ParseBinaryForm(data, true, value)) {
    return;
  }
  values_[current_][AnsiUpperCase(name)] = std::move(value);
}
