// The publisher's signatures on the update server's files, as the windows check them, and
// the limits every fetched body is held to.
//
// With no trusted key nothing here fetches or checks anything: every check passes (the caps
// on bodies apply all the same). With keys, a file's signature is fetched and judged before
// the file itself: by a trusted key, its trusted comment intact, and signed for the very file
// that was asked for (its "file:" field equals the last segment of the request's path, as the
// code page 936 bytes the program put there). The catalogue's signature must also be no older
// than that of the last catalogue accepted, and not expired. A refusal goes to the program's
// log as "signature of <what> refused: <reason>", as does each signature that verifies; the
// windows show their own boxes.
#pragma once

#include <cstdint>
#include <functional>
#include <string>

#include "runtime/Minisign.h"
#include "runtime/SysUtils.h"

class TNetHTTP;
class TTrustedKeys;

// What a body may hold when no signed size says otherwise: a signature, a catalogue,
// release notes. A body that passes its cap is refused at once, never read to its end.
constexpr int64_t kSignatureCap = 4 * 1024;
constexpr int64_t kCatalogueCap = 1024 * 1024;
constexpr int64_t kReleaseNotesCap = 4 * 1024 * 1024;

// The data folder's file that remembers the signing time of the last catalogue accepted.
extern const char* const kTrustedTimeFileName;  // "TavroMP3LiveUpdate.time"

// The signature of a file: its URL or path followed by ".minisig".
AnsiString SignatureName(const AnsiString& urlOrPath);

// The file a URL asks for: the last segment of its path (query left out).
AnsiString RequestedFileName(const AnsiString& url);

// Logs the refusal of the signature of `what`; false.
bool SignatureRefused(const AnsiString& what, const std::string& reason);

// Runs one check of the trusted keys (TTrustedKeys::Verify...); false when it refuses.
// `what` names the file in the refusal's line.
bool SignatureAccepted(const AnsiString& what, const std::function<void()>& check);

// "it went past the cap of N bytes" / "the body went past its signed size of N bytes".
AnsiString CapRefusal(int64_t cap);
AnsiString SignedSizeRefusal(int64_t size);

// Fetches the signature of `url` (within kSignatureCap) and checks its key, its trusted
// comment and its "file:" against the file the URL asks for; the signature's text and the
// comment's fields come back. False, logged, when it is refused: its checks fail, or the
// server says it has none (4xx). Raises the client's error when it cannot be fetched: the
// server not reached, no answer in time, a body broken off, a server failure (5xx).
bool FetchTrustedSignature(TNetHTTP& client, const TTrustedKeys& keys, const AnsiString& url,
                           std::string& signature, TTrustedComment& comment);

// The catalogue's freshness: not older than the catalogue last accepted (remembered in the
// data folder), not expired at `now` (Unix seconds). False, logged, when it is refused.
bool CatalogueIsCurrent(const AnsiString& url, const TTrustedComment& comment, const AnsiString& dataFolder,
                        int64_t now);
// Remembers the accepted catalogue's signing time (atomically; raises when it cannot).
void RememberCatalogueTime(const TTrustedComment& comment, const AnsiString& dataFolder);

// What the check of a stored file found: whether it verifies, by which key, and what its
// signature's trusted comment says (its file, its signing time, its size).
struct TStoredCheck {
  bool Checked = false;   // false: no key is trusted, nothing was checked (and it "verifies")
  bool Verified = false;
  std::string KeyId;      // the key that signed it, when its signature could be read
  TTrustedComment Comment;
  std::string Problem;    // why it was refused
};
// `signedFor` is the name the file was signed for when it is stored under another (release
// notes: fetched as <N>.asp, stored as <N>.htm); empty, the stored file's own name.
TStoredCheck CheckStoredFile(const TTrustedKeys& keys, const AnsiString& fileName, const AnsiString& signedFor = "");

// Checks a stored file against the signature stored beside it (its name + ".minisig"),
// including that it is signed for the stored file's name (or `signedFor`); a missing
// signature file is a refusal.
bool StoredFileVerifies(const TTrustedKeys& keys, const AnsiString& fileName, const AnsiString& signedFor = "");
