// tavro list [--offline] [--json]: the catalogue's models and versions, each version marked
// "stored" when its package is in the store and verifies; tavro list --stored [--json]: the
// store's packages, each with its size and whether it still verifies.
#include <iostream>

#include "cli/CommandSupport.h"
#include "cli/CommandRuns.h"
#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/Signatures.h"
#include "job/Store.h"
#include "platform/NamedMutex.h"
#include "runtime/FileUtils.h"
#include "runtime/IniFile.h"
#include "toolkit/Translation.h"

namespace {
void PrintModel(const TInvocation& call, TIniFile& catalogue, const AnsiString& model, bool first) {
  const bool json = call.Has("--json");
  if (json) std::cout << (first ? "" : ",\n") << "  {\"model\": " << JsonString(ToTerminal(model)) << ", \"versions\": [";
  else std::cout << ToTerminal(model) << "\n";
  bool firstVersion = true;
  for (const AnsiString& version : Catalogue::ReadVersions(catalogue, model)) {
    const bool stored = StoredPackageVerifies(call.Settings, model, version);
    if (json)
      std::cout << (firstVersion ? "" : ", ") << "{\"version\": " << JsonString(ToTerminal(version))
                << ", \"stored\": " << (stored ? "true" : "false") << "}";
    else
      std::cout << "  " << ToTerminal(version) << (stored ? "\tstored" : "") << "\n";
    firstVersion = false;
  }
  if (json) std::cout << "]}";
}

// One package of the store: a line of model, version, size and check, tab-separated, or a
// JSON object.
void PrintStored(const TInvocation& call, const TStoredPackage& package, bool first) {
  AnsiString model, version;
  SplitPackageName(call.Settings, package.Name, model, version);
  const AnsiString zip = Catalogue::StorePath(call.Settings.ProgramFolder, package.Name, ".zip");
  const TStoredCheck check = CheckStoredFile(call.Settings.TrustedKeys, zip);
  if (call.Has("--json")) {
    std::cout << (first ? "  " : ",\n  ")
              << JsonObject({{"model", JsonString(ToTerminal(model))},
                             {"version", JsonString(ToTerminal(version))},
                             {"file", JsonString(PathToTerminal(zip))},
                             {"size", std::to_string(package.Size)},
                             {"checked", check.Checked ? "true" : "false"},
                             {"verified", check.Verified ? "true" : "false"},
                             {"signer", JsonString(check.KeyId)},
                             {"problem", JsonString(check.Problem)}});
    return;
  }
  const std::string state = !check.Checked  ? Text(QT_TRANSLATE_NOOP("Tavro", "未校验"))
                            : check.Verified ? Text(QT_TRANSLATE_NOOP("Tavro", "校验通过"))
                                             : Text(QT_TRANSLATE_NOOP("Tavro", "校验失败")) + ": " + check.Problem;
  std::cout << ToTerminal(model) << "\t" << ToTerminal(version) << "\t" << package.Size << "\t" << state << "\n";
}

int ListStored(const TInvocation& call) {
  const bool json = call.Has("--json");
  if (json) std::cout << "[\n";
  bool first = true;
  for (const TStoredPackage& package : StoredPackages(call.Settings.ProgramFolder)) {
    PrintStored(call, package, first);
    first = false;
  }
  if (json) std::cout << (first ? "]\n" : "\n]\n");
  return ecDone;
}
}  // namespace

int RunList(const TInvocation& call) {
  if (call.Has("--stored")) return ListStored(call);
  const bool offline = call.Has("--offline");
  // Fetching the catalogue replaces the stored one: the store's writer only.
  std::unique_ptr<TNamedMutex> lock = offline ? nullptr : LockStore(call.Settings);
  if (!offline && !lock) return ecFailed;
  std::shared_ptr<TNetHTTP> client = offline ? nullptr : MakeClient(call.Settings);
  int code = ecDone;
  std::unique_ptr<TIniFile> catalogue = ReadCatalogue(call, client.get(), code);
  if (!catalogue) return code;
  if (call.Has("--json")) std::cout << "[\n";
  bool first = true;
  for (const AnsiString& model : Catalogue::ReadModels(*catalogue)) {
    PrintModel(call, *catalogue, model, first);
    first = false;
  }
  if (call.Has("--json")) std::cout << "\n]\n";
  return code;
}
