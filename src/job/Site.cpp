#include "job/Site.h"

#include <ctime>

#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "job/EnvironmentProxy.h"
#include "job/Signatures.h"
#include "platform/Log.h"
#include "runtime/BoundedStream.h"
#include "runtime/FileUtils.h"
#include "runtime/MemoryStream.h"
#include "runtime/Minisign.h"

TSite::TSite(const TAppSettings& settings, TNetHTTP& client) : settings_(settings), client_(client) {}

AnsiString TSite::CataloguePath() const { return settings_.ProgramFolder + Catalogue::kCatalogueFileName; }

TSite::TCatalogueState TSite::FetchCatalogue() {
  if (DownloadToFile(Catalogue::CatalogueUrl(settings_.Host), CataloguePath(), true)) {
    LogStep("catalogue: fetched");
    return csFetched;
  }
  if (!FileExists(CataloguePath())) return csNone;
  LogStep("catalogue: not fetched, going on with the copy of an earlier run");
  return csStored;
}

// The signature first: a catalogue that is not the maker's current one is never fetched. A
// signature that cannot be fetched leaves the catalogue unfetched as well.
bool TSite::FetchSignature(const AnsiString& url, std::string& signature, TTrustedComment& comment) {
  try {
    refused_ = !(FetchTrustedSignature(client_, settings_.TrustedKeys, url, signature, comment) &&
                 CatalogueIsCurrent(url, comment, settings_.ProgramFolder, std::time(nullptr)));
    return !refused_;
  } catch (const std::exception&) {
    return Failed("fetch " + url + " failed: its signature cannot be fetched: ");
  }
}

bool TSite::Failed(const AnsiString& what) {
  failure_ = DescribeCurrentFailure(client_.Host());
  LogStep(what + failure_.Cause);
  return false;
}

bool TSite::DownloadToFile(const AnsiString& url, const AnsiString& path, bool catalogue) {
  const AnsiString what = "fetch " + url + " ";
  const bool judged = catalogue && !settings_.TrustedKeys.Empty();
  refused_ = false;
  failure_ = TJobFailure();
  std::string signature;
  TTrustedComment comment;
  try {
    LogStep(what + DescribeProxyChoice(UseEnvironmentProxy(client_, url)));
  } catch (const std::exception&) {
    return Failed(what + "not sent: ");
  }
  if (judged && !FetchSignature(url, signature, comment)) return false;
  const int64_t cap = catalogue ? kCatalogueCap : kReleaseNotesCap;
  const bool signedSize = judged && comment.Size >= 0;
  TMemoryStream body;
  TBoundedStream bounded(body, signedSize ? comment.Size : cap,
                         signedSize ? SignedSizeRefusal(comment.Size) : CapRefusal(cap));
  try {
    client_.FetchUrl(url, bounded);
  } catch (const EStreamLimitError& e) {
    refused_ = judged;
    if (judged) return SignatureRefused(url, e.Message());
    LogStep(what + "refused: " + e.Message());
    return false;
  } catch (const std::exception&) {
    return Failed(what + "failed: ");
  }
  // A body cut short by the server is not the file: the copy already there stays.
  if (!BodyIsWhole(client_, body.Size())) {
    LogStep(what + "cut short after " + IntToStr(body.Size()) + " bytes");
    return false;
  }
  return Accept(url, path, body, signature, comment, judged);
}

bool TSite::Accept(const AnsiString& url, const AnsiString& path, TMemoryStream& body,
                   const std::string& signature, const TTrustedComment& comment, bool judged) {
  if (judged) {
    refused_ = true;  // until the checks are passed
    if (comment.Size >= 0 && body.Size() != comment.Size)
      return SignatureRefused(url, "it is " + IntToStr(body.Size()) + " bytes, not its signed size of " +
                                       IntToStr(comment.Size) + " bytes");
    const TTrustedKeys& keys = settings_.TrustedKeys;
    if (!SignatureAccepted(url, [&] { keys.VerifyBytes(body.Memory(), static_cast<size_t>(body.Size()), signature); }))
      return false;
    // Remembered before the catalogue is replaced: should the second write fail, the next
    // run takes the same catalogue again, never an older one.
    RememberCatalogueTime(comment, settings_.ProgramFolder);
    refused_ = false;
  }
  ReplaceFileContent(path, body.Memory(), body.Size());
  LogStep("fetch " + url + " done: " + IntToStr(body.Size()) + " bytes written to " + LogPath(path));
  return true;
}
