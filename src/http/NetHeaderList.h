// TNetHeaderList: an ordered list of header lines with case-insensitive lookup by name,
// unfolding of continuation lines on read and folding of long lines on write.
//
// A continuation line begins with a space or a tab. The name of a line is the text
// before its first colon (upper-cased unless MatchCase); "Content-Length : 5" has a
// name ending in a space and does not match "Content-Length".
#pragma once

#include <vector>

#include "runtime/SysUtils.h"

class TNetHeaderList {
 public:
  explicit TNetHeaderList(int foldLength = 78) : foldLength_(foldLength) {}

  // Plain list operations.
  int Count() const { return static_cast<int>(lines_.size()); }
  const AnsiString& Strings(int i) const { return lines_.at(static_cast<size_t>(i)); }
  void Add(const AnsiString& line) { lines_.push_back(line); }
  void Insert(int i, const AnsiString& line) { lines_.insert(lines_.begin() + i, line); }
  void Delete(int i) { lines_.erase(lines_.begin() + i); }
  void Clear() { lines_.clear(); }
  // Every line followed by CR LF.
  AnsiString Text() const;
  // Replaces the list from text cut at LF (a CR before the LF is dropped).
  void SetText(const AnsiString& text);
  void Assign(const TNetHeaderList& other) { lines_ = other.lines_; }

  AnsiString NameAt(int i) const;
  // Empty when i is out of range; continuation lines joined by one space with UnfoldLines.
  AnsiString ValueAt(int i) const;
  int IndexOfHeader(const AnsiString& name) const;
  AnsiString ValueOf(const AnsiString& name) const { return ValueAt(IndexOfHeader(name)); }
  // Non-empty value: the first line of that name (or a new one at the end) is replaced,
  // folded when FoldLines. Empty value: the first line of that name is deleted.
  void SetValueOf(const AnsiString& name, const AnsiString& value);
  // Appends the value of every line named name, in order.
  void CollectValues(const AnsiString& name, std::vector<AnsiString>& values) const;
  void CollectValues(const AnsiString& name, TNetHeaderList& values) const;

  // Wraps one line at the column limit (see the folding rules in the .cpp); the
  // result's first piece is the line, the others are continuation lines.
  static std::vector<AnsiString> FoldLine(const AnsiString& line, int foldLength);

  AnsiString Separator = ": ";
  bool MatchCase = false;
  bool UnfoldLines = true;
  bool FoldLines = true;
  int FoldLength() const { return foldLength_; }
  void SetFoldLength(int v) { foldLength_ = v; }

 private:
  static bool IsContinuation(const AnsiString& line);
  // Deletes the continuation lines right after line i.
  void DeleteContinuations(int i);

  std::vector<AnsiString> lines_;
  int foldLength_;
};
