// Publisher signatures in the minisign format: trusted public keys, and the check of a file
// (or a block of bytes) against its detached ".minisig" signature.
//
// A public key is the base64 of 42 bytes: "Ed", the 8-byte key id, the Ed25519 key. A
// signature file has four lines: an untrusted comment; the base64 of 74 bytes (tag, key id,
// Ed25519 signature); "trusted comment: " and its text; the base64 of the 64-byte global
// signature over the line-2 signature bytes followed by the trusted comment's text. Tag "ED"
// signs the BLAKE2b-512 hash of the file, tag "Ed" (older minisign, "-l") the file itself.
//
// Every check is done with OpenSSL's EVP (Ed25519, BLAKE2B-512). Memory stays flat in the
// file's size: an "ED" file is read through the hash in blocks; an "Ed" file, whose pure
// Ed25519 check needs the whole message in one call, is mapped into memory (mmap), not read
// into a buffer.
//
// Every refusal raises ESignatureError with a plain reason (bad base64, wrong length,
// missing line, unknown tag, another key, a check that failed).
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "runtime/Exception.h"

TAVRO_DECLARE_EXCEPTION(ESignatureError, Exception)

struct TMinisignKey {
  std::array<uint8_t, 8> KeyId{};       // as stored: little-endian
  std::array<uint8_t, 32> PublicKey{};
  // The key id as minisign prints it: 16 hex digits, most significant first.
  std::string KeyIdText() const;
};

// The key of one base64 text (the second line of a ".pub" file); raises ESignatureError.
TMinisignKey ParseMinisignKey(const std::string& base64);

// The keys a program trusts. Empty means signatures are not used at all.
class TTrustedKeys {
 public:
  // Adds every key of a text: ".pub" files (comment lines "untrusted comment: ..." are
  // skipped) or key texts separated by line ends, ";" or spaces. A text that holds an item
  // that is not a key still counts as "keys set" (NotEmpty), so a damaged key file turns
  // verification into refusals, never off; Problem() tells what was wrong with it.
  void AddText(const std::string& text, const std::string& origin);
  // Adds the keys of a file when it exists; a file that cannot be read counts like a damaged one.
  void AddFile(const AnsiString& fileName);

  bool Empty() const { return keys_.empty() && problem_.empty(); }
  const std::vector<TMinisignKey>& Keys() const { return keys_; }
  const std::string& Problem() const { return problem_; }

  // Checks the bytes against the signature file's text; raises ESignatureError when they
  // were not signed by one of the keys.
  void VerifyBytes(const void* data, size_t size, const std::string& signatureText) const;
  // The same for a file, streamed (see above); a file that cannot be read is a refusal too.
  void VerifyFile(const AnsiString& fileName, const std::string& signatureText) const;
  // The same for a file named by its path on the system (UTF-8), not by an ANSI name.
  void VerifySystemFile(const std::string& path, const std::string& signatureText) const;

 private:
  const TMinisignKey& KeyFor(const std::array<uint8_t, 8>& keyId) const;
  void VerifyPath(const std::string& path, const AnsiString& name, const std::string& signatureText) const;
  std::vector<TMinisignKey> keys_;
  std::string problem_;
};
