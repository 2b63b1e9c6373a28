// TSite: the update server as the job reads it: the catalogue (with its signature, the
// signing time remembered, its expiry, and the stored copy to fall back on) and the
// release notes, each fetched whole before it replaces the stored file.
#pragma once

#include <string>

#include "job/AppSettings.h"
#include "job/JobFailure.h"
#include "runtime/SysUtils.h"

class TMemoryStream;
class TNetHTTP;

class TSite {
 public:
  // The client is the caller's (its events, its cancel); the settings are copied.
  TSite(const TAppSettings& settings, TNetHTTP& client);

  // Fetches the URL and, only when the whole body arrived, replaces the file at the path
  // with it. False (and nothing written) when the fetch failed or the body passed its cap
  // (kCatalogueCap for the catalogue, else kReleaseNotesCap); raises EFCreateError when the
  // file cannot be written. With trusted keys set, the file's signature is fetched and judged
  // first (its file, its signed size; the catalogue's age and expiry too), and the file counts
  // as fetched only when it verifies. The catalogue's signing time is then remembered in the
  // data folder; release notes keep their signature beside them (SignatureName(path)).
  bool DownloadToFile(const AnsiString& url, const AnsiString& path, bool catalogue = false);

  // A page of the site for a web view, into `body` within `cap` bytes: the same client, proxy
  // choice and log as every fetch, no signature. True also for a redirect the client was set
  // not to follow (its target is then the client's response's Location). False, logged, when
  // it failed or went past the cap.
  bool FetchPage(const AnsiString& url, TMemoryStream& body, int64_t cap);

  enum TCatalogueState { csFetched, csStored, csNone };
  // The catalogue fetched from the server as at start; else the copy of an earlier run,
  // when there is one (logged either way; csNone is left to the caller to log).
  TCatalogueState FetchCatalogue();
  AnsiString CataloguePath() const;
  // The last fetch was refused by a signature check (not merely not fetched).
  bool Refused() const { return refused_; }
  // The last fetch's body went past its cap (or its signed size) and was refused.
  bool PastCap() const { return pastCap_; }
  // What ended the last fetch that failed, its cause in words (as the log has it).
  const TJobFailure& Failure() const { return failure_; }

 private:
  bool FetchSignature(const AnsiString& url, bool catalogue, std::string& signature, TTrustedComment& comment);
  // Logs the failure of the fetch that raised it (in a catch block); false.
  bool Failed(const AnsiString& what);
  bool UseProxyFor(const AnsiString& url);
  bool FetchBody(const AnsiString& url, TMemoryStream& body, int64_t limit, const AnsiString& refusal, bool judged);
  bool Accept(const AnsiString& url, const AnsiString& path, TMemoryStream& body, const std::string& signature,
              const TTrustedComment& comment, bool judged, bool catalogue);

  TAppSettings settings_;
  TNetHTTP& client_;
  bool refused_ = false;
  bool pastCap_ = false;
  TJobFailure failure_;
};
