#include "zip/ZipMasks.h"

#include <vector>

#include "zip/ZipNames.h"

namespace {

char Fold(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

class TMaskMatcher {
 public:
  TMaskMatcher(const AnsiString& name, const AnsiString& mask)
      : name_(name), mask_(mask), failed_((name.size() + 1) * (mask.size() + 1), false) {}

  // One match attempt (the first one, and each one tried for a "*"): name from i against
  // mask from j. At the start of an attempt a rest of exactly "*.*" matches.
  bool Match(size_t i, size_t j) {
    const size_t key = i * (mask_.size() + 1) + j;
    if (failed_[key]) return false;
    if (mask_.compare(j, AnsiString::npos, "*.*") == 0) return true;
    for (;;) {
      if (mask_.compare(j, AnsiString::npos, "*") == 0) return true;
      if (i == name_.size()) break;
      if (j == mask_.size()) break;
      if (mask_[j] == '*') {
        for (size_t k = i; k < name_.size(); ++k)
          if (Match(k, j + 1)) return true;
        break;
      }
      if (mask_[j] != '?' && Fold(mask_[j]) != Fold(name_[i])) break;
      ++i;
      ++j;
    }
    if (i == name_.size() && j == mask_.size()) return true;
    failed_[key] = true;
    return false;
  }

 private:
  const AnsiString& name_;
  const AnsiString& mask_;
  // Positions already known not to match: keeps masks with many "*" from taking
  // exponential time.
  std::vector<bool> failed_;
};

}  // namespace

bool ZipMatchesMask(const AnsiString& name, const AnsiString& mask) {
  if (mask.empty() || mask.size() > kZipMaxMaskLength) return false;
  AnsiString m = mask;
  const size_t star = m.find("*.*");
  if (star != AnsiString::npos) m = m.substr(0, star) + "*" + m.substr(star + 3);
  TMaskMatcher matcher(name, m);
  return matcher.Match(0, 0);
}

bool ZipNameMatches(const AnsiString& storedName, const AnsiString& mask) {
  AnsiString name = storedName;
  if (!name.empty() && name.back() == '/') name.pop_back();
  if (ZipMatchesMask(name, mask)) return true;
  const size_t slash = ZipLastDelimiter(name, "/\\");
  return slash != AnsiString::npos && ZipMatchesMask(name.substr(slash + 1), mask);
}
