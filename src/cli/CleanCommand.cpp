// tavro clean [MODEL [VERSION]] [--yes]: packages removed from the store (each with its
// signature and release notes), after a question unless --yes. The store's writer only,
// as the window and fetch are.
#include <iostream>
#include <string>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"
#include "job/Catalogue.h"
#include "job/Store.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "toolkit/Translation.h"

namespace {
// The store's packages of the model (all without one) and version (all without one).
std::vector<TStoredPackage> Chosen(const TInvocation& call) {
  std::vector<TStoredPackage> chosen;
  for (const TStoredPackage& package : StoredPackages(call.Settings.ProgramFolder)) {
    AnsiString model, version;
    SplitPackageName(call.Settings, package.Name, model, version);
    if (!call.Args.empty() && model != FromTerminal(call.Args[0])) continue;
    if (call.Args.size() > 1 && version != FromTerminal(call.Args[1])) continue;
    chosen.push_back(package);
  }
  return chosen;
}

bool Confirmed(const std::vector<TStoredPackage>& chosen) {
  int64_t bytes = 0;
  for (const TStoredPackage& package : chosen) {
    std::cerr << "  " << ToTerminal(package.Name) << "\n";
    bytes += package.Size;
  }
  std::cerr << Tavro::tr("从固件库中删除这 %n 个固件包（共 %1 字节）？", nullptr, static_cast<int>(chosen.size()))
                   .arg(static_cast<qlonglong>(bytes))
                   .toUtf8()
                   .constData()
            << " [y/N] " << std::flush;
  std::string answer;
  return std::getline(std::cin, answer) && (answer == "y" || answer == "Y" || answer == "yes");
}
}  // namespace

int RunClean(const TInvocation& call) {
  std::unique_ptr<TNamedMutex> lock = LockStore(call.Settings);
  if (!lock) return ecFailed;
  const std::vector<TStoredPackage> chosen = Chosen(call);
  if (chosen.empty()) {
    // Named packages that are not there are an error, as for rm; an empty store is not.
    if (!call.Args.empty()) return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "固件库中没有匹配的固件包。")));
    Complain(ecDone, Text(QT_TRANSLATE_NOOP("Tavro", "固件库是空的。")));
    return ecDone;
  }
  if (!call.Has("--yes") && !Confirmed(chosen))
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "未删除任何文件。")));
  int code = ecDone;
  for (const TStoredPackage& package : chosen) {
    const AnsiString zip = Catalogue::StorePath(call.Settings.ProgramFolder, package.Name, ".zip");
    if (RemoveStoredPackage(call.Settings.ProgramFolder, package.Name)) {
      LogStep("clean: removed " + LogPath(zip));
      std::cout << PathToTerminal(zip) << "\n";
    } else {
      code = Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "无法删除：")) + PathToTerminal(zip));
    }
  }
  return code;
}
