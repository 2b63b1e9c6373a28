// TRegistry: reads keys and values of the registry store (see RegFile.h for the format).
//
// The store is $XDG_CONFIG_HOME/tavro/registry.reg (default ~/.config), else the first
// tavro/registry.reg found under the folders of $XDG_CONFIG_DIRS (default /etc/xdg).
// Rights come from the store file's permission bits for this process's user (also when
// that user is root, so a store marked read-only stays read-only): read rights need the
// file to be readable, any right that changes something (KEY_SET_VALUE,
// KEY_CREATE_SUB_KEY, ...) needs it writable too, on a file system mounted read-write.
// The store is read afresh by every KeyExists and OpenKey; an open key keeps the values
// it saw when it was opened. Keys are never created or changed through this object.
//
// A key that the store file does not hold (or no store file at all) is looked for in the
// registry of the Wine prefix (WinePrefix.h): its system.reg for HKEY_LOCAL_MACHINE, its
// user.reg for HKEY_CURRENT_USER. There a key below "Software\" of HKEY_LOCAL_MACHINE is
// seen first in the 32-bit view, "Software\Wow6432Node\...", where a 32-bit installer puts
// it on a 64-bit prefix (this program is a 32-bit one), then as named. The rights come from
// the permission bits of the file in which the key was found.
#pragma once

#include <memory>
#include <vector>

#include "platform/RegFile.h"
#include "runtime/Component.h"

// Access rights, as the platform numbers them.
constexpr REGSAM KEY_QUERY_VALUE = 0x0001;
constexpr REGSAM KEY_SET_VALUE = 0x0002;
constexpr REGSAM KEY_CREATE_SUB_KEY = 0x0004;
constexpr REGSAM KEY_ENUMERATE_SUB_KEYS = 0x0008;
constexpr REGSAM KEY_NOTIFY = 0x0010;
constexpr REGSAM KEY_CREATE_LINK = 0x0020;
constexpr REGSAM STANDARD_RIGHTS_READ = 0x00020000;
constexpr REGSAM KEY_READ = 0x00020019;
constexpr REGSAM KEY_WRITE = 0x00020006;
constexpr REGSAM KEY_ALL_ACCESS = 0x000F003F;

enum TRegDataType { rdUnknown, rdString, rdExpandString, rdInteger, rdBinary };

class TRegistry : public TObject {
 public:
  // Root key HKEY_CURRENT_USER, access KEY_ALL_ACCESS.
  TRegistry();
  explicit TRegistry(REGSAM access);
  ~TRegistry() override;

  HKEY RootKey() const { return rootKey_; }
  // Closes the open key, if any.
  void SetRootKey(HKEY rootKey);
  REGSAM Access() const { return access_; }
  void SetAccess(REGSAM access) { access_ = access; }
  // The open key's path below the root ("software\x\y"), as given; empty when none is open.
  const AnsiString& CurrentPath() const { return currentPath_; }

  // True when the key can be opened with read rights (STANDARD_RIGHTS_READ |
  // KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, 0x20009). The open key is not changed.
  bool KeyExists(const AnsiString& key);
  // Opens the key with Access() rights and makes it the current key. A key starting with
  // "\" is a path from the root key, other keys are relative to the current key (the root
  // when none is open). A trailing "\" and doubled "\" do not matter. canCreate: a missing
  // key is not created here (the store is read-only for the program), so the result is
  // false either way. False when the key is missing or the rights are refused.
  bool OpenKey(const AnsiString& key, bool canCreate);
  bool OpenKeyReadOnly(const AnsiString& key);
  void CloseKey();

  // The text of a REG_SZ or REG_EXPAND_SZ value (taken unchanged, no variables expanded),
  // cut at its first NUL; "" when the value is missing or empty (or no key is open). Any
  // other type raises ERegistryException "Invalid data type for '%s'" (the value name).
  AnsiString ReadString(const AnsiString& name) const;
  // A text value (as ReadString) that names a folder, as this system names it
  // (ResolveRegistryFolder in WinePrefix.h): drive paths resolve through the Wine prefix's
  // drives; a relative path is kept as the store file's explicit setting, and refused
  // from Wine's registry. "" when the value is missing or empty or names no usable folder.
  // The log tells both forms of the folder, or why it cannot be used.
  AnsiString ReadFolder(const AnsiString& name) const;
  // A REG_DWORD value; ERegistryException "Invalid data type for '%s'" for other types,
  // "Failed to get data for '%s'" for a missing value.
  int32_t ReadInteger(const AnsiString& name) const;

  // Where the open key was found, for the log: the store file, or the view and the Wine
  // prefix; empty when no key is open.
  const AnsiString& KeySource() const { return open_.Source; }

  // The store file in use (system path); empty when none exists.
  static std::string StoreFileName();

 private:
  struct TFound {
    std::shared_ptr<const TRegFile> Store;
    std::string File;       // system path of the file that holds the key
    AnsiString Path;        // the key's path in that file (with "Wow6432Node" for the 32-bit view)
    AnsiString Source;      // see KeySource
    bool FromWine = false;
  };
  // Where the key is looked for, in order (see above).
  std::vector<TFound> Candidates(const AnsiString& path) const;
  // The first file that holds the key and grants the rights; false otherwise.
  bool Locate(const AnsiString& path, REGSAM rights, TFound& found) const;
  AnsiString ResolvePath(const AnsiString& key) const;
  const TRegValue* Find(const AnsiString& name) const;

  HKEY rootKey_ = HKEY_CURRENT_USER;
  REGSAM access_ = KEY_ALL_ACCESS;
  TFound open_;  // the store as seen when the current key was opened
  AnsiString currentPath_;
};
