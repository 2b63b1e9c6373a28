// One hand-made archive per failure mode, each with its expected outcome.
#include <gtest/gtest.h>

#include <filesystem>
#include <functional>
#include <map>

#include "runtime/Exception.h"
#include "support/ExpectRaises.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"
#include "zip/ZipConst.h"
#include "zip/ZipExcept.h"
#include "ZipTestUtil.h"

namespace {

ZipTestEntry File(const std::string& name, const std::string& data, uint16_t method = 8) {
  ZipTestEntry e;
  e.name = name;
  e.data = data;
  e.method = method;
  return e;
}

ZipTestArchive Plain(std::vector<ZipTestEntry> entries) {
  ZipTestArchive a;
  a.entries = std::move(entries);
  return a;
}

ZipTestArchive TwoFiles() { return Plain({File("a.txt", "first file\n"), File("sub/b.txt", std::string(5000, 'b'))}); }

enum Outcome { kExtracts, kOpenFails, kExtractRaisesReadError };

using TFiles = std::map<std::string, std::string>;

struct DamageCase {
  const char* label = "";
  std::function<std::string()> bytes = {};
  Outcome outcome = kExtracts;
  int openCode = 0;                    // for kOpenFails: the native error, -1 for "Stream read error"
  std::vector<int> failureCodes = {};  // per-entry failures (TZipErrorCode), in order
  TFiles files = {};                   // what must be in the base folder afterwards
};

const TFiles kTwoFiles = {{"a.txt", "first file\n"}, {"sub/b.txt", std::string(5000, 'b')}};
const TFiles kFirstOnly = {{"a.txt", "first file\n"}};
const TFiles kSecondOnly = {{"sub/b.txt", std::string(5000, 'b')}};

// A case whose archive is TwoFiles() changed by one step.
DamageCase Changed(const char* label, std::function<void(ZipTestArchive&)> change, DamageCase expected) {
  expected.label = label;
  expected.bytes = [change] { auto a = TwoFiles(); change(a); return BuildZip(a); };
  return expected;
}

// A case whose archive holds files under names that must not be extracted.
DamageCase Refused(const char* label, std::vector<ZipTestEntry> entries, TFiles files = {}) {
  return {.label = label, .bytes = [entries] { return BuildZip(Plain(entries)); },
          .failureCodes = {zecCannotCreateFile}, .files = std::move(files)};
}

DamageCase NotAnArchive(const char* label, std::string bytes) {
  return {.label = label, .bytes = [bytes] { return bytes; }, .outcome = kOpenFails, .openCode = zecInvalidArchive};
}

std::vector<DamageCase> Cases() {
  // 256 bytes is the longest name extracted; 300 fails rather than being cut to another name.
  const std::string longest = std::string(128, 'm') + "/" + std::string(127, 'm');
  return {
    Changed("NoEndRecordIsRecoveredByScan", [](auto& a) { a.writeEnd = false; }, {.files = kTwoFiles}),
    Changed("TrailingJunkIsRecoveredByScan", [](auto& a) { a.junk = "JUNK"; }, {.files = kTwoFiles}),
    Changed("PrefixWithShiftedOffsets",
            [](auto& a) { a.prefix = std::string(1234, 'x'); a.offsetsFromZipStart = true; }, {.files = kTwoFiles}),
    Changed("PrefixWithFileOffsets", [](auto& a) { a.prefix = "MZ" + std::string(500, '\0'); },
            {.files = kTwoFiles}),
    Changed("Zip64LocatorWithoutRecord", [](auto& a) { a.zip64LocatorOnly = true; },
            {.outcome = kOpenFails, .openCode = zecNoZip64EndRecord}),
    Changed("CrcMismatch", [](auto& a) { a.entries[0].crc = 0x12345678; },
            {.failureCodes = {zecBadEntry}, .files = kSecondOnly}),
    Changed("SizeMismatch", [](auto& a) { a.entries[1].uncompressedSize = 4999; },
            {.failureCodes = {zecBadEntry}, .files = kFirstOnly}),
    // The data is whole by its CRC, but shorter than the size the directory declares.
    Changed("DecodesShortOfDeclaredSize", [](auto& a) { a.entries[1].uncompressedSize = 5001; },
            {.failureCodes = {zecBadEntry}, .files = kFirstOnly}),
    Changed("RecoveredEntryWithoutItsDescriptor", [](auto& a) { a.entries[0].flags = 0x08; a.writeEnd = false; },
            {.failureCodes = {zecBadEntry}, .files = kSecondOnly}),
    Changed("StaleUnicodePathFieldIsIgnored",
            [](auto& a) { a.entries[0].extra = std::string("\x75\x70\x0A\x00\x01\x00\x00\x00\x00", 9) + "x.txt"; },
            {.files = kTwoFiles}),
    {.label = "TruncatedData",
     .bytes = [] { auto a = Plain({File("big.bin", std::string(70000, 'q'), 0)}); std::string z = BuildZip(a);
                   // Cut the data; the directory and end record stay (their offsets no longer match).
                   return z.substr(0, 30 + 7 + 1000) + z.substr(30 + 7 + 70000); },
     .failureCodes = {zecBadEntry}},
    Changed("Deflate64", [](auto& a) { a.entries[0].method = 9; },
            {.failureCodes = {zecDeflate64}, .files = kSecondOnly}),
    Changed("UnknownMethodOfLaterVersion", [](auto& a) { a.entries[0].method = 12; a.entries[0].versionNeeded = 46; },
            {.failureCodes = {zecBadEntry}, .files = kSecondOnly}),
    Changed("LocalHeaderOffsetPastEnd", [](auto& a) { a.entries[1].localOffset = 0x7FFFFFF0; },
            {.outcome = kExtractRaisesReadError, .files = kFirstOnly}),
    Refused("DotDotName", {File("../evil.txt", "x"), File("ok.txt", "ok")}, {{"ok.txt", "ok"}}),
    Refused("DotDotInsideName", {File("sub/../../evil.txt", "x")}),
    Refused("AbsoluteName", {File("/tmp/tavro-evil.txt", "x")}),
    Refused("BackslashAbsoluteName", {File("\\\\server\\share\\x.txt", "x")}),
    Refused("DriveName", {File("C:\\evil.txt", "x")}),
    Refused("NameWithNul", {File(std::string("a\0b.txt", 7), "x")}),
    Refused("EmptyName", {File("", "x")}),
    Refused("LongName", {File(std::string(300, 'n'), "x"), File(longest, "y")}, {{longest, "y"}}),
    {.label = "BackslashSeparators", .bytes = [] { return BuildZip(Plain({File("sub\\inner\\c.txt", "c")})); },
     .files = {{"sub/inner/c.txt", "c"}}},
    Changed("ExtraFieldRunningPastItsEnd",
            [](auto& a) {
              a.entries[0].extra = std::string("\x01\x00\x40\x00", 4) + "short";  // Zip64 field claiming 64 bytes
              a.entries[1].extra = std::string("\x55\x54\x09", 3);                // a head cut in half
              a.entries[1].localExtra = std::string("\xff\xff\xff\xff", 4);
            },
            {.files = kTwoFiles}),
    {.label = "DecompressionBomb",
     .bytes = [] { auto e = File("bomb.bin", std::string(20 << 20, '\0')); e.uncompressedSize = 1000;
                   return BuildZip(Plain({e})); },
     .failureCodes = {zecBadEntry}},
    Changed("TrailingBytesAfterDeflateAbsorbed", [](auto& a) { a.entries[0].trailing = "xyz"; },
            {.files = kTwoFiles}),
    Changed("FourTrailingBytesMustBeTheChecksum", [](auto& a) { a.entries[0].trailing = "wxyz"; },
            {.failureCodes = {zecBadEntry}, .files = kSecondOnly}),
    Changed("EntryCountBeyondDirectorySize", [](auto& a) { a.totalEntries = 60000; }, {.files = kTwoFiles}),
    Changed("DirectorySizeBeforeStartOfFile", [](auto& a) { a.directorySize = 0x7FFFFFFF; },
            {.outcome = kOpenFails, .openCode = -1}),
    Changed("MultiVolume", [](auto& a) { a.thisDisk = 1; }, {.outcome = kOpenFails, .openCode = zecVolumeMissing}),
    {.label = "OnlyAnEndRecord", .bytes = [] { return BuildZip(ZipTestArchive()); }},
    NotAnArchive("ZeroLengthFile", ""),
    NotAnArchive("TextFile", "this is not an archive\r\n"),
    NotAnArchive("SignatureCutByEndOfFile", std::string("garbage PK\x03", 11)),
  };
}

class DamagedArchive : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedArchive, HasItsExpectedOutcome) {
  const DamageCase& c = GetParam();
  TempDir dir;
  dir.Write("t.zip", c.bytes());
  RecordingArchiver zip;
  zip.archiver.SetFileName(dir / "t.zip");
  try {
    zip.archiver.OpenZipFile(fmOpenRead | fmShareDenyWrite);
    EXPECT_NE(kOpenFails, c.outcome) << "opened";
  } catch (const EZipException& e) {
    EXPECT_EQ(kOpenFails, c.outcome) << e.Message();
    EXPECT_EQ(c.openCode, e.NativeError()) << e.Message();
    return;
  } catch (const EReadError& e) {
    EXPECT_EQ(kOpenFails, c.outcome);
    EXPECT_EQ(-1, c.openCode);
    EXPECT_EQ("Stream read error", e.Message());
    return;
  }
  zip.archiver.SetBaseDir(dir / "out");
  try {
    zip.archiver.ExtractMatching("*.*", 10431, "");
    EXPECT_EQ(kExtracts, c.outcome);
  } catch (const EReadError& e) {
    EXPECT_EQ(kExtractRaisesReadError, c.outcome) << e.Message();
  }
  std::vector<int> codes;
  for (const auto& f : zip.failures) codes.push_back(f.nativeError);
  EXPECT_EQ(c.failureCodes, codes);

  // Exactly the expected files, and nothing beside the archive and the base folder.
  std::map<std::string, std::string> found;
  if (std::filesystem::exists(dir / "out"))
    for (auto& e : std::filesystem::recursive_directory_iterator(dir / "out"))
      if (e.is_regular_file()) found[std::filesystem::relative(e.path(), dir / "out").string()] = dir.Read(
          std::filesystem::relative(e.path(), dir.Path()).string());
  EXPECT_EQ(c.files, found);
  for (auto& e : std::filesystem::directory_iterator(dir.Path()))
    EXPECT_TRUE(e.path().filename() == "t.zip" || e.path().filename() == "out") << e.path();
  EXPECT_FALSE(std::filesystem::exists("/tmp/tavro-evil.txt"));
}

INSTANTIATE_TEST_SUITE_P(Table, DamagedArchive, ::testing::ValuesIn(Cases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(DamagedArchive, MessagesOfOpenFailuresAreComposedAsDocumented) {
  TempDir dir;
  dir.Write("text.zip", "plain text\n");
  TZipArchiver archiver;
  archiver.SetName("Archiver");
  archiver.SetFileName(dir / "text.zip");
  ExpectRaises<EZipException>([&] { archiver.OpenZipFile(fmOpenRead | fmShareDenyWrite); }, "Invalid archive file. - Native error: 00035",
                               [](const EZipException& e) { EXPECT_EQ(18, e.ErrorCode()); });
  archiver.SetFileName(dir / "missing.zip");
  ExpectRaises<EZipException>([&] { archiver.OpenZipFile(fmOpenRead | fmShareDenyWrite); },
                               "Archiver: File \"" + dir / "missing.zip" + "\" not found - Native error: 00012");
  archiver.CloseZipFile();
  EXPECT_FALSE(archiver.Active());
}

}  // namespace
