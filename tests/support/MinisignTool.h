// Keys and signatures made by the real `minisign` command, for tests of signature checks.
#pragma once

#include <string>

// True when the `minisign` command is installed (scripts/setup-deps installs it).
bool HaveMinisign();

// A key pair made with `minisign -G -W` (no password) as BASE.pub and BASE.sec.
struct TMinisignPair {
  std::string PublicFile;
  std::string SecretFile;
  std::string PublicText() const;   // the ".pub" file's content
  std::string PublicBase64() const; // its key line
  // Writes FILE.minisig (prehashed "ED", or "Ed" when legacy) with the trusted comment;
  // returns the signature file's content.
  std::string Sign(const std::string& file, bool legacy = false, const std::string& comment = "") const;
};
TMinisignPair MakeMinisignPair(const std::string& base);
