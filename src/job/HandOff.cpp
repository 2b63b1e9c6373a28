#include "job/HandOff.h"

#include <chrono>

#include "job/Catalogue.h"
#include "job/PackageDownload.h"
#include "job/Signatures.h"
#include "net/NetScope.h"
#include "platform/Log.h"
#include "platform/Shell.h"
#include "runtime/Hooks.h"
#include "zip/ZipArchiver.h"

namespace {
// The stored package did not pass its signature check.
struct TSignatureRefused {};

// How long the front end may go unserviced while the archiver works: well within a frame
// at the pace a person notices.
constexpr std::chrono::milliseconds kUnpackPumpInterval{20};
}  // namespace

THandOff::THandOff(const TAppSettings& settings, TZipArchiver& archiver, TJobReport& report)
    : settings_(settings), archiver_(archiver), report_(report) {}

TJobNotice THandOff::Notice(TOutcome outcome) {
  switch (outcome) {
    case hoNoFolder:
      return jnNoPlayerFolder;
    case hoRefused:
      return jnStoredPackageRefused;
    case hoUnpackAborted:
      return jnUnpackFailed;
    case hoToolNotStarted:
      return jnToolNotStarted;
    default:
      return jnNone;
  }
}

THandOff::TOutcome THandOff::Run(const AnsiString& playerFolder, const AnsiString& model,
                                 const AnsiString& version) {
  if (playerFolder.empty()) {
    LogStep("unpack: not started, the player software folder is unknown");
    return hoNoFolder;
  }
  const AnsiString package = Catalogue::PackageName(model, version);
  if (!Catalogue::IsStoreName(package)) return hoBadName;
  const AnsiString zip = Catalogue::StorePath(settings_.ProgramFolder, package, ".zip");
  try {
    return UnpackAndStart(playerFolder, zip);
  } catch (const TSignatureRefused&) {
    LogStep("unpack: not started, the stored package failed its signature check");
    return hoRefused;
  } catch (const std::exception& e) {
    LogStep("unpack: failed: " + LogErrorText(e));
    archiver_.CloseZipFile();
  } catch (...) {
    archiver_.CloseZipFile();
  }
  return hoUnpackFailed;
}

THandOff::TOutcome THandOff::UnpackAndStart(const AnsiString& folder, const AnsiString& zip) {
  // An unpacking the person aborted in the archiver's failure dialog is never flashed.
  if (!Unpack(folder, zip)) return hoUnpackAborted;
  // An interruption during the unpacking lets it finish (the folder is left wholly unpacked,
  // never half), and the tool is not started.
  if (const char* why = report_.Interruption()) {
    LogStep(AnsiString("flashing tool: not started, interrupted while unpacking (") + why + ")");
    return hoInterrupted;
  }
  if (!report_.ConfirmConnect()) {
    LogStep("flashing tool: not started, the connect prompt was cancelled");
    return hoDeclined;
  }
  return StartTool(folder);
}

THandOff::TOutcome THandOff::StartTool(const AnsiString& folder) {
  const AnsiString tool = folder + "\\stupdaterapp.exe";
  const intptr_t result = ShellExecuteA(nullptr, "open", tool.c_str(), "-s", folder.c_str(), SW_SHOWNORMAL);
  LogStep("flashing tool: " + LogPath(tool) + " -s in " + LogPath(folder) +
          (result > 32 ? AnsiString(": started") : ": not started, error " + IntToStr(result)));
  return result > 32 ? hoStarted : hoToolNotStarted;
}

bool THandOff::Unpack(const AnsiString& folder, const AnsiString& zip) {
  TNetScopeExit restore([this] { archiver_.OnFileProgress = nullptr; });
  // A package is flashed only as its publisher signed it: one changed in the store since, or
  // stored before keys were set, is offered for download again.
  bool verified = false;
  WhilePumping([&] { verified = StoredFileVerifies(settings_.TrustedKeys, zip); });
  if (!verified) throw TSignatureRefused();
  // The front end is serviced between the archiver's blocks, at most once per pump interval.
  auto lastPump = std::chrono::steady_clock::time_point();
  archiver_.OnFileProgress = [&lastPump](TObject*, const AnsiString&, double, TZipProcessOperation,
                                         TZipProgressPhase, bool&) {
    const auto now = std::chrono::steady_clock::now();
    if (now - lastPump < kUnpackPumpInterval) return;
    lastPump = now;
    HookProcessMessages();
  };
  archiver_.SetFileName(zip);
  archiver_.OpenZipFile(fmOpenRead | fmShareDenyWrite);
  archiver_.SetBaseDir(folder);
  archiver_.ExtractMatching("*.*", kZipAnyEntryAttr, "");
  const int entries = archiver_.FileCount();
  archiver_.CloseZipFile();
  LogStep("unpack: " + LogPath(archiver_.FileName()) + " into " + LogPath(folder) + ": " + IntToStr(entries) +
          " entries, " + IntToStr(archiver_.LastRunFailures()) + " failed" +
          (archiver_.LastRunAborted() ? ", aborted" : ""));
  return !archiver_.LastRunAborted();
}
