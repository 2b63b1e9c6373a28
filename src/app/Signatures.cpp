#include "app/Signatures.h"

#include "app/ComponentSettings.h"
#include "http/NetHTTP.h"
#include "platform/Log.h"
#include "runtime/FileUtils.h"
#include "runtime/MemoryStream.h"
#include "runtime/Minisign.h"

namespace {
bool Refused(const AnsiString& what, const std::string& reason) {
  LogStep("signature of " + what + " refused: " + reason);
  return false;
}
}  // namespace

AnsiString SignatureName(const AnsiString& urlOrPath) { return urlOrPath + ".minisig"; }

bool FetchSignature(TNetHTTP& client, const AnsiString& url, std::string& signature) {
  TMemoryStream body;
  try {
    client.FetchUrl(SignatureName(url), body);
  } catch (const std::exception& e) {
    return Refused(url, std::string("cannot fetch it: ") + e.what());
  }
  if (!BodyIsWhole(client, body.Size())) return Refused(url, "it arrived cut short");
  signature.assign(body.Memory(), static_cast<size_t>(body.Size()));
  return true;
}

bool SignatureAccepted(const AnsiString& what, const std::function<void()>& check) {
  try {
    check();
  } catch (const Exception& e) {
    return Refused(what, LogErrorText(e));
  }
  LogStep("signature of " + what + " verified");
  return true;
}

bool FetchedBodyVerifies(TNetHTTP& client, const TTrustedKeys& keys, const AnsiString& url, const void* data,
                         size_t size) {
  if (keys.Empty()) return true;
  std::string signature;
  return FetchSignature(client, url, signature) &&
         SignatureAccepted(url, [&] { keys.VerifyBytes(data, size, signature); });
}

bool StoredFileVerifies(const TTrustedKeys& keys, const AnsiString& fileName) {
  if (keys.Empty()) return true;
  const AnsiString signatureFile = SignatureName(fileName);
  if (!FileExists(signatureFile)) return Refused(LogPath(fileName), "no signature is stored beside it");
  return SignatureAccepted(LogPath(fileName), [&] { keys.VerifyFile(fileName, ReadFileContent(signatureFile)); });
}
