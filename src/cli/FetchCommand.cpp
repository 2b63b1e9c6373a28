// tavro fetch MODEL [VERSION] and tavro install MODEL VERSION [--yes]: the download button's
// and the firmware upgrade button's work from a terminal, done by the same job.
#include <iostream>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"
#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "job/HandOff.h"
#include "job/PackageDownload.h"
#include "job/PlayerSoftware.h"
#include "job/Store.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "runtime/FileUtils.h"
#include "runtime/IniFile.h"
#include "toolkit/Translation.h"
#include "zip/ZipArchiver.h"

namespace {
// The version the window would preselect for the model: the one its last choice saved when
// that choice was this model, else the model's first.
AnsiString PreselectedVersion(const TAppSettings& settings, TIniFile& catalogue, const AnsiString& model,
                              const std::vector<AnsiString>& versions) {
  TIniFile selection(settings.ProgramFolder + Catalogue::kSelectionFileName);
  const std::vector<AnsiString> models = Catalogue::ReadModels(catalogue);
  const int chosenModel = Catalogue::ReadSelection(selection, "ComboBox1");
  const int chosenVersion = Catalogue::ReadSelection(selection, "ComboBox2");
  const bool same = chosenModel >= 0 && static_cast<size_t>(chosenModel) < models.size() && models[chosenModel] == model;
  if (same && chosenVersion >= 0 && static_cast<size_t>(chosenVersion) < versions.size()) return versions[chosenVersion];
  return versions.front();
}

int DownloadStatus(const TPackageDownload& download, TPackageDownload::TOutcome outcome, const AnsiString& stored) {
  if (InterruptRequested() || outcome == TPackageDownload::doInterrupted)
    return Complain(ecInterrupted, Text(QT_TRANSLATE_NOOP("Tavro", "Cancelled.")));
  if (outcome == TPackageDownload::doRefused)
    return Complain(ecRefused, Text(JobNoticeText(TPackageDownload::Notice(outcome))));
  if (outcome != TPackageDownload::doStored) return ComplainOf(TPackageDownload::Notice(outcome), download.Failure());
  std::cout << PathToTerminal(stored) << "\n";
  return ecDone;
}

int Download(const TInvocation& call, TNetHTTP& client, const AnsiString& model, const AnsiString& version) {
  TTerminalReport report(false);
  TPackageDownload download(call.Settings, client, report);
  TTerminalProgress progress;
  ShowProgress(client, download, progress);
  TPackageDownload::TOutcome outcome;
  try {
    outcome = download.Run(model, version);
  } catch (const std::exception& e) {
    progress.End();
    return Complain(ecFailed, LogErrorText(e));
  }
  progress.End();
  const AnsiString name = Catalogue::PackageName(model, version);
  return DownloadStatus(download, outcome, Catalogue::StorePath(call.Settings.ProgramFolder, name, ".zip"));
}
}  // namespace

int RunFetch(const TInvocation& call) {
  std::unique_ptr<TNamedMutex> lock = LockStore();
  if (!lock) return ecFailed;
  PrepareStore(call.Settings.ProgramFolder);
  std::shared_ptr<TNetHTTP> client = MakeClient(call.Settings);
  int code = ecDone;
  std::unique_ptr<TIniFile> catalogue = ReadCatalogue(call, client.get(), code);
  if (!catalogue) return code;
  const AnsiString model = FromTerminal(call.Args[0]);
  const std::vector<AnsiString> versions = ModelVersions(*catalogue, model);
  if (versions.empty()) return ecFailed;
  const AnsiString version =
      call.Args.size() > 1 ? FromTerminal(call.Args[1]) : PreselectedVersion(call.Settings, *catalogue, model, versions);
  if (!KnownVersion(versions, version)) return ecFailed;
  // A package stored and verified is not fetched twice, unless asked.
  if (!call.Has("--force") && StoredPackageVerifies(call.Settings, model, version)) {
    Complain(ecDone, Text(QT_TRANSLATE_NOOP("Tavro", "The package is already stored and verified (--force fetches it again).")));
    std::cout << PathToTerminal(Catalogue::StorePath(call.Settings.ProgramFolder, Catalogue::PackageName(model, version), ".zip"))
              << "\n";
    return ecDone;
  }
  return Download(call, *client, model, version);
}

namespace {
int HandOffStatus(THandOff::TOutcome outcome, const AnsiString& folder) {
  if (outcome == THandOff::hoInterrupted)
    return Complain(ecInterrupted, Text(QT_TRANSLATE_NOOP("Tavro", "Cancelled.")));
  if (const char* text = JobNoticeText(THandOff::Notice(outcome)))
    return Complain(outcome == THandOff::hoRefused ? ecRefused : ecFailed, Text(text));
  if (outcome != THandOff::hoStarted)
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "The flashing tool was not started.")));
  std::cout << PathToTerminal(folder + "\\stupdaterapp.exe") << " -s\n";
  return ecDone;
}
}  // namespace

int RunInstall(const TInvocation& call) {
  std::unique_ptr<TNamedMutex> lock = LockStore();
  if (!lock) return ecFailed;
  const AnsiString model = FromTerminal(call.Args[0]);
  const AnsiString version = FromTerminal(call.Args[1]);
  const AnsiString name = Catalogue::PackageName(model, version);
  if (!Catalogue::IsStoreName(name) || !FileExists(Catalogue::StorePath(call.Settings.ProgramFolder, name, ".zip")))
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "The package is not in the store: fetch it first.")));
  const TPlayerSoftware player = FindPlayerSoftware();
  // Ctrl-C or SIGTERM while unpacking lets the unpacking finish and starts no tool.
  CatchInterrupt(nullptr);
  TTerminalReport report(call.Has("--yes"));
  TZipArchiver archiver(nullptr);
  ConfigureArchiver(archiver);
  THandOff handOff(call.Settings, archiver, report);
  return HandOffStatus(handOff.Run(player.Folder, model, version), player.Folder);
}
