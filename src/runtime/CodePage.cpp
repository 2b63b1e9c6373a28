#include "runtime/CodePage.h"

#include <iconv.h>

#include <cerrno>
#include <vector>

bool IsLeadByte(unsigned char byte) { return byte >= 0x81 && byte <= 0xFE; }

int ByteTypeAt(const AnsiString& text, size_t index) {
  size_t i = 0;
  while (i < text.size()) {
    if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) {
      if (index == i) return 1;
      if (index == i + 1) return 2;
      i += 2;
    } else {
      if (index == i) return 0;
      ++i;
    }
  }
  return 0;
}

bool IsDbcsLeadAt(const AnsiString& text, size_t index) { return ByteTypeAt(text, index) == 1; }

namespace {

template <typename Map>
AnsiString MapAsciiLetters(const AnsiString& text, Map map) {
  AnsiString r = text;
  for (size_t i = 0; i < r.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(r[i])) && i + 1 < r.size()) {
      ++i;
      continue;
    }
    r[i] = map(r[i]);
  }
  return r;
}

}  // namespace

AnsiString AnsiUpperCase(const AnsiString& text) {
  return MapAsciiLetters(text, [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
}

AnsiString AnsiLowerCase(const AnsiString& text) {
  return MapAsciiLetters(text, [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c + 32) : c; });
}

int AnsiCompareText(const AnsiString& a, const AnsiString& b) {
  const int r = AnsiUpperCase(a).compare(AnsiUpperCase(b));
  return r < 0 ? -1 : (r > 0 ? 1 : 0);
}

bool AnsiSameText(const AnsiString& a, const AnsiString& b) { return a.size() == b.size() && AnsiCompareText(a, b) == 0; }

size_t AnsiFindChar(const AnsiString& text, char c, size_t from) {
  for (size_t i = 0; i < text.size(); ++i) {
    if (i >= from && text[i] == c) return i;
    if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
  }
  return AnsiString::npos;
}

size_t AnsiFindLastChar(const AnsiString& text, char c, size_t end) {
  size_t found = AnsiString::npos;
  for (size_t i = 0; i < text.size() && i < end; ++i) {
    if (text[i] == c) found = i;
    if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) ++i;
  }
  return found;
}

size_t AnsiFindText(const AnsiString& sub, const AnsiString& text) {
  if (sub.empty()) return AnsiString::npos;
  for (size_t i = 0; i + sub.size() <= text.size(); ++i) {
    if (text.compare(i, sub.size(), sub) == 0) return i;
    if (IsLeadByte(static_cast<unsigned char>(text[i]))) ++i;
  }
  return AnsiString::npos;
}

std::vector<AnsiString> AnsiSplit(const AnsiString& text, char c) {
  std::vector<AnsiString> parts(1);
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == c) {
      parts.emplace_back();
      continue;
    }
    parts.back() += text[i];
    if (IsLeadByte(static_cast<unsigned char>(text[i])) && i + 1 < text.size()) parts.back() += text[++i];
  }
  return parts;
}

namespace {

bool IsAscii(const std::string& input) {
  for (unsigned char c : input)
    if (c >= 0x80) return false;
  return true;
}

// asciiSame: both encodings write ASCII as the same single bytes, so pure ASCII input
// needs no conversion.
// unit: the size of one code unit of the input, skipped as a whole when it does not convert.
// strict: an invalid or incomplete sequence fails the whole conversion (ok turns false).
std::string Convert(const char* to, const char* from, const std::string& input, bool asciiSame = true,
                    size_t unit = 1, bool* ok = nullptr) {
  if (input.empty() || (asciiSame && IsAscii(input))) return input;

  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) {
    if (ok) *ok = false;
    return input;
  }
  std::string out;
  std::vector<char> buffer(input.size() * 4 + 16);
  char* in = const_cast<char*>(input.data());
  size_t inLeft = input.size();
  while (inLeft > 0) {
    char* outPtr = buffer.data();
    size_t outLeft = buffer.size();
    size_t r = iconv(cd, &in, &inLeft, &outPtr, &outLeft);
    out.append(buffer.data(), static_cast<size_t>(outPtr - buffer.data()));
    if (r == static_cast<size_t>(-1)) {
      if (errno == E2BIG) continue;
      if (ok) {
        *ok = false;
        break;
      }
      // An invalid or incomplete sequence: keep a placeholder and go on.
      out.push_back('?');
      const size_t skip = inLeft < unit ? inLeft : unit;
      in += skip;
      inLeft -= skip;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

AnsiString AnsiToUtf8(const AnsiString& ansi) { return Convert("UTF-8", "GBK", ansi); }

AnsiString Utf8ToAnsi(const std::string& utf8) { return Convert("GBK", "UTF-8", utf8); }

bool TryAnsiToUtf8(const AnsiString& ansi, std::string& utf8) {
  bool ok = true;
  utf8 = Convert("UTF-8", "GBK", ansi, true, 1, &ok);
  return ok;
}

std::string AnsiPathToSys(const AnsiString& path) {
  AnsiString unified = path;
  for (size_t i = 0; i < unified.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(unified[i])) && i + 1 < unified.size()) {
      ++i;
      continue;
    }
    if (unified[i] == '\\') unified[i] = '/';
  }
  return AnsiToUtf8(unified);
}

AnsiString SysPathToAnsi(const std::string& path) { return Utf8ToAnsi(path); }

AnsiString Utf16LeToAnsi(const std::string& bytes) { return Convert("GBK", "UTF-16LE", bytes, false, 2); }

std::string AnsiToUtf16Le(const AnsiString& ansi) { return Convert("UTF-16LE", "GBK", ansi, false); }

bool IsValidUtf8(const std::string& text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    size_t extra;
    uint32_t cp;
    if (c < 0x80) extra = 0, cp = c;
    else if (c >= 0xC2 && c <= 0xDF) extra = 1, cp = c & 0x1F;
    else if (c >= 0xE0 && c <= 0xEF) extra = 2, cp = c & 0x0F;
    else if (c >= 0xF0 && c <= 0xF4) extra = 3, cp = c & 0x07;
    else return false;
    if (i + extra >= n && extra > 0) return false;
    for (size_t k = 1; k <= extra; ++k) {
      const unsigned char t = static_cast<unsigned char>(text[i + k]);
      if ((t & 0xC0) != 0x80) return false;
      cp = (cp << 6) | (t & 0x3F);
    }
    // Overlong forms, surrogates and values beyond U+10FFFF are not UTF-8.
    if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF))) || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
      return false;
    i += extra + 1;
  }
  return true;
}
