#include "support/MinisignTool.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

#include "support/ZipTools.h"

namespace {
std::string Slurp(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void Run(const std::string& command) {
  if (RunTool(command + " >/dev/null 2>&1 </dev/null") != 0) throw std::runtime_error("failed: " + command);
}
}  // namespace

bool HaveMinisign() { return RunTool("command -v minisign >/dev/null") == 0; }

std::string TMinisignPair::PublicText() const { return Slurp(PublicFile); }

std::string TMinisignPair::PublicBase64() const {
  const std::string text = PublicText();
  const size_t line2 = text.find('\n') + 1;
  return text.substr(line2, text.find('\n', line2) - line2);
}

std::string TMinisignPair::Sign(const std::string& file, bool legacy, const std::string& comment) const {
  Run("minisign -S" + std::string(legacy ? " -l" : "") + " -s " + ShellQuote(SecretFile) + " -m " +
      ShellQuote(file) + (comment.empty() ? "" : " -t " + ShellQuote(comment)));
  return Slurp(file + ".minisig");
}

TMinisignPair MakeMinisignPair(const std::string& base) {
  TMinisignPair pair{base + ".pub", base + ".sec"};
  Run("minisign -G -W -f -p " + ShellQuote(pair.PublicFile) + " -s " + ShellQuote(pair.SecretFile));
  return pair;
}
