#include "support/ZipTools.h"

#include <sys/stat.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

namespace fs = std::filesystem;

int RunTool(const std::string& command) {
  const int status = std::system(command.c_str());
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::string ShellQuote(const std::string& text) {
  std::string out = "'";
  for (char c : text) out += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return out + "'";
}

namespace {

std::map<std::string, fs::path> List(const std::string& root) {
  std::map<std::string, fs::path> entries;
  for (auto& e : fs::recursive_directory_iterator(root)) entries[fs::relative(e.path(), root).string()] = e.path();
  return entries;
}

std::string Content(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

}  // namespace

std::string CompareTrees(const std::string& expected, const std::string& actual) {
  const auto want = List(expected);
  const auto got = List(actual);
  for (const auto& [name, path] : want)
    if (!got.count(name)) return "missing: " + name;
  for (const auto& [name, path] : got)
    if (!want.count(name)) return "unexpected: " + name;
  for (const auto& [name, path] : want) {
    struct stat a {}, b {};
    ::lstat(path.c_str(), &a);
    ::lstat(got.at(name).c_str(), &b);
    if (S_ISDIR(a.st_mode) != S_ISDIR(b.st_mode)) return "kind differs: " + name;
    if (S_ISDIR(a.st_mode)) continue;
    if (Content(path) != Content(got.at(name))) return "content differs: " + name;
    // DOS times have 2-second steps; tools round odd seconds either way.
    if (a.st_mtime - b.st_mtime > 1 || b.st_mtime - a.st_mtime > 1)
      return "time differs: " + name + " " + std::to_string(a.st_mtime) + " vs " + std::to_string(b.st_mtime);
    if ((a.st_mode & S_IWUSR) != (b.st_mode & S_IWUSR)) return "write permission differs: " + name;
  }
  return "";
}
