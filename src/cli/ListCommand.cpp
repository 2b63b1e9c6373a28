// tavro list [--offline] [--json]: the catalogue's models and versions, each version marked
// "stored" when its package is in the store and verifies.
#include <iostream>

#include "cli/CommandSupport.h"
#include "cli/CommandRuns.h"
#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/Store.h"
#include "platform/NamedMutex.h"
#include "runtime/FileUtils.h"
#include "runtime/IniFile.h"

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
}  // namespace

int RunList(const TInvocation& call) {
  const bool offline = call.Has("--offline");
  // Fetching the catalogue replaces the stored one: the store's writer only.
  std::unique_ptr<TNamedMutex> lock = offline ? nullptr : LockStore();
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
