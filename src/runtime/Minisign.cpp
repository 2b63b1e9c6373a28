#include "runtime/Minisign.h"

#include <fcntl.h>
#include <openssl/err.h>
#include <openssl/evp.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <memory>

#include "runtime/CodePage.h"
#include "runtime/FileIO.h"
#include "runtime/FileUtils.h"

namespace {

constexpr size_t kKeyBytes = 42;
constexpr size_t kSignatureBytes = 74;
constexpr size_t kEd25519SignatureBytes = 64;
constexpr size_t kBlake2bBytes = 64;
constexpr size_t kHashBlock = 256 * 1024;
const char* const kUntrustedPrefix = "untrusted comment:";
const char* const kTrustedPrefix = "trusted comment: ";

[[noreturn]] void Refuse(const std::string& reason) { throw ESignatureError(reason); }

int Base64Value(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

// Strict standard base64 with padding; what is the text of `what` in a refusal.
std::string DecodeBase64(const std::string& text, const char* what) {
  if (text.empty() || text.size() % 4 != 0) Refuse(std::string(what) + " is not valid base64 (length)");
  size_t padding = 0;
  if (text.back() == '=') padding = text[text.size() - 2] == '=' ? 2 : 1;
  std::string out;
  uint32_t bits = 0;
  for (size_t i = 0; i < text.size() - padding; ++i) {
    const int v = Base64Value(text[i]);
    if (v < 0) Refuse(std::string(what) + " is not valid base64 (character " + std::to_string(i + 1) + ")");
    bits = bits << 6 | static_cast<uint32_t>(v);
    if (i % 4 == 3) {
      out += static_cast<char>(bits >> 16);
      out += static_cast<char>(bits >> 8);
      out += static_cast<char>(bits);
      bits = 0;
    }
  }
  if (padding == 2) out += static_cast<char>(bits >> 4);
  if (padding == 1) {
    out += static_cast<char>(bits >> 10);
    out += static_cast<char>(bits >> 2);
  }
  return out;
}

std::string DecodeExact(const std::string& text, size_t bytes, const char* what) {
  std::string raw = DecodeBase64(text, what);
  if (raw.size() != bytes)
    Refuse(std::string(what) + " holds " + std::to_string(raw.size()) + " bytes, not " + std::to_string(bytes));
  return raw;
}

bool StartsWith(const std::string& text, const char* prefix) { return text.rfind(prefix, 0) == 0; }

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string::npos) end = text.size();
    std::string line = text.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(std::move(line));
    start = end + 1;
  }
  return lines;
}

struct TSignature {
  bool Prehashed = false;  // tag "ED"
  std::array<uint8_t, 8> KeyId{};
  std::string Signature;        // 64 bytes over the file or its hash
  std::string TrustedComment;   // without its prefix and line end
  std::string GlobalSignature;  // 64 bytes over Signature + TrustedComment
};

TSignature ParseSignature(const std::string& text) {
  const std::vector<std::string> lines = Lines(text);
  if (lines.empty() || !StartsWith(lines[0], kUntrustedPrefix))
    Refuse("the signature file does not begin with its \"untrusted comment:\" line");
  if (lines.size() < 2 || lines[1].empty()) Refuse("the signature file has no signature line");
  if (lines.size() < 3 || !StartsWith(lines[2], kTrustedPrefix))
    Refuse("the signature file has no \"trusted comment: \" line");
  if (lines.size() < 4 || lines[3].empty()) Refuse("the signature file has no global signature line");
  const std::string raw = DecodeExact(lines[1], kSignatureBytes, "the signature line");
  TSignature sig;
  if (raw.compare(0, 2, "ED") == 0) sig.Prehashed = true;
  else if (raw.compare(0, 2, "Ed") != 0) Refuse("the signature has an unknown algorithm tag");
  std::memcpy(sig.KeyId.data(), raw.data() + 2, sig.KeyId.size());
  sig.Signature = raw.substr(10);
  sig.TrustedComment = lines[2].substr(std::strlen(kTrustedPrefix));
  sig.GlobalSignature = DecodeExact(lines[3], kEd25519SignatureBytes, "the global signature line");
  return sig;
}

struct TPkeyFree { void operator()(EVP_PKEY* p) const { EVP_PKEY_free(p); } };
struct TMdCtxFree { void operator()(EVP_MD_CTX* p) const { EVP_MD_CTX_free(p); } };
struct TMdFree { void operator()(EVP_MD* p) const { EVP_MD_free(p); } };
using TMdCtx = std::unique_ptr<EVP_MD_CTX, TMdCtxFree>;

bool Ed25519Verify(const TMinisignKey& key, const std::string& signature, const void* message, size_t size) {
  std::unique_ptr<EVP_PKEY, TPkeyFree> pkey(
      EVP_PKEY_new_raw_public_key(EVP_PKEY_ED25519, nullptr, key.PublicKey.data(), key.PublicKey.size()));
  TMdCtx ctx(EVP_MD_CTX_new());
  const bool ok = pkey && ctx && EVP_DigestVerifyInit(ctx.get(), nullptr, nullptr, nullptr, pkey.get()) == 1 &&
                  EVP_DigestVerify(ctx.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                                   signature.size(), static_cast<const unsigned char*>(message), size) == 1;
  ERR_clear_error();
  return ok;
}

// BLAKE2b-512 of what `feed` hands over, block by block.
class TBlake2b {
 public:
  TBlake2b() : md_(EVP_MD_fetch(nullptr, "BLAKE2B-512", nullptr)), ctx_(EVP_MD_CTX_new()) {
    if (!md_ || !ctx_ || EVP_DigestInit_ex(ctx_.get(), md_.get(), nullptr) != 1)
      Refuse("BLAKE2b-512 is not available in this OpenSSL");
  }
  void Update(const void* data, size_t size) {
    if (EVP_DigestUpdate(ctx_.get(), data, size) != 1) Refuse("BLAKE2b-512 failed");
  }
  std::string Final() {
    std::string out(kBlake2bBytes, '\0');
    unsigned int length = 0;
    if (EVP_DigestFinal_ex(ctx_.get(), reinterpret_cast<unsigned char*>(out.data()), &length) != 1 ||
        length != kBlake2bBytes)
      Refuse("BLAKE2b-512 failed");
    return out;
  }

 private:
  std::unique_ptr<EVP_MD, TMdFree> md_;
  TMdCtx ctx_;
};

void CheckGlobalSignature(const TMinisignKey& key, const TSignature& sig) {
  const std::string signed_ = sig.Signature + sig.TrustedComment;
  if (!Ed25519Verify(key, sig.GlobalSignature, signed_.data(), signed_.size()))
    Refuse("the trusted comment's signature does not verify");
}

void CheckFileSignature(const TMinisignKey& key, const TSignature& sig, const void* message, size_t size) {
  if (!Ed25519Verify(key, sig.Signature, message, size)) Refuse("the signature does not match the file");
}

[[noreturn]] void RefuseFile(const AnsiString& fileName, int error) {
  Refuse("cannot read \"" + fileName + "\": " + SystemErrorText(error));
}

std::string HashFile(int fd, const AnsiString& fileName) {
  TBlake2b hash;
  std::string block(kHashBlock, '\0');
  int error = 0;
  while (const int64_t n = ReadFull(fd, block.data(), static_cast<int64_t>(block.size()), &error)) {
    if (error) break;
    hash.Update(block.data(), static_cast<size_t>(n));
  }
  if (error) RefuseFile(fileName, error);
  return hash.Final();
}

// Pure Ed25519 over a whole file, mapped rather than read into memory.
void CheckMappedFile(const TMinisignKey& key, const TSignature& sig, int fd, const AnsiString& fileName) {
  struct stat st {};
  if (::fstat(fd, &st) != 0) RefuseFile(fileName, errno);
  const size_t size = static_cast<size_t>(st.st_size);
  if (size == 0) return CheckFileSignature(key, sig, "", 0);
  void* map = ::mmap(nullptr, size, PROT_READ, MAP_PRIVATE, fd, 0);
  if (map == MAP_FAILED) RefuseFile(fileName, errno);
  ::madvise(map, size, MADV_SEQUENTIAL);
  struct TUnmap {
    void* p;
    size_t n;
    ~TUnmap() { ::munmap(p, n); }
  } unmap{map, size};
  CheckFileSignature(key, sig, map, size);
}

std::string HexByte(uint8_t b) {
  const char* digits = "0123456789ABCDEF";
  return {digits[b >> 4], digits[b & 15]};
}

std::string KeyIdText(const std::array<uint8_t, 8>& id) {
  std::string text;
  for (size_t i = id.size(); i-- > 0;) text += HexByte(id[i]);
  return text;
}

// A decimal field value: digits only, within 63 bits.
int64_t FieldNumber(const std::string& name, const std::string& value) {
  int64_t number = 0;
  if (value.empty() || value.size() > 18) Refuse("its trusted comment's " + name + ": field is not a number");
  for (const char c : value) {
    if (c < '0' || c > '9') Refuse("its trusted comment's " + name + ": field is not a number");
    number = number * 10 + (c - '0');
  }
  return number;
}

}  // namespace

TTrustedComment ParseTrustedComment(const std::string& text) {
  TTrustedComment comment;
  bool seenTimestamp = false, seenSize = false, seenExpires = false;
  const auto number = [](bool& seen, const std::string& name, const std::string& value) {
    if (seen) Refuse("its trusted comment names " + name + ": twice");
    seen = true;
    return FieldNumber(name, value);
  };
  size_t start = 0;
  while (start <= text.size()) {
    const size_t end = std::min(text.find('\t', start), text.size());
    const std::string field = text.substr(start, end - start);
    const size_t colon = field.find(':');
    if (colon != std::string::npos) {
      const std::string name = field.substr(0, colon), value = field.substr(colon + 1);
      if (name == "timestamp") comment.Timestamp = number(seenTimestamp, name, value);
      else if (name == "size") comment.Size = number(seenSize, name, value);
      else if (name == "expires") comment.Expires = number(seenExpires, name, value);
      else if (name == "file") {
        if (comment.HasFile) Refuse("its trusted comment names file: twice");
        comment.HasFile = true;
        comment.File = value;
      }
    }
    start = end + 1;
  }
  return comment;
}

std::string TMinisignKey::KeyIdText() const { return ::KeyIdText(KeyId); }

std::string SignatureKeyIdText(const std::string& signatureText) {
  return KeyIdText(ParseSignature(signatureText).KeyId);
}

TMinisignKey ParseMinisignKey(const std::string& base64) {
  const std::string raw = DecodeExact(base64, kKeyBytes, "the public key");
  if (raw.compare(0, 2, "Ed") != 0) Refuse("the public key has an unknown algorithm tag");
  TMinisignKey key;
  std::memcpy(key.KeyId.data(), raw.data() + 2, key.KeyId.size());
  std::memcpy(key.PublicKey.data(), raw.data() + 10, key.PublicKey.size());
  return key;
}

void TTrustedKeys::AddText(const std::string& text, const std::string& origin) {
  for (const std::string& line : Lines(text)) {
    if (StartsWith(line, kUntrustedPrefix)) continue;
    size_t start = 0;
    while (start < line.size()) {
      const size_t end = std::min(line.find_first_of("; \t", start), line.size());
      if (end > start) {
        try {
          keys_.push_back(ParseMinisignKey(line.substr(start, end - start)));
        } catch (const ESignatureError& e) {
          if (problem_.empty()) problem_ = origin + ": " + e.Message();
        }
      }
      start = end + 1;
    }
  }
}

void TTrustedKeys::AddFile(const AnsiString& fileName) {
  if (!FileExists(fileName)) return;
  try {
    AddText(ReadFileContent(fileName), fileName);
  } catch (const Exception& e) {
    if (problem_.empty()) problem_ = e.Message();
  }
}

const TMinisignKey& TTrustedKeys::KeyFor(const std::array<uint8_t, 8>& keyId) const {
  for (const TMinisignKey& key : keys_)
    if (key.KeyId == keyId) return key;
  std::string reason = "signed by key " + KeyIdText(keyId) + ", which is not trusted";
  if (!problem_.empty()) reason += " (" + problem_ + ")";
  Refuse(reason);
}

TTrustedComment TTrustedKeys::VerifyComment(const std::string& signatureText) const {
  const TSignature sig = ParseSignature(signatureText);
  CheckGlobalSignature(KeyFor(sig.KeyId), sig);
  return ParseTrustedComment(sig.TrustedComment);
}

void TTrustedKeys::VerifyBytes(const void* data, size_t size, const std::string& signatureText) const {
  const TSignature sig = ParseSignature(signatureText);
  const TMinisignKey& key = KeyFor(sig.KeyId);
  if (sig.Prehashed) {
    TBlake2b hash;
    hash.Update(data, size);
    const std::string digest = hash.Final();
    CheckFileSignature(key, sig, digest.data(), digest.size());
  } else {
    CheckFileSignature(key, sig, data, size);
  }
  CheckGlobalSignature(key, sig);
}

void TTrustedKeys::VerifyFile(const AnsiString& fileName, const std::string& signatureText) const {
  VerifyPath(AnsiPathToSys(fileName), fileName, signatureText);
}

void TTrustedKeys::VerifySystemFile(const std::string& path, const std::string& signatureText) const {
  VerifyPath(path, Utf8ToAnsi(path), signatureText);
}

void TTrustedKeys::VerifyPath(const std::string& path, const AnsiString& fileName,
                              const std::string& signatureText) const {
  const TSignature sig = ParseSignature(signatureText);
  const TMinisignKey& key = KeyFor(sig.KeyId);
  TFileHandle fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC));
  if (fd.Get() < 0) RefuseFile(fileName, errno);
  if (sig.Prehashed) {
    const std::string digest = HashFile(fd.Get(), fileName);
    CheckFileSignature(key, sig, digest.data(), digest.size());
  } else {
    CheckMappedFile(key, sig, fd.Get(), fileName);
  }
  CheckGlobalSignature(key, sig);
}
