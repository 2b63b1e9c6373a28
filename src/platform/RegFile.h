// The registry store: a file in the Windows registry export format.
//
// The file starts with the line "REGEDIT4" or "Windows Registry Editor Version 5.00"
// (UTF-8, with or without a byte-order mark, or UTF-16LE with its mark; a file that is
// not valid UTF-8 is read as ANSI). Then key lines "[HKEY_LOCAL_MACHINE\path]" (a key
// "[-...]" is removed with its subkeys) each followed by value lines:
//   "name"="text"        REG_SZ ("\\" and "\"" escaped)
//   @=...                the key's default value (name "")
//   "name"=dword:0000002a  REG_DWORD
//   "name"=hex:01,02     REG_BINARY;  hex(N): type N (hex(2): REG_EXPAND_SZ, hex(7): REG_MULTI_SZ)
//   "name"=-             removes the value
// Hex lists may go on over lines ending in "\". Lines starting with ";" are comments;
// lines that do not parse are skipped. Key paths and value names compare without regard
// to case. A key exists when it or any key below it is listed.
//
// Values are kept as the ANSI registry calls return them: text types as ANSI (936)
// bytes with their NULs. In a version 5.00 file the hex forms of text types hold
// UTF-16LE and are converted; in a REGEDIT4 file they hold ANSI bytes already.
//
// Wine's own registry files (a prefix's system.reg and user.reg) are read too. They start
// with "WINE REGISTRY Version 2" and hold no root names: every key lies below the root key
// the file is loaded for. Wine writes them in ASCII only:
//   [Software\\SigmaTel\\Params] 1796710450   a key: "\\" separates, then a time stamp
//   #time=1dd86db56b9a950                   lines starting with "#" (and ";") carry nothing read here
//   "name"="text"  @="text"                 REG_SZ
//   "name"=str(2):"text"                    text of type N (2: REG_EXPAND_SZ, 7: REG_MULTI_SZ,
//                                           its NULs written "\0")
//   "name"=dword:0000002a  hex:..  hex(N):..  as in the export format; hex forms of text types
//                                           hold UTF-16LE
// Names and texts escape "\\", "\"", "\[", "\]", control characters ("\t", "\n", octal "\0")
// and every character beyond ASCII as "\x" with its UTF-16 code unit in up to four hex
// digits ("\x4e2d"; four whenever a hex digit follows). Characters that code page 936
// lacks become "?".
#pragma once

#include <cstdint>
#include <map>
#include <set>
#include <string>

#include "platform/WinTypes.h"
#include "runtime/SysUtils.h"

constexpr HKEY HKEY_CLASSES_ROOT = 0x80000000u;
constexpr HKEY HKEY_CURRENT_USER = 0x80000001u;
constexpr HKEY HKEY_LOCAL_MACHINE = 0x80000002u;
constexpr HKEY HKEY_USERS = 0x80000003u;
constexpr HKEY HKEY_CURRENT_CONFIG = 0x80000005u;

constexpr uint32_t REG_NONE = 0;
constexpr uint32_t REG_SZ = 1;
constexpr uint32_t REG_EXPAND_SZ = 2;
constexpr uint32_t REG_BINARY = 3;
constexpr uint32_t REG_DWORD = 4;
constexpr uint32_t REG_DWORD_BIG_ENDIAN = 5;
constexpr uint32_t REG_LINK = 6;
constexpr uint32_t REG_MULTI_SZ = 7;
constexpr uint32_t REG_QWORD = 11;

struct TRegValue {
  uint32_t Type = REG_NONE;
  std::string Data;  // raw bytes, text types in ANSI with their terminating NUL(s)
};

class TRegFile {
 public:
  // Parses the file's content; false (and nothing loaded) when the header line is missing.
  // The keys of a Wine registry file are loaded below wineRoot.
  bool Parse(const std::string& content, HKEY wineRoot = HKEY_LOCAL_MACHINE);
  // Reads and parses a file (system path); false when it cannot be read or parsed.
  bool LoadFromFile(const std::string& path, HKEY wineRoot = HKEY_LOCAL_MACHINE);

  // 4 (REGEDIT4), 5 (version 5.00), 2 (Wine's "WINE REGISTRY Version 2") or 0 (nothing parsed).
  int FormatVersion() const { return version_; }
  // path: ANSI, "\"-separated, below the root key; empty steps are ignored ("\a\\b\" is "a\b").
  bool KeyExists(HKEY root, const AnsiString& path) const;
  // Null when the key or the value is missing.
  const TRegValue* FindValue(HKEY root, const AnsiString& path, const AnsiString& name) const;

  // The canonical form of a key path used for lookups: root number, then the steps in
  // upper case, each preceded by "\". Empty when the root is unknown.
  static std::string KeyId(HKEY root, const AnsiString& path);

 private:
  void ParseKeyLine(const std::string& line);
  void ParseValueLine(const std::string& line);
  // Wine's format (RegFileWine.cpp), its keys below root.
  void ParseWineKeyLine(const std::string& line, HKEY root);
  void ParseWineValueLine(const std::string& line);
  // Makes id the current key, listing it and its parents.
  void EnterKey(const std::string& id);

  int version_ = 0;
  std::map<std::string, std::map<std::string, TRegValue>> values_;  // key id -> upper-case name -> value
  std::set<std::string> keys_;                                      // listed keys and all their parents
  std::string current_;                                             // key id of the section being read
};
