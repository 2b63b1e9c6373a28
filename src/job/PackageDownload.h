// TPackageDownload: one package download into the store, under every rule the job keeps.
//
// With trusted keys the package's signature is fetched and judged first (a package signed
// for another file, or by no trusted key, is never asked for); its signed size bounds the
// body. The body goes straight to a temporary file in the store, which becomes the package
// only when it is whole and verifies: the store never offers a partial file for flashing,
// and an older package stays until a whole one replaces it. A body that breaks off is
// tried again after each of RetryWaitsMs, resuming where it safely can (TResumePlan). An
// answer with an error status is the server's refusal: its page is neither written nor
// counted as the package's progress.
//
// A download that ends before it is whole (cancelled, the window closed, the network gone
// after the last retry) keeps its bytes beside the package ("<package>.zip.partial", never
// taken for the package), with what identifies the answer they belong to (".partial.id":
// the signed size, the length and validator of the server's answer). The next download of
// the package, in either front end, resumes after them with Range and If-Range; a package
// changed on the server (another validator, another signed size) starts from zero.
//
// The front end binds the client's work events to BodyBegins and BodyWork and shows what
// they return; its TJobReport says when the person wants the download to end.
#pragma once

#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "job/AppSettings.h"
#include "job/JobFailure.h"
#include "job/JobReport.h"
#include "job/JobTexts.h"
#include "job/ResumePlan.h"
#include "runtime/SysUtils.h"

class TBoundedStream;
class TNetHTTP;
class TReplacementFile;

class TPackageDownload {
 public:
  // doFailed: the network or the server; doLocalFailure: the store cannot be written;
  // doSettingsFailure: a proxy variable cannot be read (nothing was sent).
  enum TOutcome { doStored, doInterrupted, doRefused, doFailed, doLocalFailure, doSettingsFailure };

  TPackageDownload(const TAppSettings& settings, TNetHTTP& client, TJobReport& report);
  ~TPackageDownload();

  // Downloads the model's version into the store; logs how it ended, with the cause of a
  // failure in words (Failure). Raises when the name leads out of the store.
  TOutcome Run(const AnsiString& model, const AnsiString& version);
  // What ended the last download that was not stored or interrupted.
  const TJobFailure& Failure() const { return failure_; }
  // The person's notice for an outcome (jnNone for a stored or interrupted download).
  static TJobNotice Notice(TOutcome outcome);

  // What the client's OnWorkBegin starts: the whole package's size (0 when unknown) and
  // the bytes of it already there (a resumed attempt goes on from them).
  struct TBodyStart {
    int64_t Size = 0;
    int64_t From = 0;
  };
  // At the client's OnWorkBegin: judges a resumed attempt's answer, and refuses a length
  // other than the signed size (ESignatureError). False for the signature's own events.
  bool BodyBegins(int32_t workCountMax, TBodyStart& start);
  // At OnWork: the package's bytes so far; -1 for the signature's events.
  int64_t BodyWork(int32_t workCount);
  // The bytes that came in this download, in all its attempts.
  int64_t Received() const { return received_; }
  bool Running() const { return running_; }

  std::vector<int> RetryWaitsMs{1000, 2000, 4000};
  // An answer of which fewer than SilenceMinBytes arrive in SilenceMs has broken off: a
  // connection gone silent (Wi-Fi lost without a reset, a NAT that forgot the flow, a
  // machine that slept, a server that takes requests and answers none) is tried again
  // like a cut one once the package's body has begun, and fails the download before,
  // instead of freezing the progress. Watched for the signature and the package.
  int32_t SilenceMinBytes = 1024;
  int32_t SilenceMs = 30000;

 private:
  using TEnded = std::function<void(const AnsiString& outcome)>;  // logs how the download ended
  enum TAttempt { atWhole, atInterrupted, atStartOver, atBroke };
  TOutcome Fetch(const AnsiString& url, const AnsiString& startLine, TReplacementFile& body, const TEnded& ended);
  TOutcome Refuse(const AnsiString& url, const std::string& reason, const TEnded& ended);
  TOutcome Settle(const AnsiString& url, TReplacementFile& body, bool whole, const std::string& signature,
                  const TEnded& ended);
  // Fetches the package into the body, retrying after a break; true when the body is
  // whole, false when interrupted meanwhile. Raises the last failure when the retries are
  // used up or the failure is not a break (an error status, a full disk).
  bool FetchPackage(const AnsiString& url, TReplacementFile& body);
  TAttempt Attempt(const AnsiString& url, TBoundedStream& bounded, TReplacementFile& body, bool bodyBegan,
                   std::exception_ptr& failure);
  bool WaitBeforeRetry(int ms);
  // Why an attempt broke off, in words for the log.
  AnsiString BreakCause(const std::exception_ptr& failure) const;
  void JudgeAttempt();
  bool FetchSignature(const AnsiString& url, std::string& signature);
  bool Verifies(const AnsiString& url, TReplacementFile& body, const std::string& signature);
  void Store(TReplacementFile& body, const std::string& signature);
  // Keeps the bytes of a download that ended early for the next one; takes them up again.
  void KeepPartial(TReplacementFile& body);
  void AdoptPartial(TReplacementFile& body);
  void ForgetPartial(TReplacementFile& body);
  bool Interrupted() const { return report_.Interruption() != nullptr; }
  // The body of the answer now read is the package's (not the signature's, nor an error page).
  bool PackageBody() const;
  TOutcome Failed(TReplacementFile& body, const TEnded& ended);
  AnsiString InterruptionText() const;

  TAppSettings settings_;
  TNetHTTP& client_;
  TJobReport& report_;
  // The download in progress: its file, its attempts, and the bytes that came in all of
  // its attempts (the speed counts these). An appended attempt's counts start at base_.
  TReplacementFile* body_ = nullptr;
  TResumePlan resume_;
  bool attemptJudged_ = true;
  int64_t base_ = 0;
  int64_t received_ = 0;
  int64_t announced_ = 0;
  int32_t attemptCount_ = 0;
  bool running_ = false;
  bool fetchingSignature_ = false;  // the work events are the signature's, not the package's
  int64_t signedSize_ = -1;         // the package's size as signed (-1: the signature gives none)
  TJobFailure failure_;
};

