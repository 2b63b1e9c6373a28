// The catalogue, the selection file, the firmware store, package names and the URLs on
// the update server.
//
// The catalogue "TavroMP3LiveUpdate.ini" lists models as sections and their firmware
// versions as keys, in file order. The selection file "user.ini" keeps the indexes of the
// last choice in section "Main02". The store "FirmwareBack" keeps one ".zip" package
// and one ".htm" release-notes file per package name (model "_" version).
#pragma once

#include <memory>
#include <vector>

#include "runtime/SysUtils.h"

class TIniFile;

namespace Catalogue {

extern const char* const kCatalogueFileName;   // "TavroMP3LiveUpdate.ini"
extern const char* const kSelectionFileName;   // "user.ini"
extern const char* const kStoreFolderName;     // "FirmwareBack"

// The update server is named by a host, optionally with ":port", for plain HTTP, or by
// "https://host[:port]" (or "http://host[:port]"). ServerRoot gives its URL without a
// trailing "/": "http://" + a bare host, the scheme form unchanged. Every URL below
// starts with it, so an https server makes every URL of the program https.
AnsiString ServerRoot(const AnsiString& server);
AnsiString CatalogueUrl(const AnsiString& server);
AnsiString HomePageUrl(const AnsiString& server);
// Release notes (".asp") and package (".zip") of package name N for model M.
AnsiString ReleaseNotesUrl(const AnsiString& server, const AnsiString& model, const AnsiString& name);
AnsiString PackageUrl(const AnsiString& server, const AnsiString& model, const AnsiString& name);

// Model and version joined by "_" without any change.
AnsiString PackageName(const AnsiString& model, const AnsiString& version);
AnsiString StoreFolder(const AnsiString& programFolder);
// programFolder "FirmwareBack\" N ext (ext ".zip" or ".htm").
AnsiString StorePath(const AnsiString& programFolder, const AnsiString& name, const AnsiString& ext);
// A package name that names a file inside the store: a model or version holding a
// folder separator ("/" or "\" as a character of its own) would reach outside it.
bool IsStoreName(const AnsiString& name);
// Raises EFCreateError "Cannot create file "%s". %s" when the name is not a store name.
void CheckStoreName(const AnsiString& path, const AnsiString& name);

// Section names of the catalogue, in file order (empty when the file is missing).
std::vector<AnsiString> ReadModels(TIniFile& catalogue);
// Key names of the model's section, in file order.
std::vector<AnsiString> ReadVersions(TIniFile& catalogue, const AnsiString& model);

// The newest of the versions: dotted parts compared as numbers where both are digits
// ("1.10" after "1.9"), else as text; the first of equal ones. Empty for no versions.
AnsiString NewestVersion(const std::vector<AnsiString>& versions);

// "Main02"/"ComboBox1" and "Main02"/"ComboBox2" (default 0).
int ReadSelection(TIniFile& selection, const char* key);
void WriteSelection(TIniFile& selection, const char* key, int index);

}  // namespace Catalogue
