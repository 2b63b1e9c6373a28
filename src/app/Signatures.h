// The publisher's signatures on the update server's files, as the windows check them.
//
// With no trusted key nothing here fetches or checks anything: every check passes. A refusal
// goes to the program's log with its reason, as does each signature that verifies; the windows
// show their own boxes.
#pragma once

#include <functional>
#include <string>

#include "runtime/SysUtils.h"

class TNetHTTP;
class TTrustedKeys;

// The signature of a file: its URL or path followed by ".minisig".
AnsiString SignatureName(const AnsiString& urlOrPath);

// Fetches the signature of `url` through the client into `signature`; false when it is
// missing or arrived cut short.
bool FetchSignature(TNetHTTP& client, const AnsiString& url, std::string& signature);

// Runs one check of the trusted keys (TTrustedKeys::Verify...); false when it refuses.
// `what` names the file in the refusal's line.
bool SignatureAccepted(const AnsiString& what, const std::function<void()>& check);

// Fetches the signature of `url` and checks the bytes (the body fetched from `url`) against it.
bool FetchedBodyVerifies(TNetHTTP& client, const TTrustedKeys& keys, const AnsiString& url, const void* data,
                         size_t size);

// Checks a stored file against the signature stored beside it (its name + ".minisig"); a
// missing signature file is a refusal.
bool StoredFileVerifies(const TTrustedKeys& keys, const AnsiString& fileName);
