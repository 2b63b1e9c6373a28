#include "runtime/IniFile.h"

#include "runtime/CodePage.h"
#include "runtime/Exception.h"
#include "runtime/FileUtils.h"

namespace {

const char kUtf8Mark[] = "\xEF\xBB\xBF";
const char kUtf16Mark[] = "\xFF\xFE";

enum class LineKind { kOther, kSection, kKey };

struct IniLine {
  std::string raw;  // as in the file, with its line end
  LineKind kind = LineKind::kOther;
  AnsiString name;
  AnsiString value;
};

// The file as read, split into lines, and how to write it back.
struct IniText {
  std::string mark;  // byte-order mark found at the start ("" for none)
  std::vector<IniLine> lines;
};

IniLine ParseLine(std::string raw) {
  IniLine line;
  line.raw = std::move(raw);
  const AnsiString text = Trim(line.raw);
  if (text.empty() || text[0] == ';') return line;
  if (text[0] == '[') {
    const size_t close = AnsiFindLastChar(text, ']');
    if (close != AnsiString::npos) {
      line.kind = LineKind::kSection;
      line.name = text.substr(1, close - 1);
      return line;
    }
  }
  line.kind = LineKind::kKey;
  const size_t eq = text.find('=');  // '=' is never the trail byte of a double-byte character
  line.name = TrimRight(text.substr(0, eq));
  if (eq != AnsiString::npos) line.value = TrimLeft(text.substr(eq + 1));
  return line;
}

IniText Parse(const std::string& content) {
  IniText ini;
  std::string text = content;
  if (text.compare(0, 2, kUtf16Mark) == 0) {
    ini.mark = kUtf16Mark;
    text = Utf16LeToAnsi(text.substr(2));
  } else if (text.compare(0, 3, kUtf8Mark) == 0) {
    ini.mark = kUtf8Mark;
    text.erase(0, 3);
  }
  size_t start = 0;
  while (start < text.size()) {
    const size_t nl = text.find('\n', start);
    const size_t end = nl == std::string::npos ? text.size() : nl + 1;
    ini.lines.push_back(ParseLine(text.substr(start, end - start)));
    start = end;
  }
  return ini;
}

IniText Load(const AnsiString& fileName) {
  try {
    return Parse(ReadFileContent(fileName));
  } catch (const EFOpenError&) {
    return IniText();
  }
}

// Index of the first section line of that name; npos when missing.
size_t FindSection(const IniText& ini, const AnsiString& section) {
  for (size_t i = 0; i < ini.lines.size(); ++i)
    if (ini.lines[i].kind == LineKind::kSection && AnsiSameText(ini.lines[i].name, section)) return i;
  return std::string::npos;
}

// One past the last line of the section that starts at index.
size_t SectionEnd(const IniText& ini, size_t index) {
  size_t i = index + 1;
  while (i < ini.lines.size() && ini.lines[i].kind != LineKind::kSection) ++i;
  return i;
}

size_t FindKey(const IniText& ini, const AnsiString& section, const AnsiString& ident) {
  const size_t s = FindSection(ini, section);
  if (s == std::string::npos) return s;
  for (size_t i = s + 1, end = SectionEnd(ini, s); i < end; ++i)
    if (ini.lines[i].kind == LineKind::kKey && AnsiSameText(ini.lines[i].name, ident)) return i;
  return std::string::npos;
}

// Fills the list as the platform's name buffer would be filled: each name with its NUL,
// and a closing NUL. An empty name would end the list early there; it is skipped.
void FillNames(const std::vector<AnsiString>& names, std::vector<AnsiString>& strings) {
  strings.clear();
  size_t used = 1;
  for (const AnsiString& name : names) {
    if (name.empty()) continue;
    if (used + name.size() + 1 > TIniFile::kNameBufferSize) break;
    used += name.size() + 1;
    strings.push_back(name);
  }
}

bool HasLineBreak(const AnsiString& text) { return text.find_first_of("\r\n") != AnsiString::npos; }

void EnsureLineEnd(IniLine& line) {
  if (line.raw.empty() || line.raw.back() != '\n') line.raw += "\r\n";
}

}  // namespace

TIniFile::TIniFile(const AnsiString& fileName) : fileName_(fileName) {}

void TIniFile::ReadSections(std::vector<AnsiString>& strings) const {
  std::vector<AnsiString> names;
  for (const IniLine& line : Load(fileName_).lines)
    if (line.kind == LineKind::kSection) names.push_back(line.name);
  FillNames(names, strings);
}

std::vector<AnsiString> TIniFile::ReadSections() const {
  std::vector<AnsiString> strings;
  ReadSections(strings);
  return strings;
}

void TIniFile::ReadSection(const AnsiString& section, std::vector<AnsiString>& strings) const {
  const IniText ini = Load(fileName_);
  std::vector<AnsiString> names;
  const size_t s = FindSection(ini, section);
  if (s != std::string::npos)
    for (size_t i = s + 1, end = SectionEnd(ini, s); i < end; ++i)
      if (ini.lines[i].kind == LineKind::kKey) names.push_back(ini.lines[i].name);
  FillNames(names, strings);
}

std::vector<AnsiString> TIniFile::ReadSection(const AnsiString& section) const {
  std::vector<AnsiString> strings;
  ReadSection(section, strings);
  return strings;
}

bool TIniFile::ValueExists(const AnsiString& section, const AnsiString& ident) const {
  return FindKey(Load(fileName_), section, ident) != std::string::npos;
}

AnsiString TIniFile::ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& fallback) const {
  const IniText ini = Load(fileName_);
  const size_t k = FindKey(ini, section, ident);
  AnsiString value = k == std::string::npos ? TrimRight(fallback) : ini.lines[k].value;
  if (value.size() >= 2 && (value[0] == '"' || value[0] == '\'') && value.back() == value[0])
    value = value.substr(1, value.size() - 2);
  if (value.size() > kValueBufferSize - 1) {
    value.resize(kValueBufferSize - 1);
    // Never leave half of a double-byte character at the end.
    if (IsDbcsLeadAt(value, value.size() - 1)) value.pop_back();
  }
  return value;
}

int32_t TIniFile::ReadInteger(const AnsiString& section, const AnsiString& ident, int32_t fallback) const {
  AnsiString text = ReadString(section, ident, "");
  if (text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X')) text = "$" + text.substr(2);
  return StrToIntDef(text, fallback);
}

namespace {

[[noreturn]] void RaiseWriteError(const AnsiString& fileName) {
  EIniFileException e(Format("Unable to write to %s", fileName.c_str()));
  e.SetFileName(fileName);
  throw e;
}

void Save(const AnsiString& fileName, const IniText& ini) {
  std::string text;
  for (const IniLine& line : ini.lines) text += line.raw;
  std::string content = ini.mark == kUtf16Mark ? ini.mark + AnsiToUtf16Le(text) : ini.mark + text;
  try {
    ReplaceFileContent(fileName, content.data(), static_cast<int64_t>(content.size()));
  } catch (const Exception&) {
    RaiseWriteError(fileName);
  }
}

// The file as it stands, for a change; a file that exists but cannot be read cannot be
// changed without losing what it holds.
IniText LoadForChange(const AnsiString& fileName) {
  try {
    return Parse(ReadFileContent(fileName));
  } catch (const EFOpenError&) {
    if (FileExists(fileName) || DirectoryExists(fileName))
      RaiseWriteError(fileName);
    return IniText();
  }
}

}  // namespace

void TIniFile::WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value) {
  if (HasLineBreak(section) || HasLineBreak(ident) || HasLineBreak(value) || ident.find('=') != AnsiString::npos)
    RaiseWriteError(fileName_);
  IniText ini = LoadForChange(fileName_);
  const size_t k = FindKey(ini, section, ident);
  if (k != std::string::npos) {
    ini.lines[k] = ParseLine(ini.lines[k].name + "=" + value + "\r\n");
  } else {
    size_t s = FindSection(ini, section);
    size_t at;
    if (s == std::string::npos) {
      if (!ini.lines.empty()) EnsureLineEnd(ini.lines.back());
      ini.lines.push_back(ParseLine("[" + section + "]\r\n"));
      at = ini.lines.size();
    } else {
      // After the section's last key (blank lines and comments before the next section stay below it).
      at = s + 1;
      for (size_t i = s + 1, end = SectionEnd(ini, s); i < end; ++i)
        if (ini.lines[i].kind == LineKind::kKey) at = i + 1;
      EnsureLineEnd(ini.lines[at - 1]);
    }
    ini.lines.insert(ini.lines.begin() + static_cast<std::ptrdiff_t>(at), ParseLine(ident + "=" + value + "\r\n"));
  }
  Save(fileName_, ini);
}

void TIniFile::WriteInteger(const AnsiString& section, const AnsiString& ident, int32_t value) {
  WriteString(section, ident, IntToStr(value));
}
