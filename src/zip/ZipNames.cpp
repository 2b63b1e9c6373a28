#include "zip/ZipNames.h"

#include "runtime/CodePage.h"

AnsiString ZipReplaceSeparator(const AnsiString& text, char from, char to) {
  AnsiString out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(out[i])) && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (out[i] == from) out[i] = to;
  }
  return out;
}

AnsiString ZipStoredNameToText(const std::string& raw, bool utf8) {
  return ZipReplaceSeparator(utf8 ? Utf8ToAnsi(raw) : raw, '\\', '/');
}

size_t ZipLastDelimiter(const AnsiString& path, const char* delimiters) {
  size_t last = AnsiString::npos;
  for (size_t i = 0; i < path.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    for (const char* d = delimiters; *d; ++d)
      if (path[i] == *d) last = i;
  }
  return last;
}

bool ZipSplitSafeName(const AnsiString& name, std::vector<AnsiString>& components, bool& endsWithSeparator) {
  components.clear();
  endsWithSeparator = false;
  if (name.empty() || name.size() > kZipMaxNameLength) return false;
  if (name.find('\0') != AnsiString::npos) return false;
  const AnsiString unified = ZipReplaceSeparator(name, '/', '\\');
  AnsiString part;
  for (size_t i = 0; i < unified.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(unified[i]);
    if (IsLeadByte(c) && i + 1 < unified.size()) {
      part.push_back(unified[i]);
      part.push_back(unified[++i]);
      continue;
    }
    if (c == ':') return false;
    if (c != '\\') {
      part.push_back(static_cast<char>(c));
      continue;
    }
    // A separator: the part before it must be a real component (this also refuses a
    // leading separator, which would make the name absolute).
    if (part.empty() || part == "." || part == "..") return false;
    components.push_back(part);
    part.clear();
  }
  if (part.empty()) {
    endsWithSeparator = true;
    return !components.empty();
  }
  if (part == "." || part == "..") return false;
  components.push_back(part);
  return true;
}

AnsiString ZipExtractFileDrive(const AnsiString& path) {
  if (path.size() >= 2 && path[1] == ':') return path.substr(0, 2);
  const bool share = path.size() >= 2 && (path[0] == '\\' || path[0] == '/') && (path[1] == '\\' || path[1] == '/');
  if (!share) return "";
  // "\\server\share": up to the separator after the share name.
  int separators = 0;
  size_t i = 2;
  for (; i < path.size(); ++i) {
    if (IsLeadByte(static_cast<unsigned char>(path[i])) && i + 1 < path.size()) {
      ++i;
      continue;
    }
    if ((path[i] == '\\' || path[i] == '/') && ++separators == 2) break;
  }
  return path.substr(0, i);
}
