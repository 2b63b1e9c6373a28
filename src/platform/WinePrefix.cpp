#include "platform/WinePrefix.h"

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <vector>

#include "platform/UserFolders.h"
#include "runtime/CodePage.h"

namespace {

TFolderResolution NotUsable(const AnsiString& why) {
  TFolderResolution r;
  r.Why = why;
  return r;
}

TFolderResolution Usable(const AnsiString& folder) {
  TFolderResolution r;
  r.Usable = true;
  r.Folder = folder;
  return r;
}

bool IsSeparator(char c) { return c == '\\' || c == '/'; }

// The "%NAME%" in text, or empty.
AnsiString VariableIn(const AnsiString& text) {
  const size_t open = AnsiFindChar(text, '%');
  if (open == AnsiString::npos) return AnsiString();
  const size_t close = AnsiFindChar(text, '%', open + 1);
  if (close == AnsiString::npos || close == open + 1) return AnsiString();
  return text.substr(open, close - open + 1);
}

// UTF-8 text split at c (empty parts kept).
std::vector<std::string> SplitAt(const std::string& text, char c) {
  std::vector<std::string> parts(1);
  for (char ch : text) {
    if (ch == c) parts.emplace_back();
    else parts.back() += ch;
  }
  return parts;
}

}  // namespace

std::string WinePrefix() {
  std::string prefix = EnvOr("WINEPREFIX", EnvOr("HOME", "") + "/.wine");
  while (prefix.size() > 1 && prefix.back() == '/') prefix.pop_back();
  return prefix;
}

TFolderResolution ResolveRegistryFolder(const AnsiString& text, const std::string& prefix, bool relativeAllowed) {
  if (text.empty()) return NotUsable("no folder is named");
  const AnsiString variable = VariableIn(text);
  if (!variable.empty()) return NotUsable("it holds the variable " + variable + ", which is not expanded");
  if (text.size() >= 2 && IsSeparator(text[0]) && IsSeparator(text[1]))
    return NotUsable("it is a network path, which has no folder on this system");
  if (text[0] == '/') return Usable(text);
  const char letter = static_cast<char>(text[0] | 0x20);
  const bool drive = text.size() >= 2 && text[1] == ':' && letter >= 'a' && letter <= 'z';
  if (!drive) {
    if (relativeAllowed) return Usable(text);
    return NotUsable("it names no drive");
  }
  if (text.size() > 2 && !IsSeparator(text[2])) return NotUsable("it is relative to the current folder of drive " +
                                                                 text.substr(0, 2));
  const std::string link = prefix + "/dosdevices/" + letter + ":";
  char real[PATH_MAX];
  if (!IsDirectory(link) || !::realpath(link.c_str(), real))
    return NotUsable("the Wine prefix " + SysPathToAnsi(prefix) + " has no drive " + text.substr(0, 2));

  // The components as Windows reads them, then each found on disk without case.
  std::vector<std::string> parts;
  for (const std::string& part : SplitAt(AnsiPathToSys(text.substr(std::min<size_t>(3, text.size()))), '/')) {
    if (part.empty() || part == ".") continue;
    if (part == "..") {
      if (!parts.empty()) parts.pop_back();
      continue;
    }
    parts.push_back(part);
  }
  std::string folder = real;
  bool onDisk = true;
  for (const std::string& part : parts) {
    const std::string base = folder == "/" ? std::string() : folder;
    std::string name = part;
    if (onDisk) {
      const std::string found = FindNameWithoutCase(folder, part);
      onDisk = !found.empty();
      if (onDisk) name = found;
    }
    folder = base + "/" + name;
  }
  return Usable(SysPathToAnsi(folder));
}
