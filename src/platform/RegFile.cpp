#include "platform/RegFile.h"

#include "platform/RegFileParts.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "runtime/CodePage.h"

namespace {

struct RootName {
  const char* name;
  const char* shortName;
  HKEY key;
};
constexpr RootName kRoots[] = {
    {"HKEY_CLASSES_ROOT", "HKCR", HKEY_CLASSES_ROOT},   {"HKEY_CURRENT_USER", "HKCU", HKEY_CURRENT_USER},
    {"HKEY_LOCAL_MACHINE", "HKLM", HKEY_LOCAL_MACHINE}, {"HKEY_USERS", "HKU", HKEY_USERS},
    {"HKEY_CURRENT_CONFIG", "HKCC", HKEY_CURRENT_CONFIG},
};

HKEY RootOf(const AnsiString& name) {
  for (const RootName& r : kRoots)
    if (SameText(name, r.name) || SameText(name, r.shortName)) return r.key;
  return 0;
}

// The file's text as ANSI: UTF-16LE (with its mark) and valid UTF-8 are converted.
std::string DecodeToAnsi(const std::string& content) {
  if (content.size() >= 2 && static_cast<unsigned char>(content[0]) == 0xFF &&
      static_cast<unsigned char>(content[1]) == 0xFE)
    return Utf16LeToAnsi(content.substr(2));
  std::string text = content;
  if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
  return IsValidUtf8(text) ? Utf8ToAnsi(text) : text;
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  return lines;
}

// Reads a quoted text starting at text[pos] == '"'; pos ends after the closing quote.
bool ParseQuoted(const std::string& text, size_t& pos, std::string& out) {
  out.clear();
  for (size_t i = pos + 1; i < text.size(); ++i) {
    const char c = text[i];
    if (IsLeadByte(static_cast<unsigned char>(c)) && i + 1 < text.size()) {
      out += c;
      out += text[++i];
    } else if (c == '\\' && i + 1 < text.size()) {
      out += text[++i];
    } else if (c == '"') {
      pos = i + 1;
      return true;
    } else {
      out += c;
    }
  }
  return false;
}

// The key id names the key itself or one of its subkeys (the "\\" after it must be a
// separator, not the trail byte of a double-byte character).
bool IsSameOrBelow(const std::string& candidate, const std::string& id) {
  if (candidate.compare(0, id.size(), id) != 0) return false;
  return candidate.size() == id.size() ||
         (candidate[id.size()] == '\\' && ByteTypeAt(candidate, id.size()) == 0);
}

}  // namespace

std::string TRegFile::KeyId(HKEY root, const AnsiString& path) {
  if (root == 0) return std::string();
  char rootText[24];
  std::snprintf(rootText, sizeof rootText, "%08lX", static_cast<unsigned long>(root));
  std::string id = rootText;
  for (const AnsiString& step : AnsiSplit(path, '\\'))
    if (!step.empty()) id += "\\" + AnsiUpperCase(step);
  return id;
}

bool TRegFile::Parse(const std::string& content, HKEY wineRoot) {
  version_ = 0;
  values_.clear();
  keys_.clear();
  current_.clear();
  const std::vector<std::string> lines = SplitLines(DecodeToAnsi(content));
  size_t i = 0;
  while (i < lines.size() && Trim(lines[i]).empty()) ++i;
  if (i == lines.size()) return false;
  const std::string header = Trim(lines[i]);
  if (header == "REGEDIT4") version_ = 4;
  else if (header == "Windows Registry Editor Version 5.00") version_ = 5;
  else if (header == "WINE REGISTRY Version 2") version_ = 2;
  else return false;

  for (++i; i < lines.size(); ++i) {
    std::string line = TrimLeft(lines[i]);
    if (line.empty() || line[0] == ';' || (version_ == 2 && line[0] == '#')) continue;
    if (line[0] == '[') {
      if (version_ == 2) ParseWineKeyLine(TrimRight(line), wineRoot);
      else ParseKeyLine(TrimRight(line));
      continue;
    }
    // A hex list goes on over the next lines while a line ends in "\".
    while (TrimRight(line).size() > 0 && TrimRight(line).back() == '\\' && i + 1 < lines.size() &&
           AnsiFindText("=hex", line) != std::string::npos) {
      line = TrimRight(line);
      line.pop_back();
      line += TrimLeft(lines[++i]);
    }
    if (version_ == 2) ParseWineValueLine(TrimRight(line));
    else ParseValueLine(TrimRight(line));
  }
  current_.clear();
  return true;
}

bool TRegFile::LoadFromFile(const std::string& path, HKEY wineRoot) {
  std::ifstream in(path, std::ios::binary);
  if (!in) return false;
  std::string content((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  if (in.bad()) return false;
  return Parse(content, wineRoot);
}

void TRegFile::ParseKeyLine(const std::string& line) {
  current_.clear();
  if (line.size() < 2 || line.back() != ']') return;
  std::string path = line.substr(1, line.size() - 2);
  const bool remove = !path.empty() && path[0] == '-';
  if (remove) path.erase(0, 1);
  const size_t slash = AnsiFindChar(path, '\\');
  const HKEY root = RootOf(path.substr(0, slash));
  const std::string id = KeyId(root, slash == std::string::npos ? std::string() : path.substr(slash + 1));
  if (id.empty()) return;
  if (remove) {
    for (auto it = keys_.begin(); it != keys_.end();) it = IsSameOrBelow(*it, id) ? keys_.erase(it) : std::next(it);
    for (auto it = values_.begin(); it != values_.end();)
      it = IsSameOrBelow(it->first, id) ? values_.erase(it) : std::next(it);
    return;
  }
  EnterKey(id);
}

void TRegFile::EnterKey(const std::string& id) {
  current_ = id;
  for (size_t at = AnsiFindChar(id, '\\'); at != std::string::npos; at = AnsiFindChar(id, '\\', at + 1))
    keys_.insert(id.substr(0, at));
  keys_.insert(id);
}

void TRegFile::ParseValueLine(const std::string& line) {
  if (current_.empty()) return;
  std::string name;
  size_t pos = 0;
  if (line[0] == '@') pos = 1;
  else if (line[0] != '"' || !ParseQuoted(line, pos, name)) return;
  while (pos < line.size() && (line[pos] == ' ' || line[pos] == '\t')) ++pos;
  if (pos >= line.size() || line[pos] != '=') return;
  const std::string data = TrimLeft(line.substr(pos + 1));
  const std::string upperName = AnsiUpperCase(name);
  std::map<std::string, TRegValue>& values = values_[current_];

  TRegValue value;
  if (data == "-") {
    values.erase(upperName);
    return;
  }
  if (!data.empty() && data[0] == '"') {
    size_t end = 0;
    if (!ParseQuoted(data, end, value.Data)) return;
    value.Type = REG_SZ;
    value.Data += '\0';
  } else if (!ParseBinaryForm(data, version_ == 5, value)) {
    return;
  }
  values[upperName] = std::move(value);
}

bool TRegFile::KeyExists(HKEY root, const AnsiString& path) const {
  const std::string id = KeyId(root, path);
  // A root key always exists.
  return !id.empty() && (id.find('\\') == std::string::npos || keys_.count(id) > 0);
}

const TRegValue* TRegFile::FindValue(HKEY root, const AnsiString& path, const AnsiString& name) const {
  const auto key = values_.find(KeyId(root, path));
  if (key == values_.end()) return nullptr;
  const auto value = key->second.find(AnsiUpperCase(name));
  return value == key->second.end() ? nullptr : &value->second;
}
