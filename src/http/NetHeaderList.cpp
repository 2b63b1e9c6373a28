#include "http/NetHeaderList.h"

#include "runtime/CodePage.h"

namespace {

const char kBreakText[] = "\r\n ";

bool IsBreakByte(char c) { return c == '\t' || c == ' ' || c == ','; }

}  // namespace

AnsiString TNetHeaderList::Text() const {
  AnsiString r;
  for (const AnsiString& l : lines_) r += l + "\r\n";
  return r;
}

void TNetHeaderList::SetText(const AnsiString& text) {
  lines_.clear();
  size_t start = 0;
  while (start < text.size()) {
    size_t lf = text.find('\n', start);
    if (lf == AnsiString::npos) lf = text.size();
    AnsiString line = text.substr(start, lf - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines_.push_back(line);
    start = lf + 1;
  }
}

bool TNetHeaderList::IsContinuation(const AnsiString& line) {
  return !line.empty() && (line[0] == ' ' || line[0] == '\t');
}

AnsiString TNetHeaderList::NameAt(int i) const {
  if (i < 0 || i >= Count()) return "";
  const AnsiString& line = lines_[static_cast<size_t>(i)];
  const AnsiString colon = TrimRight(Separator);
  const size_t p = colon.empty() ? AnsiString::npos : line.find(colon);
  if (p == AnsiString::npos) return "";
  return MatchCase ? line.substr(0, p) : UpperCase(line.substr(0, p));
}

AnsiString TNetHeaderList::ValueAt(int i) const {
  if (i < 0 || i >= Count()) return "";
  const AnsiString& line = lines_[static_cast<size_t>(i)];
  const AnsiString colon = TrimRight(Separator);
  const size_t p = colon.empty() ? AnsiString::npos : line.find(colon);
  AnsiString value = p == AnsiString::npos ? line : line.substr(p + colon.size());
  if (UnfoldLines)
    for (size_t j = static_cast<size_t>(i) + 1; j < lines_.size() && IsContinuation(lines_[j]); ++j) {
      // Appended in place: rebuilding the value per line would copy it once per line.
      while (!value.empty() && static_cast<unsigned char>(value.back()) <= ' ') value.pop_back();
      value += ' ';
      value += Trim(lines_[j]);
    }
  return Trim(value);
}

int TNetHeaderList::IndexOfHeader(const AnsiString& name) const {
  const AnsiString wanted = MatchCase ? name : UpperCase(name);
  for (int i = 0; i < Count(); ++i)
    if (NameAt(i) == wanted && !IsContinuation(lines_[static_cast<size_t>(i)])) return i;
  return -1;
}

void TNetHeaderList::DeleteContinuations(int i) {
  const auto next = lines_.begin() + i + 1;
  auto end = next;
  while (end != lines_.end() && IsContinuation(*end)) ++end;
  lines_.erase(next, end);
}

void TNetHeaderList::SetValueOf(const AnsiString& name, const AnsiString& value) {
  int i = IndexOfHeader(name);
  if (value.empty()) {
    if (i < 0) return;
    if (FoldLines) DeleteContinuations(i);
    Delete(i);
    return;
  }
  if (i < 0) {
    lines_.emplace_back();
    i = Count() - 1;
  }
  const AnsiString line = name + Separator + value;
  if (!FoldLines) {
    lines_[static_cast<size_t>(i)] = line;
    return;
  }
  DeleteContinuations(i);
  const std::vector<AnsiString> pieces = FoldLine(line, foldLength_);
  lines_[static_cast<size_t>(i)] = pieces[0];
  lines_.insert(lines_.begin() + i + 1, pieces.begin() + 1, pieces.end());
}

void TNetHeaderList::CollectValues(const AnsiString& name, std::vector<AnsiString>& values) const {
  const AnsiString wanted = MatchCase ? name : UpperCase(name);
  for (int i = 0; i < Count(); ++i)
    if (!IsContinuation(lines_[static_cast<size_t>(i)]) && NameAt(i) == wanted) values.push_back(ValueAt(i));
}

void TNetHeaderList::CollectValues(const AnsiString& name, TNetHeaderList& values) const {
  std::vector<AnsiString> found;
  CollectValues(name, found);
  for (const AnsiString& v : found) values.Add(v);
}

// Wraps with the break text CR LF SP at tab, space or comma outside double quotes.
// A piece is emitted once the column passes the limit and a break position lies
// inside the piece; a break text already in the line is kept as a break.
std::vector<AnsiString> TNetHeaderList::FoldLine(const AnsiString& line, int foldLength) {
  const size_t breakLen = sizeof(kBreakText) - 1;
  const bool hasBreak = line.find(kBreakText) != AnsiString::npos;
  AnsiString folded;
  if (static_cast<int64_t>(line.size()) <= foldLength && !hasBreak) {
    folded = line;
  } else {
    // 1-based positions as the rules are stated; line[pos - 1] is the byte at pos.
    const size_t len = line.size();
    size_t pos = 1, lineStart = 1, breakPos = 0;
    int64_t col = 1;
    bool quoted = false;
    while (pos <= len) {
      bool existingBreak = false;
      const char c = line[pos - 1];
      if (IsLeadByte(static_cast<unsigned char>(c)) && pos < len) {
        ++pos;
        ++col;
      } else if (c == kBreakText[0] && !quoted && line.compare(pos - 1, breakLen, kBreakText) == 0) {
        pos += breakLen - 1;
        breakPos = pos;
        existingBreak = true;
      } else if (IsBreakByte(c) && !quoted) {
        breakPos = pos;
      } else if (c == '"') {
        quoted = !quoted;
      }
      ++pos;
      ++col;
      if (!quoted && (existingBreak || (col > foldLength && breakPos > lineStart))) {
        col = static_cast<int64_t>(pos - breakPos);
        folded += line.substr(lineStart - 1, breakPos - lineStart + 1);
        if (c != '"')
          while (pos <= len && (IsBreakByte(line[pos - 1]) || line[pos - 1] == '\r' || line[pos - 1] == '\n')) ++pos;
        if (!existingBreak && pos < len) folded += kBreakText;
        lineStart = ++breakPos;
      }
    }
    if (lineStart <= len) folded += line.substr(lineStart - 1);
  }
  std::vector<AnsiString> pieces;
  size_t start = 0;
  for (;;) {
    const size_t crlf = folded.find("\r\n", start);
    pieces.push_back(TrimRight(folded.substr(start, crlf == AnsiString::npos ? AnsiString::npos : crlf - start)));
    if (crlf == AnsiString::npos) break;
    start = crlf + 2;
  }
  return pieces;
}
