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

bool ZipSplitSafeName(const AnsiString& name, std::vector<std::string>& sysComponents, bool& endsWithSeparator) {
  sysComponents.clear();
  endsWithSeparator = false;
  if (name.empty() || name.size() > kZipMaxNameLength) return false;
  std::string sys;
  if (name.find('\0') != AnsiString::npos || !TryAnsiToUtf8(name, sys)) return false;
  // In UTF-8 every byte below 0x80 is a character of its own: "/", "\" and ":" here
  // are exactly the separators and drive marks the file system will act on.
  if (sys.find(':') != std::string::npos) return false;
  std::string part;
  for (size_t i = 0; i <= sys.size(); ++i) {
    const bool atEnd = i == sys.size();
    if (!atEnd && sys[i] != '/' && sys[i] != '\\') {
      part.push_back(sys[i]);
      continue;
    }
    // A name ending in a separator, or in ".", names a folder.
    if (atEnd && (part.empty() || part == ".")) {
      endsWithSeparator = true;
      break;
    }
    // An empty part before a separator is a leading separator (an absolute name) or a
    // doubled one.
    if (part.empty() || part == "..") return false;
    if (part != ".") sysComponents.push_back(part);
    part.clear();
  }
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
