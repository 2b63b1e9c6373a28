#include "platform/Registry.h"

#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <vector>

#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "platform/WinePrefix.h"
#include "runtime/CodePage.h"
#include "runtime/Exception.h"

namespace {

constexpr REGSAM kExistsRights = STANDARD_RIGHTS_READ | KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS;
// Rights that change the store: need the file writable.
constexpr REGSAM kWriteRights = KEY_SET_VALUE | KEY_CREATE_SUB_KEY | KEY_CREATE_LINK | 0x00010000 /* DELETE */ |
                                0x00040000 /* WRITE_DAC */ | 0x00080000 /* WRITE_OWNER */ |
                                0x40000000 /* GENERIC_WRITE */ | 0x10000000 /* GENERIC_ALL */;

bool InGroup(gid_t gid) {
  if (gid == ::getegid()) return true;
  const int n = ::getgroups(0, nullptr);
  if (n <= 0) return false;
  std::vector<gid_t> groups(static_cast<size_t>(n));
  const int got = ::getgroups(n, groups.data());
  for (int i = 0; i < got; ++i)
    if (groups[static_cast<size_t>(i)] == gid) return true;
  return false;
}

// The permission bits that apply to this process's user: owner, group or others.
// Root gets no exemption here: the bits are the store's statement of its rights.
bool Grants(const std::string& path, bool write) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return false;
  mode_t bits;
  if (st.st_uid == ::geteuid()) bits = write ? S_IWUSR : S_IRUSR;
  else if (InGroup(st.st_gid)) bits = write ? S_IWGRP : S_IRGRP;
  else bits = write ? S_IWOTH : S_IROTH;
  if (!(st.st_mode & bits)) return false;
  if (!write) return true;
  struct statvfs fs {};
  return ::statvfs(path.c_str(), &fs) != 0 || !(fs.f_flag & ST_RDONLY);
}

}  // namespace

TRegistry::TRegistry() = default;

TRegistry::TRegistry(REGSAM access) : access_(access) {}

TRegistry::~TRegistry() { CloseKey(); }

void TRegistry::SetRootKey(HKEY rootKey) {
  CloseKey();
  rootKey_ = rootKey;
}

std::string TRegistry::StoreFileName() {
  const std::string own = XdgUserFolder("XDG_CONFIG_HOME", ".config") + "/tavro/registry.reg";
  if (IsRegularFile(own)) return own;
  for (const std::string& dir : SplitSearchList(EnvOr("XDG_CONFIG_DIRS", "/etc/xdg")))
    if (IsRegularFile(dir + "/tavro/registry.reg")) return dir + "/tavro/registry.reg";
  return std::string();
}

std::vector<TRegistry::TFound> TRegistry::Candidates(const AnsiString& path) const {
  std::vector<TFound> candidates;
  const std::string own = StoreFileName();
  if (!own.empty()) candidates.push_back({nullptr, own, path, SysPathToAnsi(own), false});
  const std::string prefix = WinePrefix();
  const char* wineFile = rootKey_ == HKEY_LOCAL_MACHINE ? "/system.reg" : rootKey_ == HKEY_CURRENT_USER ? "/user.reg" : nullptr;
  if (wineFile) {
    const AnsiString where = "the Wine prefix " + SysPathToAnsi(prefix) + " (" + (wineFile + 1) + ")";
    std::vector<AnsiString> steps;
    for (const AnsiString& step : AnsiSplit(path, '\\'))
      if (!step.empty()) steps.push_back(step);
    if (rootKey_ == HKEY_LOCAL_MACHINE && steps.size() > 1 && SameText(steps[0], "software") &&
        !SameText(steps[1], "Wow6432Node")) {
      AnsiString view = steps[0] + "\\Wow6432Node";
      for (size_t i = 1; i < steps.size(); ++i) view += "\\" + steps[i];
      candidates.push_back({nullptr, prefix + wineFile, view, "the 32-bit view (Wow6432Node) of " + where, true});
    }
    candidates.push_back({nullptr, prefix + wineFile, path, "the plain view of " + where, true});
  }
  return candidates;
}

bool TRegistry::Locate(const AnsiString& path, REGSAM rights, TFound& found) const {
  std::vector<TFound> candidates = Candidates(path);
  std::shared_ptr<const TRegFile> loaded;
  std::string loadedFile;
  for (TFound& candidate : candidates) {
    if (candidate.File != loadedFile) {
      loadedFile = candidate.File;
      loaded.reset();
      auto store = std::make_shared<TRegFile>();
      if (Grants(candidate.File, false) && store->LoadFromFile(candidate.File, rootKey_)) loaded = store;
    }
    if (!loaded || !loaded->KeyExists(rootKey_, candidate.Path)) continue;
    // The file that holds the key decides the rights; no other file is asked then.
    if ((rights & kWriteRights) && !Grants(candidate.File, true)) {
      LogStep("registry: " + path + " found in " + candidate.Source + ", whose file is not writable: no full access");
      return false;
    }
    found = std::move(candidate);
    found.Store = loaded;
    return true;
  }
  return false;
}

AnsiString TRegistry::ResolvePath(const AnsiString& key) const {
  if (!key.empty() && key[0] == '\\') return key;
  return open_.Store ? currentPath_ + "\\" + key : key;
}

bool TRegistry::KeyExists(const AnsiString& key) {
  TFound found;
  if (Locate(ResolvePath(key), kExistsRights, found)) return true;
  const std::string own = StoreFileName();
  LogStep("registry: " + ResolvePath(key) + " not found in " + (own.empty() ? AnsiString("(no registry.reg)") : SysPathToAnsi(own)) +
          " nor in the Wine prefix " + SysPathToAnsi(WinePrefix()));
  return false;
}

bool TRegistry::OpenKey(const AnsiString& key, bool canCreate) {
  (void)canCreate;
  const AnsiString path = ResolvePath(key);
  TFound found;
  if (!Locate(path, access_, found)) return false;
  open_ = std::move(found);
  // Kept as given apart from the leading "\", as the platform reports it.
  currentPath_ = !path.empty() && path[0] == '\\' ? path.substr(1) : path;
  LogStep("registry: " + currentPath_ + " found in " + open_.Source);
  return true;
}

bool TRegistry::OpenKeyReadOnly(const AnsiString& key) {
  const REGSAM saved = access_;
  access_ = KEY_READ;
  const bool opened = OpenKey(key, false);
  access_ = saved;
  return opened;
}

void TRegistry::CloseKey() {
  open_ = TFound();
  currentPath_.clear();
}

const TRegValue* TRegistry::Find(const AnsiString& name) const {
  return open_.Store ? open_.Store->FindValue(rootKey_, open_.Path, name) : nullptr;
}

AnsiString TRegistry::ReadString(const AnsiString& name) const {
  const TRegValue* value = Find(name);
  if (!value || value->Data.empty()) return AnsiString();
  if (value->Type != REG_SZ && value->Type != REG_EXPAND_SZ)
    throw ERegistryException(Format("Invalid data type for '%s'", name.c_str()));
  return value->Data.substr(0, value->Data.find('\0'));
}

AnsiString TRegistry::ReadFolder(const AnsiString& name) const {
  const AnsiString text = ReadString(name);
  if (text.empty()) return text;
  const TFolderResolution folder = ResolveRegistryFolder(text, WinePrefix(), !open_.FromWine);
  if (!folder.Usable) {
    LogStep("registry: \"" + name + "\" is \"" + text + "\", which cannot be used as a folder: " + folder.Why);
    return AnsiString();
  }
  LogStep("registry: \"" + name + "\" is \"" + text + "\", the folder \"" + folder.Folder + "\"");
  return folder.Folder;
}

int32_t TRegistry::ReadInteger(const AnsiString& name) const {
  const TRegValue* value = Find(name);
  if (!value) throw ERegistryException(Format("Failed to get data for '%s'", name.c_str()));
  if (value->Type != REG_DWORD || value->Data.size() != 4)
    throw ERegistryException(Format("Invalid data type for '%s'", name.c_str()));
  uint32_t number = 0;
  for (int b = 3; b >= 0; --b) number = (number << 8) | static_cast<unsigned char>(value->Data[static_cast<size_t>(b)]);
  return static_cast<int32_t>(number);
}
