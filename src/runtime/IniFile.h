// TIniFile: INI (profile) files with the semantics of the platform's private-profile
// functions, read afresh on every call; each write replaces the whole file atomically.
//
// Reading (the file is taken as ANSI bytes; a UTF-16LE file with its mark is converted,
// a UTF-8 mark is skipped):
// - Lines are trimmed of blanks. "[name]" starts a section (the name is what stands
//   between "[" and the last "]"); a line without "]" is an ordinary line. Other lines
//   are keys: the name is the text before the first "=" (trimmed), the value what
//   follows it; a line without "=" is a key whose name is the whole line and whose
//   value is empty. Empty lines and lines starting with ";" are neither keys nor sections.
// - Section and key names are looked up without regard to case (ASCII letters outside
//   double-byte characters), the first match wins.
// - Name lists come in file order through a buffer of kNameBufferSize bytes holding each
//   name and a NUL, and a closing NUL: names that do not fit whole are lost, and so is
//   every name after them (a cut-off name is never returned).
// - A missing or unreadable file reads as an empty one.
//
// Writing replaces the whole file atomically (see ReplaceFileContent): every other line
// keeps its bytes; the lines written end in CR LF. A failed write raises
// EIniFileException "Unable to write to %s" with the file name.
#pragma once

#include <vector>

#include "runtime/Component.h"

class TIniFile : public TObject {
 public:
  // The buffer sizes of the platform's profile calls.
  static constexpr size_t kNameBufferSize = 16384;
  static constexpr size_t kValueBufferSize = 2048;

  explicit TIniFile(const AnsiString& fileName);

  const AnsiString& FileName() const { return fileName_; }

  // Section names in file order (the list is emptied first).
  void ReadSections(std::vector<AnsiString>& strings) const;
  std::vector<AnsiString> ReadSections() const;
  // Key names of the first section of that name, in file order; values are not read.
  void ReadSection(const AnsiString& section, std::vector<AnsiString>& strings) const;
  std::vector<AnsiString> ReadSection(const AnsiString& section) const;
  bool ValueExists(const AnsiString& section, const AnsiString& ident) const;

  // The key's value with one pair of enclosing quotes (' or ") removed, cut to
  // kValueBufferSize - 1 bytes; fallback when the key is missing.
  AnsiString ReadString(const AnsiString& section, const AnsiString& ident, const AnsiString& fallback) const;
  // The value as an integer: decimal, or hexadecimal after "$", or after "0x"/"0X" when
  // the text is longer than two characters; fallback when missing or not a number.
  int32_t ReadInteger(const AnsiString& section, const AnsiString& ident, int32_t fallback) const;

  // Sets the key's value: an existing key line (first match) is rewritten with its name
  // as it stands; a new key goes after the last key line of the section; a new section
  // goes at the end of the file (created when missing). Names and values holding a line
  // break cannot be written and raise EIniFileException like any failed write.
  void WriteString(const AnsiString& section, const AnsiString& ident, const AnsiString& value);
  void WriteInteger(const AnsiString& section, const AnsiString& ident, int32_t value);

 private:
  AnsiString fileName_;
};
