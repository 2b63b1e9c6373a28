#include "runtime/PathUtils.h"

#include "runtime/CodePage.h"

namespace {

// Index of the last separator outside double-byte characters; npos when none.
size_t LastDelimiter(const AnsiString& path) {
  const size_t back = AnsiFindLastChar(path, '\\');
  const size_t slash = AnsiFindLastChar(path, '/');
  if (back == AnsiString::npos) return slash;
  if (slash == AnsiString::npos) return back;
  return back > slash ? back : slash;
}

// Index of the "." starting the extension of the name part; npos when none.
size_t ExtensionStart(const AnsiString& path) {
  const size_t delimiter = LastDelimiter(path);
  const size_t nameStart = delimiter == AnsiString::npos ? 0 : delimiter + 1;
  const size_t dot = AnsiFindLastChar(path, '.');
  return dot != AnsiString::npos && dot >= nameStart ? dot : AnsiString::npos;
}

}  // namespace

bool IsPathDelimiter(const AnsiString& path, size_t index) {
  return index < path.size() && (path[index] == '\\' || path[index] == '/') && ByteTypeAt(path, index) == 0;
}

AnsiString IncludeTrailingPathDelimiter(const AnsiString& path) {
  if (!path.empty() && IsPathDelimiter(path, path.size() - 1)) return path;
  return path + PathDelim;
}

AnsiString ExcludeTrailingPathDelimiter(const AnsiString& path) {
  AnsiString result = path;
  while (result.size() > 1 && IsPathDelimiter(result, result.size() - 1)) result.pop_back();
  return result;
}

AnsiString ExtractFilePath(const AnsiString& path) {
  const size_t delimiter = LastDelimiter(path);
  return delimiter == AnsiString::npos ? AnsiString() : path.substr(0, delimiter + 1);
}

AnsiString ExtractFileDir(const AnsiString& path) {
  const size_t delimiter = LastDelimiter(path);
  if (delimiter == AnsiString::npos) return AnsiString();
  return delimiter == 0 ? path.substr(0, 1) : path.substr(0, delimiter);
}

AnsiString ExtractFileName(const AnsiString& path) {
  const size_t delimiter = LastDelimiter(path);
  return delimiter == AnsiString::npos ? path : path.substr(delimiter + 1);
}

AnsiString ExtractFileExt(const AnsiString& path) {
  const size_t dot = ExtensionStart(path);
  return dot == AnsiString::npos ? AnsiString() : path.substr(dot);
}

AnsiString ChangeFileExt(const AnsiString& path, const AnsiString& ext) {
  const size_t dot = ExtensionStart(path);
  return (dot == AnsiString::npos ? path : path.substr(0, dot)) + ext;
}
