#include "job/PackageDownload.h"

#include <chrono>
#include <cstdio>
#include <memory>

#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "job/EnvironmentProxy.h"
#include "job/Signatures.h"
#include "net/NetException.h"
#include "net/NetScope.h"
#include "platform/Log.h"
#include "runtime/BoundedStream.h"
#include "runtime/Exception.h"
#include "runtime/FileUtils.h"
#include "runtime/Hooks.h"
#include "runtime/Minisign.h"
#include "runtime/PathUtils.h"
#include "runtime/ReplacementFile.h"

namespace {
AnsiString SecondsSince(std::chrono::steady_clock::time_point start) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f s",
                std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count());
  return text;
}

// The server would not resume in a way that fits: the attempt starts over at once.
struct TStartOver {};

const char* const kPartialMark = ".partial";
const char* const kPartialIdMark = ".partial.id";
}  // namespace

TPackageDownload::TPackageDownload(const TAppSettings& settings, TNetHTTP& client, TJobReport& report)
    : settings_(settings), client_(client), report_(report) {}

TPackageDownload::~TPackageDownload() = default;

TJobNotice TPackageDownload::Notice(TOutcome outcome) {
  switch (outcome) {
    case doRefused:
      return jnDownloadRefused;
    case doFailed:
      return jnDownloadFailed;
    case doLocalFailure:
      return jnStoreNotWritable;
    case doSettingsFailure:
      return jnProxyUnreadable;
    case doStored:
    case doInterrupted:
      break;
  }
  return jnNone;
}

AnsiString TPackageDownload::InterruptionText() const {
  const char* why = report_.Interruption();
  return why ? why : "window closed";
}

TPackageDownload::TOutcome TPackageDownload::Run(const AnsiString& model, const AnsiString& version) {
  // Every download starts from nothing: counts left by an earlier one never decide
  // whether this one is complete.
  running_ = true;
  failure_ = TJobFailure();
  received_ = 0;
  base_ = 0;
  announced_ = 0;
  TNetScopeExit stop([this] { running_ = false; });
  const AnsiString package = Catalogue::PackageName(model, version);
  const AnsiString path = Catalogue::StorePath(settings_.ProgramFolder, package, ".zip");
  Catalogue::CheckStoreName(path, package);
  const AnsiString url = Catalogue::PackageUrl(settings_.Host, model, package);
  const AnsiString startLine = "download started: model \"" + model + "\", version \"" + version + "\", " + url + " ";
  std::unique_ptr<TReplacementFile> body;
  try {
    body = std::make_unique<TReplacementFile>(path);
  } catch (const EStreamError& e) {
    failure_ = DescribeFailure(e, client_.Host());
    LogStep(startLine + "failed at once: " + failure_.Cause);
    return doLocalFailure;
  }
  const auto started = std::chrono::steady_clock::now();
  const TEnded ended = [&](const AnsiString& outcome) {
    LogStep("download ended: " + outcome + ", " + IntToStr(body->Size()) + " bytes of " + IntToStr(announced_) +
            " announced, " + SecondsSince(started));
  };
  return Fetch(url, startLine, *body, ended);
}

TPackageDownload::TOutcome TPackageDownload::Refuse(const AnsiString& url, const std::string& reason,
                                                    const TEnded& ended) {
  SignatureRefused(url, reason);
  ended("signature refused, not stored");
  return doRefused;
}

TPackageDownload::TOutcome TPackageDownload::Fetch(const AnsiString& url, const AnsiString& startLine,
                                                   TReplacementFile& body, const TEnded& ended) {
  bool whole = false;
  std::string signature;
  // The client's other fetches keep their time-outs.
  client_.SetSilenceLimit(SilenceMinBytes, SilenceMs);
  TNetScopeExit unwatched([this] { client_.SetSilenceLimit(0, SilenceMs); });
  try {
    LogStep(startLine + DescribeProxyChoice(UseEnvironmentProxy(client_, url)));
    // The signature is judged before the package is asked for: a package signed for another
    // file, or by no trusted key, is never fetched.
    if (!FetchSignature(url, signature)) {
      ended(Interrupted() ? InterruptionText() : "signature refused, nothing fetched");
      return Interrupted() ? doInterrupted : doRefused;
    }
    resume_.Forget();
    AdoptPartial(body);
    whole = FetchPackage(url, body);
  } catch (const ESignatureError& e) {
    // A body that contradicts its signed size: refused before a byte of it was written, or
    // cut off as soon as it went past; nothing is stored, nor kept.
    ForgetPartial(body);
    return Refuse(url, e.Message(), ended);
  } catch (const EStreamLimitError& e) {
    ForgetPartial(body);
    return Refuse(url, e.Message(), ended);
  } catch (const std::exception&) {
    return Failed(body, ended);
  }
  return Settle(url, body, whole, signature, ended);
}

// In a catch block: the failure being handled, by its kind; a cancel meanwhile wins.
TPackageDownload::TOutcome TPackageDownload::Failed(TReplacementFile& body, const TEnded& ended) {
  if (Interrupted()) {
    KeepPartial(body);
    ended(InterruptionText());
    return doInterrupted;
  }
  // A write the store refused surfaces as the stream's plain write error: its reason is the file's.
  failure_ = body.WriteError() ? LocalFailure(ExtractFileDir(body.FileName()), body.WriteError())
                               : DescribeCurrentFailure(client_.Host());
  if (failure_.Kind == fkNetwork) KeepPartial(body);
  ended((failure_.Kind == fkLocal ? "not stored: " : "failed: ") + failure_.Cause);
  switch (failure_.Kind) {
    case fkLocal:
      return doLocalFailure;
    case fkSettings:
      return doSettingsFailure;
    case fkRefused:
      return doRefused;
    default:
      return doFailed;
  }
}

// After the fetch: a whole body whose signature verifies (when keys are trusted) is stored.
TPackageDownload::TOutcome TPackageDownload::Settle(const AnsiString& url, TReplacementFile& body, bool whole,
                                                    const std::string& signature, const TEnded& ended) {
  try {
    if (!whole) {
      KeepPartial(body);
      ended(InterruptionText());
      return doInterrupted;
    }
    if (!Verifies(url, body, signature)) {
      const bool refused = !Interrupted();
      if (refused) ForgetPartial(body);
      ended(refused ? "signature refused, not stored" : InterruptionText());
      return refused ? doRefused : doInterrupted;
    }
    Store(body, signature);
    if (!Interrupted()) ForgetPartial(body);
    ended(Interrupted() ? InterruptionText() : "complete, stored as " + LogPath(body.FileName()));
    return Interrupted() ? doInterrupted : doStored;
  } catch (const std::exception&) {
    return Failed(body, ended);
  }
}

bool TPackageDownload::FetchPackage(const AnsiString& url, TReplacementFile& body) {
  body_ = &body;
  received_ = 0;
  TNetScopeExit done([this] {
    body_ = nullptr;
    attemptJudged_ = true;
    TResumePlan::ClearRequest(client_);
  });
  // A signed size bounds the body in every attempt: past it, the read stops at once.
  TBoundedStream bounded(body, signedSize_ >= 0 ? signedSize_ : INT64_MAX, SignedSizeRefusal(signedSize_));
  size_t retries = 0;
  bool bodyBegan = false;  // only a body that broke off is tried again
  for (;;) {
    std::exception_ptr failure;
    switch (Attempt(url, bounded, body, bodyBegan, failure)) {
      case atWhole:
        return true;
      case atInterrupted:
        return false;
      case atStartOver:
        continue;
      case atBroke:
        break;
    }
    bodyBegan = true;
    if (retries == RetryWaitsMs.size()) std::rethrow_exception(failure);
    LogStep("download broke off (" + BreakCause(failure) + ") with " + IntToStr(body.Size()) + " bytes in the file; retry " +
            IntToStr(static_cast<int64_t>(retries + 1)) + " in " + IntToStr(RetryWaitsMs[retries]) + " ms");
    if (!WaitBeforeRetry(RetryWaitsMs[retries++])) return false;
  }
}

TPackageDownload::TAttempt TPackageDownload::Attempt(const AnsiString& url, TBoundedStream& bounded,
                                                     TReplacementFile& body, bool bodyBegan,
                                                     std::exception_ptr& failure) {
  const int64_t from = resume_.PrepareRequest(client_, body.Size());
  if (from == 0) body.SetSize(0);
  body.Seek(from, soBeginning);
  base_ = 0;
  attemptJudged_ = false;
  try {
    client_.FetchUrl(url, bounded);
    if (Interrupted()) return atInterrupted;
    if (BodyIsWhole(client_, body.Size() - base_)) return atWhole;
    // The server closed the connection before the announced length: a break.
    failure = std::make_exception_ptr(ENetConnClosedGracefully());
    return atBroke;
  } catch (const TStartOver&) {
    client_.CloseConnection();
  } catch (const ENetHTTPProtocolException& e) {
    if (from == 0 || e.ErrorCode() != 416) throw;
  } catch (const EConvertError&) {
    if (from == 0) throw;  // a Content-Range that is no range at all
  } catch (const ENetException&) {
    if (Interrupted() || !(bodyBegan || attemptJudged_)) throw;
    failure = std::current_exception();
    return atBroke;
  }
  resume_.Forget();
  return atStartOver;
}

AnsiString TPackageDownload::BreakCause(const std::exception_ptr& failure) const {
  try {
    std::rethrow_exception(failure);
  } catch (...) {
    return DescribeCurrentFailure(client_.Host()).Cause;
  }
}

bool TPackageDownload::WaitBeforeRetry(int ms) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(ms);
  while (!Interrupted() && std::chrono::steady_clock::now() < end) {
    HookProcessMessages();
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
  }
  return !Interrupted();
}

void TPackageDownload::JudgeAttempt() {
  attemptJudged_ = true;
  switch (resume_.Judge(client_)) {
    case TResumePlan::rvAppend:
      base_ = body_->Position();  // the size may already hold room made for the rest
      break;
    case TResumePlan::rvReplace:
      // The body written so far is discarded: nothing of it belongs to this answer.
      body_->SetSize(0);
      body_->Seek(0, soBeginning);
      break;
    case TResumePlan::rvRefuse:
      throw TStartOver{};
  }
}

bool TPackageDownload::PackageBody() const {
  // An answer with an error status or a redirect carries a page, not the package.
  return !fetchingSignature_ && client_.ResponseCode() < 300;
}

bool TPackageDownload::BodyBegins(int32_t workCountMax, TBodyStart& start) {
  if (!PackageBody()) return false;
  if (!attemptJudged_) JudgeAttempt();
  TNetHTTPResponse& response = client_.Response();
  // Each chunk of a chunked body begins its own count: it goes on from the bytes so far.
  if (response.IsChunked() && body_) base_ = body_->Position();
  if (signedSize_ >= 0 && response.LengthKnown && !response.IsChunked() &&
      base_ + response.ContentLength() != signedSize_)
    throw ESignatureError("the server announces " + IntToStr(base_ + response.ContentLength()) +
                          " bytes, not its signed size of " + IntToStr(signedSize_) + " bytes");
  // A resumed attempt announces the rest; the whole package's size is shown, which the
  // signature gives where the server announces none.
  if (signedSize_ >= 0) announced_ = signedSize_;
  else if (response.IsChunked()) announced_ = 0;
  else announced_ = base_ + workCountMax;
  attemptCount_ = 0;
  start.Size = announced_;
  start.From = base_;
  return true;
}

int64_t TPackageDownload::BodyWork(int32_t workCount) {
  if (!PackageBody()) return -1;
  received_ += workCount - attemptCount_;
  attemptCount_ = workCount;
  return base_ + workCount;
}

bool TPackageDownload::FetchSignature(const AnsiString& url, std::string& signature) {
  signedSize_ = -1;
  const TTrustedKeys& keys = settings_.TrustedKeys;
  if (keys.Empty()) return true;
  // The signature is fetched on the download's own client, so that a cancel reaches it;
  // its few bytes leave the progress as it was.
  fetchingSignature_ = true;
  TNetScopeExit quiet([this] { fetchingSignature_ = false; });
  TTrustedComment comment;
  try {
    if (!FetchTrustedSignature(client_, keys, url, signature, comment)) return false;
  } catch (const std::exception&) {
    if (Interrupted()) return false;  // the cancel broke the fetch off
    throw;                            // the network's failure, not the signature's
  }
  signedSize_ = comment.Size;
  return true;
}

bool TPackageDownload::Verifies(const AnsiString& url, TReplacementFile& body, const std::string& signature) {
  const TTrustedKeys& keys = settings_.TrustedKeys;
  if (keys.Empty()) return true;
  // A chunked body or one read to the close says nothing of its length: the signed size does.
  if (signedSize_ >= 0 && body.Size() != signedSize_)
    return SignatureRefused(url, "it ended after " + IntToStr(body.Size()) + " bytes, short of its signed size of " +
                                     IntToStr(signedSize_) + " bytes");
  // The whole package is read once more for the check: on a worker, as the flush.
  bool accepted = false;
  WhilePumping([&] {
    accepted = SignatureAccepted(url, [&] { keys.VerifySystemFile(body.TempPath(), signature); });
  });
  return accepted;
}

void TPackageDownload::Store(TReplacementFile& body, const std::string& signature) {
  // The flush to disk runs on a worker while the front end goes on being serviced (it can
  // take a second for a large package); a cancel meanwhile still wins. A failed flush is
  // reported by Commit, which flushes once more.
  WhilePumping([&body] { body.SyncData(); });
  if (Interrupted()) return;
  // The signature goes first: should either write fail, the store holds the older pair, or a
  // pair that fails its check at the hand-off; never a package passing on another's.
  if (!signature.empty()) ReplaceFileContent(SignatureName(body.FileName()), signature.data(), signature.size());
  body.Commit();
}

void TPackageDownload::KeepPartial(TReplacementFile& body) {
  const AnsiString saved = resume_.Saved();
  const int64_t size = body.Size();
  if (size <= 0 || saved.empty() || body.WriteError()) return;
  const AnsiString partial = body.FileName() + kPartialMark;
  const std::string id = std::to_string(signedSize_) + "\n" + saved + "\n";
  try {
    ReplaceFileContent(body.FileName() + kPartialIdMark, id.data(), static_cast<int64_t>(id.size()));
  } catch (const std::exception& e) {
    LogStep("download: the bytes so far cannot be kept: " + LogErrorText(e));
    return;
  }
  if (body.KeepAs(partial)) LogStep("download: " + IntToStr(size) + " bytes kept in " + LogPath(partial) + " to resume");
  else DeleteFile(body.FileName() + kPartialIdMark);
}

void TPackageDownload::AdoptPartial(TReplacementFile& body) {
  const AnsiString partial = body.FileName() + kPartialMark;
  const AnsiString idFile = body.FileName() + kPartialIdMark;
  if (!FileExists(partial) && !FileExists(idFile)) return;
  std::string id;
  try {
    id = FileExists(idFile) ? ReadFileContent(idFile) : std::string();
  } catch (const std::exception&) {
  }
  const size_t line = id.find('\n');
  // Kept for the same signed size (or both unsigned), and for an answer that can be resumed.
  const bool same = line != std::string::npos && id.substr(0, line) == std::to_string(signedSize_) &&
                    resume_.Restore(Trim(id.substr(line + 1)));
  // The kept files stay until the package is stored, or kept anew: a run that ends before
  // either leaves them for the next.
  if (same && body.TakeOver(partial)) {
    LogStep("download: resuming after the " + IntToStr(body.Size()) + " bytes kept by an earlier download");
    return;
  }
  resume_.Forget();
  ForgetPartial(body);
  LogStep("download: the bytes kept by an earlier download belong to another package; starting from zero");
}

void TPackageDownload::ForgetPartial(TReplacementFile& body) {
  DeleteFile(body.FileName() + kPartialMark);
  DeleteFile(body.FileName() + kPartialIdMark);
}
