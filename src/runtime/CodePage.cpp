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

std::string Convert(const char* to, const char* from, const std::string& input) {
  bool ascii = true;
  for (unsigned char c : input)
    if (c >= 0x80) {
      ascii = false;
      break;
    }
  if (ascii) return input;

  iconv_t cd = iconv_open(to, from);
  if (cd == reinterpret_cast<iconv_t>(-1)) return input;
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
      // An invalid or incomplete sequence: keep a placeholder and go on.
      out.push_back('?');
      ++in;
      --inLeft;
    }
  }
  iconv_close(cd);
  return out;
}

}  // namespace

AnsiString AnsiToUtf8(const AnsiString& ansi) { return Convert("UTF-8", "GBK", ansi); }

AnsiString Utf8ToAnsi(const std::string& utf8) { return Convert("GBK", "UTF-8", utf8); }

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
