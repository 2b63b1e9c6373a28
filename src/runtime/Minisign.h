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
//
// The trusted comment is covered by the global signature, so once VerifyComment has checked
// key and global signature its fields can be believed before the signed file is fetched.
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

// The fields of a trusted comment that mean something to the program. The comment is a
// TAB-separated list of "name:value" fields (minisign's own: "timestamp:<unix seconds>",
// "file:<name>", the bare word "hashed"); a publisher may add "size:<bytes>" and
// "expires:<unix seconds>". Fields of other names are ignored; a comment without fields
// (free text) yields none. -1 / empty: the field is not there.
struct TTrustedComment {
  int64_t Timestamp = -1;
  bool HasFile = false;
  std::string File;  // its bytes as signed (a code page 936 name stays in 936)
  int64_t Size = -1;
  int64_t Expires = -1;
};

// Reads the fields; raises ESignatureError when a field the program reads is there twice or
// its value is not a decimal number.
TTrustedComment ParseTrustedComment(const std::string& text);

// The id of the key that made a signature, as minisign prints it (16 hex digits); raises
// ESignatureError when the text is no signature. Says nothing of whether the key is trusted.
std::string SignatureKeyIdText(const std::string& signatureText);

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

  // Checks that the signature file's text is by one of the keys and that its trusted comment
  // is the one signed with it, and returns the comment's fields; raises ESignatureError.
  // The signed file's own check (Verify...) is still to come.
  TTrustedComment VerifyComment(const std::string& signatureText) const;
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
