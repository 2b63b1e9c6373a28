// What the commands share: their invocation, the client they fetch with (its progress on
// the terminal, Ctrl-C on its connection), the store's lock, and the catalogue.
#pragma once

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/Terminal.h"
#include "job/AppSettings.h"
#include "runtime/SysUtils.h"

class TIniFile;
class TNamedMutex;
class TNetHTTP;
class TPackageDownload;

struct TInvocation {
  std::vector<std::string> Args;  // the operands, UTF-8 as typed
  std::map<std::string, std::string> Options;  // long names ("--yes" for -y), with their values
  TAppSettings Settings;
  bool Has(const char* option) const { return Options.count(option) != 0; }
  std::string Value(const char* option) const { return Has(option) ? Options.at(option) : ""; }
};

// The client of a command, configured as the window's; Ctrl-C closes its connection.
std::shared_ptr<TNetHTTP> MakeClient(const TAppSettings& settings);
// Shows a download's progress (the client's work events).
void ShowProgress(TNetHTTP& client, TPackageDownload& download, TTerminalProgress& progress);
// The progress the options ask for (--progress-json, --quiet), else the terminal's.
TTerminalProgress::TMode ProgressMode(const TInvocation& call);
// The descriptor --progress-json=FD names (standard error without FD); -1, with the
// usage error told, when FD is no open descriptor.
int ProgressDescriptor(const TInvocation& call);

// The file's size in bytes; -1 when it is not there.
int64_t FileBytes(const AnsiString& path);

// The store's writer lock (see job/Store.h); null, with the refusal told, when a window or
// another command that writes the same store holds it.
std::unique_ptr<TNamedMutex> LockStore(const TAppSettings& settings);

// The catalogue: fetched from the server first unless offline (as the window does at
// start; the stored copy when that fails). Null, with the reason told, when there is none.
// The code is ecRefused when the server's catalogue was refused by its signature check.
std::unique_ptr<TIniFile> ReadCatalogue(const TInvocation& call, TNetHTTP* client, int& code);
// The model's versions in the catalogue, newest first; empty, with the reason told, for an
// unknown model.
std::vector<AnsiString> ModelVersions(TIniFile& catalogue, const AnsiString& model);
// The version, which must be one of the model's; told when it is not.
bool KnownVersion(const std::vector<AnsiString>& versions, const AnsiString& version);

// The model and version of a stored package's name: those of the stored catalogue that
// give the name, else the name split at its last "_".
void SplitPackageName(const TAppSettings& settings, const AnsiString& name, AnsiString& model, AnsiString& version);

// A UTF-8 text as a JSON string, quoted.
std::string JsonString(const std::string& text);
// One JSON object on one line from its members' names and values (already JSON).
std::string JsonObject(const std::vector<std::pair<const char*, std::string>>& members);
