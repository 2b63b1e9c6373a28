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
#include "job/Signatures.h"
#include "job/Store.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "runtime/FileUtils.h"
#include "runtime/IniFile.h"
#include "toolkit/Translation.h"
#include "zip/ZipArchiver.h"

namespace {
// The stored package as --json tells it: its file, model, version, size and signer.
std::vector<std::pair<const char*, std::string>> PackageMembers(const TInvocation& call, const AnsiString& model,
                                                                const AnsiString& version) {
  const AnsiString zip = Catalogue::StorePath(call.Settings.ProgramFolder, Catalogue::PackageName(model, version), ".zip");
  const TStoredCheck check = CheckStoredFile(call.Settings.TrustedKeys, zip);
  return {{"file", JsonString(PathToTerminal(zip))},
          {"model", JsonString(ToTerminal(model))},
          {"version", JsonString(ToTerminal(version))},
          {"size", std::to_string(FileBytes(zip))},
          {"signer", JsonString(check.KeyId)}};
}

// The stored package on standard output: its file, or with --json what --json tells and
// what was done.
int PrintStored(const TInvocation& call, const AnsiString& model, const AnsiString& version, const char* done) {
  if (call.Has("--json")) {
    auto members = PackageMembers(call, model, version);
    members.emplace_back("done", JsonString(done));
    std::cout << JsonObject(members) << "\n";
  } else {
    const AnsiString name = Catalogue::PackageName(model, version);
    std::cout << PathToTerminal(Catalogue::StorePath(call.Settings.ProgramFolder, name, ".zip")) << "\n";
  }
  return ecDone;
}

int DownloadStatus(const TInvocation& call, const TPackageDownload& download, TPackageDownload::TOutcome outcome,
                   const AnsiString& model, const AnsiString& version) {
  if (InterruptRequested() || outcome == TPackageDownload::doInterrupted) return ComplainCancelled();
  if (outcome == TPackageDownload::doRefused)
    return Complain(ecRefused, Text(JobNoticeText(TPackageDownload::Notice(outcome))));
  if (outcome != TPackageDownload::doStored) return ComplainOf(TPackageDownload::Notice(outcome), download.Failure());
  return PrintStored(call, model, version, "fetched");
}

int Download(const TInvocation& call, TNetHTTP& client, const AnsiString& model, const AnsiString& version) {
  TTerminalReport report(false);
  TPackageDownload download(call.Settings, client, report);
  TTerminalProgress progress(ProgressMode(call), ProgressDescriptor(call));
  ShowProgress(client, download, progress);
  TPackageDownload::TOutcome outcome;
  try {
    outcome = download.Run(model, version);
  } catch (const std::exception& e) {
    progress.End();
    return Complain(ecFailed, LogErrorText(e));
  }
  progress.End();
  return DownloadStatus(call, download, outcome, model, version);
}
}  // namespace

int RunFetch(const TInvocation& call) {
  if (ProgressDescriptor(call) < 0) return ecUsage;
  std::unique_ptr<TNamedMutex> lock = LockStore(call.Settings);
  if (!lock) return ecFailed;
  PrepareStore(call.Settings.ProgramFolder);
  std::shared_ptr<TNetHTTP> client = MakeClient(call.Settings);
  int code = ecDone;
  std::unique_ptr<TIniFile> catalogue = ReadCatalogue(call, client.get(), code);
  if (!catalogue) return code;
  const AnsiString model = FromTerminal(call.Args[0]);
  const std::vector<AnsiString> versions = ModelVersions(*catalogue, model);
  if (versions.empty()) return ecFailed;
  // A script wants the newest; the window's last choice stays the window's.
  const AnsiString version = call.Args.size() > 1 ? FromTerminal(call.Args[1]) : Catalogue::NewestVersion(versions);
  if (!KnownVersion(versions, version)) return ecFailed;
  // A package stored and verified is not fetched twice, unless asked.
  if (!call.Has("--force") && StoredPackageVerifies(call.Settings, model, version)) {
    Complain(ecDone, Text(QT_TRANSLATE_NOOP("Tavro", "固件包已保存且校验通过，不再下载（--force 可重新下载）。")));
    return PrintStored(call, model, version, "already stored");
  }
  return Download(call, *client, model, version);
}

namespace {
int HandOffStatus(const TInvocation& call, THandOff::TOutcome outcome, const AnsiString& folder,
                  const AnsiString& model, const AnsiString& version) {
  if (outcome == THandOff::hoInterrupted) return ComplainCancelled();
  if (const char* text = JobNoticeText(THandOff::Notice(outcome)))
    return Complain(outcome == THandOff::hoRefused ? ecRefused : ecFailed, Text(text));
  if (outcome != THandOff::hoStarted)
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "升级工具未启动。")));
  const std::string tool = PathToTerminal(folder + "\\stupdaterapp.exe");
  if (!call.Has("--json")) {
    std::cout << tool << " -s\n";
    return ecDone;
  }
  auto members = PackageMembers(call, model, version);
  members.emplace_back("folder", JsonString(PathToTerminal(folder)));
  members.emplace_back("tool", JsonString(tool));
  members.emplace_back("done", JsonString("started"));
  std::cout << JsonObject(members) << "\n";
  return ecDone;
}
}  // namespace

int RunInstall(const TInvocation& call) {
  std::unique_ptr<TNamedMutex> lock = LockStore(call.Settings);
  if (!lock) return ecFailed;
  const AnsiString model = FromTerminal(call.Args[0]);
  const AnsiString version = FromTerminal(call.Args[1]);
  const AnsiString name = Catalogue::PackageName(model, version);
  if (!Catalogue::IsStoreName(name) || !FileExists(Catalogue::StorePath(call.Settings.ProgramFolder, name, ".zip")))
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "固件库中没有此固件包：请先下载（fetch）。")));
  const TPlayerSoftware player = FindPlayerSoftware();
  // Ctrl-C or SIGTERM while unpacking lets the unpacking finish and starts no tool.
  CatchInterrupt(nullptr);
  TTerminalReport report(call.Has("--yes"));
  TZipArchiver archiver(nullptr);
  ConfigureArchiver(archiver);
  THandOff handOff(call.Settings, archiver, report);
  return HandOffStatus(call, handOff.Run(player.Folder, model, version), player.Folder, model, version);
}
