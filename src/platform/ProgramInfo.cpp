#include "platform/ProgramInfo.h"

#include <unistd.h>

#include <mutex>
#include <optional>
#include <string>

#include "platform/UserFolders.h"
#include "runtime/CodePage.h"
#include "runtime/PathUtils.h"

#if !defined(TAVRO_VERSION_MAJOR) || !defined(TAVRO_VERSION_MINOR) || !defined(TAVRO_VERSION_PATCH) || \
    !defined(TAVRO_VERSION_TWEAK)
#error "the build passes the program version as TAVRO_VERSION_MAJOR/MINOR/PATCH/TWEAK"
#endif

namespace {

struct State {
  std::mutex lock;
  AnsiString folderOverride;
  bool versionOverridden = false;
  std::optional<TFileVersion> versionOverride;
};

State& Shared() {
  static State state;
  return state;
}

std::string ReadSelfExe() {
  std::string buffer(256, '\0');
  for (;;) {
    ssize_t n = ::readlink("/proc/self/exe", buffer.data(), buffer.size());
    if (n < 0) return std::string();
    if (static_cast<size_t>(n) < buffer.size()) return buffer.substr(0, static_cast<size_t>(n));
    buffer.resize(buffer.size() * 2);
  }
}

}  // namespace

AnsiString ProgramFileName() {
  static const AnsiString name = SysPathToAnsi(ReadSelfExe());
  return name;
}

AnsiString ProgramFolder() {
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    if (!Shared().folderOverride.empty()) return Shared().folderOverride;
  }
  const AnsiString file = ProgramFileName();
  const size_t slash = file.rfind('/');
  return slash == AnsiString::npos ? AnsiString("./") : file.substr(0, slash + 1);
}

const char* const kInstalledMarker = "../share/metainfo/com.tavro.LiveUpdate.metainfo.xml";

AnsiString ChooseDataFolder(const AnsiString& programFolder) {
  const std::string folder = AnsiPathToSys(programFolder);
  const bool installed = ::access((folder + kInstalledMarker).c_str(), F_OK) == 0;
  if (!installed && ::access(folder.c_str(), W_OK) == 0) return programFolder;
  const std::string data = XdgUserFolder("XDG_DATA_HOME", ".local/share") + "/tavro";
  MakeUserFolder(data);
  return SysPathToAnsi(data) + "/";
}

AnsiString DataFolder() {
  static const AnsiString folder = ChooseDataFolder(ProgramFolder());
  return folder;
}

AnsiString ApplicationTitleFromFileName(const AnsiString& fileName) {
  AnsiString title = ExtractFileName(fileName);
  const size_t dot = AnsiFindChar(title, '.');
  if (dot != AnsiString::npos) title.resize(dot);
  if (title.empty()) return title;
  const size_t first = IsDbcsLeadAt(title, 0) ? 2 : 1;
  return title.substr(0, first) + AnsiLowerCase(title.substr(first));
}

AnsiString DefaultApplicationTitle() { return ApplicationTitleFromFileName(ProgramFileName()); }

void SetProgramFolderForTesting(const AnsiString& folder) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Shared().folderOverride = folder;
  if (!folder.empty() && folder.back() != '/' && folder.back() != '\\') Shared().folderOverride += '/';
}

bool GetProgramFileVersion(TFileVersion& version) {
  {
    std::lock_guard<std::mutex> guard(Shared().lock);
    if (Shared().versionOverridden) {
      if (!Shared().versionOverride) return false;
      version = *Shared().versionOverride;
      return true;
    }
  }
  version.Major = TAVRO_VERSION_MAJOR;
  version.Minor = TAVRO_VERSION_MINOR;
  version.Release = TAVRO_VERSION_PATCH;
  version.Build = TAVRO_VERSION_TWEAK;
  return true;
}

void SetProgramFileVersionForTesting(bool present, const TFileVersion& version) {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Shared().versionOverridden = true;
  Shared().versionOverride = present ? std::optional<TFileVersion>(version) : std::nullopt;
}

void ResetProgramFileVersionForTesting() {
  std::lock_guard<std::mutex> guard(Shared().lock);
  Shared().versionOverridden = false;
  Shared().versionOverride.reset();
}
