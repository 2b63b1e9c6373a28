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
  // file cannot be written. With trusted keys set, the catalogue's signature is fetched and
  // judged first (its file, its age, its expiry, its signed size), and the catalogue counts
  // as fetched only when it verifies; its signing time is then remembered in the data folder.
  bool DownloadToFile(const AnsiString& url, const AnsiString& path, bool catalogue = false);

  enum TCatalogueState { csFetched, csStored, csNone };
  // The catalogue fetched from the server as at start; else the copy of an earlier run,
  // when there is one (logged either way; csNone is left to the caller to log).
  TCatalogueState FetchCatalogue();
  AnsiString CataloguePath() const;
  // The last fetch was refused by a signature check (not merely not fetched).
  bool Refused() const { return refused_; }
  // What ended the last fetch that failed, its cause in words (as the log has it).
  const TJobFailure& Failure() const { return failure_; }

 private:
  bool FetchSignature(const AnsiString& url, std::string& signature, TTrustedComment& comment);
  // Logs the failure of the fetch that raised it (in a catch block); false.
  bool Failed(const AnsiString& what);
  bool Accept(const AnsiString& url, const AnsiString& path, TMemoryStream& body,
              const std::string& signature, const TTrustedComment& comment, bool judged);

  TAppSettings settings_;
  TNetHTTP& client_;
  bool refused_ = false;
  TJobFailure failure_;
};
