#include "job/Signatures.h"

#include <ctime>

#include "job/ComponentSettings.h"
#include "http/NetHTTP.h"
#include "net/NetException.h"
#include "platform/Log.h"
#include "runtime/BoundedStream.h"
#include "runtime/FileUtils.h"
#include "runtime/MemoryStream.h"
#include "runtime/Minisign.h"
#include "runtime/PathUtils.h"

const char* const kTrustedTimeFileName = "TavroMP3LiveUpdate.time";

namespace {
// A day as a person reads it in a refusal: YYYY-MM-DD, in UTC.
std::string Day(int64_t seconds) {
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  char text[16] = "?";
  if (gmtime_r(&t, &tm)) std::strftime(text, sizeof text, "%Y-%m-%d", &tm);
  return text;
}

// The name signed must be the name asked for, byte for byte: why it is not ("" when it is).
std::string SignedForFileProblem(const TTrustedComment& comment, const AnsiString& fileName) {
  if (!comment.HasFile) return "it names no file (its trusted comment has no file: field)";
  if (comment.File != fileName) return "it is signed for " + comment.File;
  return "";
}

bool SignedForFile(const AnsiString& what, const TTrustedComment& comment, const AnsiString& fileName) {
  const std::string problem = SignedForFileProblem(comment, fileName);
  return problem.empty() || SignatureRefused(what, problem);
}

// The stored file's check as far as its signature goes: its key, its comment, its name.
std::string StoredSignatureProblem(const TTrustedKeys& keys, const AnsiString& fileName, const AnsiString& signedFor,
                                   TStoredCheck& check, std::string& signature) {
  const AnsiString signatureFile = SignatureName(fileName);
  if (!FileExists(signatureFile)) return "no signature is stored beside it";
  try {
    signature = ReadFileContent(signatureFile);
    check.KeyId = SignatureKeyIdText(signature);
    check.Comment = keys.VerifyComment(signature);
  } catch (const Exception& e) {
    return LogErrorText(e);
  }
  return SignedForFileProblem(check.Comment, signedFor.empty() ? ExtractFileName(fileName) : signedFor);
}

// The remembered signing time, or -1 when none is (or the file is damaged, which is logged).
int64_t RememberedCatalogueTime(const AnsiString& dataFolder) {
  const AnsiString path = dataFolder + kTrustedTimeFileName;
  if (!FileExists(path)) return -1;
  try {
    const TTrustedComment remembered = ParseTrustedComment(Trim(ReadFileContent(path)));
    if (remembered.Timestamp >= 0) return remembered.Timestamp;
  } catch (const Exception&) {
  }
  LogStep("catalogue: " + path + " holds no signing time; none is remembered");
  return -1;
}
}  // namespace

AnsiString SignatureName(const AnsiString& urlOrPath) { return urlOrPath + ".minisig"; }

AnsiString RequestedFileName(const AnsiString& url) {
  const AnsiString path = url.substr(0, url.find_first_of("?#"));
  // A trail byte of code page 936 is never "/": the last "/" ends the folder part.
  return path.substr(path.rfind('/') + 1);
}

bool SignatureRefused(const AnsiString& what, const std::string& reason) {
  LogStep("signature of " + what + " refused: " + reason);
  return false;
}

bool SignatureAccepted(const AnsiString& what, const std::function<void()>& check) {
  try {
    check();
  } catch (const Exception& e) {
    return SignatureRefused(what, LogErrorText(e));
  }
  LogStep("signature of " + what + " verified");
  return true;
}

AnsiString CapRefusal(int64_t cap) { return "it went past the cap of " + IntToStr(cap) + " bytes"; }
AnsiString SignedSizeRefusal(int64_t size) {
  return "the body went past its signed size of " + IntToStr(size) + " bytes";
}

bool FetchTrustedSignature(TNetHTTP& client, const TTrustedKeys& keys, const AnsiString& url,
                           std::string& signature, TTrustedComment& comment) {
  TMemoryStream body;
  TBoundedStream bounded(body, kSignatureCap,
                         "its signature file went past the cap of " + IntToStr(kSignatureCap) + " bytes");
  try {
    client.FetchUrl(SignatureName(url), bounded);
  } catch (const EStreamLimitError& e) {
    return SignatureRefused(url, e.Message());
  } catch (const ENetHTTPProtocolException& e) {
    // The server answered that it has no such signature: the file is unsigned. A server that
    // fails (5xx) says nothing of the signature; that is the network's failure, raised on.
    if (e.ErrorCode() >= 500) throw;
    return SignatureRefused(url, std::string("cannot fetch it: ") + e.what());
  }
  // Broken off before its announced end: the connection failed, not the signature.
  if (!BodyIsWhole(client, body.Size())) throw ENetConnClosedGracefully();
  signature.assign(body.Memory() ? body.Memory() : "", static_cast<size_t>(body.Size()));
  try {
    comment = keys.VerifyComment(signature);
  } catch (const Exception& e) {
    return SignatureRefused(url, e.Message());
  }
  return SignedForFile(url, comment, RequestedFileName(url));
}

bool CatalogueIsCurrent(const AnsiString& url, const TTrustedComment& comment, const AnsiString& dataFolder,
                        int64_t now) {
  if (comment.Expires >= 0 && comment.Expires < now)
    return SignatureRefused(url, "it expired on " + Day(comment.Expires));
  const int64_t trusted = RememberedCatalogueTime(dataFolder);
  if (trusted < 0) return true;
  if (comment.Timestamp < 0)
    return SignatureRefused(url, "it carries no signing time, and a catalogue signed " + Day(trusted) +
                                     " is already trusted");
  if (comment.Timestamp < trusted)
    return SignatureRefused(url, "it is older than the catalogue already trusted (signed " + Day(comment.Timestamp) +
                                     ", trusted " + Day(trusted) + ")");
  return true;
}

void RememberCatalogueTime(const TTrustedComment& comment, const AnsiString& dataFolder) {
  if (comment.Timestamp < 0) return;
  const AnsiString text = "timestamp:" + IntToStr(comment.Timestamp) + "\r\n";
  ReplaceFileContent(dataFolder + kTrustedTimeFileName, text.data(), static_cast<int64_t>(text.size()));
}

TStoredCheck CheckStoredFile(const TTrustedKeys& keys, const AnsiString& fileName, const AnsiString& signedFor) {
  TStoredCheck check;
  check.Verified = keys.Empty();
  if (keys.Empty()) return check;
  check.Checked = true;
  // The log shows the stored name as it is on disk; the checks use it as the program built it.
  const AnsiString shown = LogPath(fileName);
  std::string signature;
  check.Problem = StoredSignatureProblem(keys, fileName, signedFor, check, signature);
  if (check.Problem.empty()) {
    try {
      keys.VerifyFile(fileName, signature);
    } catch (const Exception& e) {
      check.Problem = LogErrorText(e);
    }
  }
  if (check.Problem.empty()) {
    LogStep("signature of " + shown + " verified");
    check.Verified = true;
  } else {
    SignatureRefused(shown, check.Problem);
  }
  return check;
}

bool StoredFileVerifies(const TTrustedKeys& keys, const AnsiString& fileName, const AnsiString& signedFor) {
  return CheckStoredFile(keys, fileName, signedFor).Verified;
}
