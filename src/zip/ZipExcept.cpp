#include "zip/ZipExcept.h"

#include "zip/ZipConst.h"

AnsiString ZipFormatText(const char* text, std::initializer_list<TZipFormatArg> args) {
  AnsiString out;
  auto next = args.begin();
  for (const char* p = text; *p; ++p) {
    if (*p != '%' || (p[1] != 's' && p[1] != 'd' && p[1] != '%')) {
      out.push_back(*p);
      continue;
    }
    const char kind = *++p;
    if (kind == '%') {
      out.push_back('%');
      continue;
    }
    if (next == args.end()) continue;
    if (const auto* s = std::get_if<AnsiString>(&*next)) out += s->c_str();
    else out += IntToStr(std::get<int64_t>(*next));
    ++next;
  }
  return out;
}

namespace {

AnsiString Compose(int code, const AnsiString& text, const TComponent* archiver) {
  AnsiString message = text;
  if (archiver && !archiver->Name().empty()) message = Format("%s: %s", archiver->Name().c_str(), text.c_str());
  AnsiString suffix = Format("%5d", code);
  for (char& c : suffix)
    if (c == ' ') c = '0';
  return message + " - Native error: " + suffix;
}

}  // namespace

EZipException::EZipException(int code, const TComponent* archiver)
    : Exception(Compose(code, ZipErrorText(ZipErrorIndexOfCode(code)), archiver)),
      errorCode_(ZipErrorIndexOfCode(code)),
      nativeError_(code) {}

EZipException::EZipException(int code, std::initializer_list<TZipFormatArg> args, const TComponent* archiver)
    : Exception(Compose(code, ZipFormatText(ZipErrorText(ZipErrorIndexOfCode(code)), args), archiver)),
      errorCode_(ZipErrorIndexOfCode(code)),
      nativeError_(code) {
  // The texts that take a text argument name a file or folder with it.
  for (const TZipFormatArg& arg : args) {
    if (const auto* name = std::get_if<AnsiString>(&arg)) {
      SetFileName(*name);
      break;
    }
  }
}
