#include <gtest/gtest.h>
#include <openssl/evp.h>

#include <functional>
#include <memory>
#include <random>

#include "runtime/Minisign.h"
#include "support/ExpectRaises.h"
#include "support/MinisignTool.h"
#include "support/TempDir.h"

namespace {

// A signed file as the checks see it: its bytes, the ".minisig" text and the ".pub" text.
struct TSigned {
  std::string File;
  std::string Signature;
  std::string Key;
};

// Keys, a file and its signatures made once by the minisign command.
struct TSignedSet {
  TempDir Dir;
  TMinisignPair A = MakeMinisignPair(Dir / "a");
  TMinisignPair B = MakeMinisignPair(Dir / "b");
  std::string File, PrehashedByA, LegacyByA, PrehashedByB;
  TSignedSet() {
    std::mt19937 rng(11);
    for (int i = 0; i < 300 * 1024; ++i) File += static_cast<char>(rng());
    Dir.Write("f.bin", File);
    PrehashedByA = A.Sign(Dir / "f.bin", false, "release 1.20\tfile:f.bin");
    LegacyByA = A.Sign(Dir / "f.bin", true);
    PrehashedByB = B.Sign(Dir / "f.bin");
  }
};

std::string Line(const std::string& text, int n) {
  size_t start = 0;
  for (int i = 0; i < n; ++i) start = text.find('\n', start) + 1;
  return text.substr(start, text.find('\n', start) - start);
}

std::string SetLine(const std::string& text, int n, const std::string& line) {
  size_t start = 0;
  for (int i = 0; i < n; ++i) start = text.find('\n', start) + 1;
  return text.substr(0, start) + line + text.substr(text.find('\n', start));
}

std::string Decode(const std::string& b64) {
  std::string out(b64.size(), '\0');
  const int n = EVP_DecodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(b64.data()), static_cast<int>(b64.size()));
  out.resize(static_cast<size_t>(n) - static_cast<size_t>(std::count(b64.begin(), b64.end(), '=')));
  return out;
}

std::string Encode(const std::string& raw) {
  std::string out(raw.size() * 2 + 4, '\0');
  const int n = EVP_EncodeBlock(reinterpret_cast<unsigned char*>(out.data()),
                                reinterpret_cast<const unsigned char*>(raw.data()), static_cast<int>(raw.size()));
  out.resize(static_cast<size_t>(n));
  return out;
}

// Line n of a text rewritten through its decoded bytes.
std::function<void(TSigned&)> EditDecoded(std::string TSigned::*text, int n, std::function<void(std::string&)> edit) {
  return [=](TSigned& s) {
    std::string raw = Decode(Line(s.*text, n));
    edit(raw);
    s.*text = SetLine(s.*text, n, Encode(raw));
  };
}

std::function<void(std::string&)> Flip(size_t offset) {
  return [=](std::string& raw) { raw[offset] = static_cast<char>(raw[offset] ^ 0x01); };
}

struct SignatureCase {
  const char* name;
  bool legacy;       // the "Ed" kind, signed over the file itself
  bool fromMemory;   // checked as bytes instead of as a file
  std::function<void(TSigned&, const TSignedSet&)> mutate;
  const char* refusal;  // nullptr: the signature verifies
};

void Keep(TSigned&, const TSignedSet&) {}
template <class F>
std::function<void(TSigned&, const TSignedSet&)> On(F f) {
  return [f](TSigned& s, const TSignedSet&) { f(s); };
}

const char* const kNotFile = "does not match the file";
const char* const kNotComment = "trusted comment's signature does not verify";

const SignatureCase kSignatureCases[] = {
    {"PrehashedFileVerifies", false, false, Keep, nullptr},
    {"LegacyFileVerifies", true, false, Keep, nullptr},
    {"PrehashedBytesVerify", false, true, Keep, nullptr},
    {"LegacyBytesVerify", true, true, Keep, nullptr},
    {"CrLfLineEndsVerify", false, false,
     On([](TSigned& s) {
       std::string crlf;
       for (char c : s.Signature) crlf += c == '\n' ? std::string("\r\n") : std::string(1, c);
       s.Signature = crlf;
     }),
     nullptr},
    {"FlippedFileByteIsRefused", false, false, On([](TSigned& s) { s.File[1234] ^= 0x20; }), kNotFile},
    {"FlippedFileByteIsRefusedLegacy", true, false, On([](TSigned& s) { s.File.back() ^= 0x01; }), kNotFile},
    {"LongerFileIsRefused", false, true, On([](TSigned& s) { s.File += 'x'; }), kNotFile},
    {"FlippedSignatureByteIsRefused", false, false, On(EditDecoded(&TSigned::Signature, 1, Flip(40))), kNotFile},
    {"ChangedTrustedCommentIsRefused", false, false,
     On([](TSigned& s) { s.Signature = SetLine(s.Signature, 2, "trusted comment: release 9.99"); }), kNotComment},
    {"FlippedGlobalSignatureByteIsRefused", true, false, On(EditDecoded(&TSigned::Signature, 3, Flip(5))),
     kNotComment},
    {"FlippedPublicKeyByteIsRefused", false, false, On(EditDecoded(&TSigned::Key, 1, Flip(20))), kNotFile},
    {"SignatureByAnotherKeyIsRefused", false, false,
     [](TSigned& s, const TSignedSet& set) { s.Signature = set.PrehashedByB; }, "which is not trusted"},
    {"OtherKeyIdIsRefused", false, false, On(EditDecoded(&TSigned::Signature, 1, Flip(2))), "which is not trusted"},
    {"DamagedKeyFileRefusesAll", false, false, On([](TSigned& s) { s.Key = "untrusted comment: x\nRWQ!\n"; }),
     "not valid base64"},
    {"BadBase64IsRefused", false, false,
     On([](TSigned& s) { s.Signature = SetLine(s.Signature, 1, "*" + Line(s.Signature, 1).substr(1)); }),
     "the signature line is not valid base64"},
    {"ShortSignatureIsRefused", false, false,
     On(EditDecoded(&TSigned::Signature, 1, [](std::string& raw) { raw.pop_back(); })), "holds 73 bytes, not 74"},
    {"ShortGlobalSignatureIsRefused", false, false,
     On(EditDecoded(&TSigned::Signature, 3, [](std::string& raw) { raw += 'x'; })), "holds 65 bytes, not 64"},
    {"UnknownTagIsRefused", false, false,
     On(EditDecoded(&TSigned::Signature, 1, [](std::string& raw) { raw[1] = 'X'; })), "unknown algorithm tag"},
    {"MissingTrustedCommentIsRefused", false, false,
     On([](TSigned& s) { s.Signature = Line(s.Signature, 0) + "\n" + Line(s.Signature, 1) + "\n"; }),
     "no \"trusted comment: \" line"},
    {"MissingGlobalSignatureIsRefused", false, false,
     On([](TSigned& s) { s.Signature = s.Signature.substr(0, s.Signature.rfind('\n', s.Signature.size() - 2) + 1); }),
     "no global signature line"},
    {"EmptySignatureFileIsRefused", false, false, On([](TSigned& s) { s.Signature.clear(); }),
     "does not begin with"},
};

class SignatureCheck : public testing::TestWithParam<SignatureCase> {
 protected:
  static void SetUpTestSuite() {
    if (HaveMinisign()) set_ = std::make_unique<TSignedSet>();
  }
  static void TearDownTestSuite() { set_.reset(); }
  static std::unique_ptr<TSignedSet> set_;
};
std::unique_ptr<TSignedSet> SignatureCheck::set_;

}  // namespace

TEST_P(SignatureCheck, VerifiesOnlyTheSignedBytesWithATrustedKey) {
  if (!set_) GTEST_SKIP() << "minisign is not installed";
  const SignatureCase& c = GetParam();
  TSigned s{set_->File, c.legacy ? set_->LegacyByA : set_->PrehashedByA, set_->A.PublicText()};
  c.mutate(s, *set_);
  TTrustedKeys keys;
  keys.AddText(s.Key, "test key");
  EXPECT_FALSE(keys.Empty());
  TempDir dir;
  dir.Write("package.zip", s.File);
  auto verify = [&] {
    if (c.fromMemory) keys.VerifyBytes(s.File.data(), s.File.size(), s.Signature);
    else keys.VerifyFile(dir / "package.zip", s.Signature);
  };
  if (!c.refusal) {
    EXPECT_NO_THROW(verify());
    return;
  }
  ExpectRaisesContaining<ESignatureError>(verify, c.refusal);
}

INSTANTIATE_TEST_SUITE_P(Minisign, SignatureCheck, testing::ValuesIn(kSignatureCases),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(TrustedKeys, TakeKeysFromPubFilesAndListsAndNothingFromEmptyText) {
  TTrustedKeys none;
  none.AddText("\n  \n", "empty");
  none.AddFile("/nonexistent/TavroMP3LiveUpdate.pub");
  EXPECT_TRUE(none.Empty());
  TTrustedKeys keys;
  keys.AddText("untrusted comment: minisign public key D050B68F282DA71B\r\n"
               "RWQbpy0oj7ZQ0JIbm8skVCIadtO6p/B/2/a2bT01JRvnt/S8gXkJW/O1\r\n",
               "pub");
  keys.AddText("RWQbpy0oj7ZQ0JIbm8skVCIadtO6p/B/2/a2bT01JRvnt/S8gXkJW/O1;"
               "RWQbpy0oj7ZQ0JIbm8skVCIadtO6p/B/2/a2bT01JRvnt/S8gXkJW/O1",
               "list");
  ASSERT_EQ(keys.Keys().size(), 3u);
  EXPECT_EQ(keys.Keys()[0].KeyIdText(), "D050B68F282DA71B");
  EXPECT_TRUE(keys.Problem().empty());
}

struct CommentCase {
  const char* text;
  int64_t timestamp, size, expires;
  const char* file;     // nullptr: no file: field
  const char* refusal;  // nullptr: read
};

class TrustedCommentFields : public testing::TestWithParam<CommentCase> {};

TEST_P(TrustedCommentFields, AreReadByNameWithUnknownOnesIgnored) {
  const CommentCase& c = GetParam();
  if (c.refusal) {
    ExpectRaisesContaining<ESignatureError>([&] { ParseTrustedComment(c.text); }, c.refusal);
    return;
  }
  const TTrustedComment fields = ParseTrustedComment(c.text);
  EXPECT_EQ(fields.Timestamp, c.timestamp);
  EXPECT_EQ(fields.Size, c.size);
  EXPECT_EQ(fields.Expires, c.expires);
  EXPECT_EQ(fields.HasFile, c.file != nullptr);
  if (c.file) {
    EXPECT_EQ(fields.File, c.file);
  }
}

INSTANTIATE_TEST_SUITE_P(
    Minisign, TrustedCommentFields,
    testing::Values(CommentCase{"timestamp:1796704487\tfile:f.txt\thashed", 1796704487, -1, -1, "f.txt", nullptr},
                    CommentCase{"timestamp:1\tfile:\xcc\xec\xf4\xa5T8_2.05.zip\tsize:3000000\texpires:9\thashed", 1,
                                3000000, 9, "\xcc\xec\xf4\xa5T8_2.05.zip", nullptr},
                    CommentCase{"release 1.20\tchannel:beta\tfile:a:b.zip\tmodel:X", -1, -1, -1, "a:b.zip", nullptr},
                    CommentCase{"file:", -1, -1, -1, "", nullptr},
                    CommentCase{"size:12x", 0, 0, 0, nullptr, "size: field is not a number"},
                    CommentCase{"expires:-5", 0, 0, 0, nullptr, "expires: field is not a number"},
                    CommentCase{"size:99999999999999999999", 0, 0, 0, nullptr, "size: field is not a number"},
                    CommentCase{"file:a.zip\tfile:b.zip", 0, 0, 0, nullptr, "names file: twice"},
                    CommentCase{"timestamp:1\ttimestamp:2", 0, 0, 0, nullptr, "names timestamp: twice"}));
