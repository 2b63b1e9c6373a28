#include "job/Catalogue.h"

#include <algorithm>
#include <string>

#include "runtime/CodePage.h"
#include "runtime/FileIO.h"
#include "runtime/IniFile.h"

namespace Catalogue {

const char* const kCatalogueFileName = "TavroMP3LiveUpdate.ini";
const char* const kSelectionFileName = "user.ini";
const char* const kStoreFolderName = "FirmwareBack";

namespace {
const char* const kSiteRoot = "/TavroMP3LiveUpdate2";
const char* const kSelectionSection = "Main02";

AnsiString FirmwareUrl(const AnsiString& server, const AnsiString& model, const AnsiString& name,
                       const char* ext) {
  return ServerRoot(server) + kSiteRoot + "/Firmware/" + model + "/" + name + ext;
}
}  // namespace

AnsiString ServerRoot(const AnsiString& server) {
  const AnsiString lower = LowerCase(server);
  if (lower.starts_with("https://") || lower.starts_with("http://")) {
    AnsiString root = server;
    while (!root.empty() && root.back() == '/') root.pop_back();
    return root;
  }
  return "http://" + server;
}

AnsiString CatalogueUrl(const AnsiString& server) {
  return ServerRoot(server) + kSiteRoot + "/" + kCatalogueFileName;
}

AnsiString HomePageUrl(const AnsiString& server) { return ServerRoot(server) + kSiteRoot; }

AnsiString ReleaseNotesUrl(const AnsiString& server, const AnsiString& model, const AnsiString& name) {
  return FirmwareUrl(server, model, name, ".asp");
}

AnsiString PackageUrl(const AnsiString& server, const AnsiString& model, const AnsiString& name) {
  return FirmwareUrl(server, model, name, ".zip");
}

AnsiString PackageName(const AnsiString& model, const AnsiString& version) { return model + "_" + version; }

AnsiString StoreFolder(const AnsiString& programFolder) { return programFolder + kStoreFolderName; }

AnsiString StorePath(const AnsiString& programFolder, const AnsiString& name, const AnsiString& ext) {
  return StoreFolder(programFolder) + "\\" + name + ext;
}

bool IsStoreName(const AnsiString& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (ByteTypeAt(name, i) != 0) continue;
    if (name[i] == '/' || name[i] == '\\' || name[i] == '\0') return false;
  }
  return true;
}

void CheckStoreName(const AnsiString& path, const AnsiString& name) {
  if (!IsStoreName(name)) RaiseCreateError(path, "The model or version name holds a folder separator");
}

std::vector<AnsiString> ReadModels(TIniFile& catalogue) {
  std::vector<AnsiString> models;
  catalogue.ReadSections(models);
  return models;
}

std::vector<AnsiString> ReadVersions(TIniFile& catalogue, const AnsiString& model) {
  std::vector<AnsiString> versions;
  catalogue.ReadSection(model, versions);
  return versions;
}

namespace {
// Negative, zero or positive as a is older than, as new as, or newer than b.
int CompareVersions(const AnsiString& a, const AnsiString& b) {
  size_t i = 0, j = 0;
  while (i < a.size() || j < b.size()) {
    const size_t ei = std::min(a.find('.', i), a.size()), ej = std::min(b.find('.', j), b.size());
    const AnsiString pa = i < a.size() ? a.substr(i, ei - i) : "", pb = j < b.size() ? b.substr(j, ej - j) : "";
    const auto digits = [](const AnsiString& p) {
      return !p.empty() && p.size() < 10 && p.find_first_not_of("0123456789") == AnsiString::npos;
    };
    const int order = digits(pa) && digits(pb) ? std::stoi(pa) - std::stoi(pb) : pa.compare(pb);
    if (order != 0) return order;
    i = ei + 1;
    j = ej + 1;
  }
  return 0;
}
}  // namespace

AnsiString NewestVersion(const std::vector<AnsiString>& versions) {
  AnsiString newest;
  for (const AnsiString& version : versions)
    if (newest.empty() || CompareVersions(version, newest) > 0) newest = version;
  return newest;
}

int ReadSelection(TIniFile& selection, const char* key) {
  return selection.ReadInteger(kSelectionSection, key, 0);
}

void WriteSelection(TIniFile& selection, const char* key, int index) {
  selection.WriteInteger(kSelectionSection, key, index);
}

}  // namespace Catalogue
