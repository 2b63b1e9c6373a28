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

struct DamageCase {
  const char* label;
  std::function<std::string()> bytes;
  Outcome outcome;
  int openCode;                            // for kOpenFails: the native error, -1 for "Stream read error"
  std::vector<int> failureCodes;           // per-entry failures (TZipErrorCode), in order
  std::map<std::string, std::string> files;  // what must be in the base folder afterwards
};

const std::map<std::string, std::string> kTwoFiles = {{"a.txt", "first file\n"}, {"sub/b.txt", std::string(5000, 'b')}};

std::vector<DamageCase> Cases() {
  std::vector<DamageCase> cases;
  auto add = [&](DamageCase c) { cases.push_back(std::move(c)); };
  add({"NoEndRecordIsRecoveredByScan", [] { auto a = TwoFiles(); a.writeEnd = false; return BuildZip(a); },
       kExtracts, 0, {}, kTwoFiles});
  add({"TrailingJunkIsRecoveredByScan", [] { auto a = TwoFiles(); a.junk = "JUNK"; return BuildZip(a); },
       kExtracts, 0, {}, kTwoFiles});
  add({"PrefixWithShiftedOffsets",
       [] { auto a = TwoFiles(); a.prefix = std::string(1234, 'x'); a.offsetsFromZipStart = true; return BuildZip(a); },
       kExtracts, 0, {}, kTwoFiles});
  add({"PrefixWithFileOffsets", [] { auto a = TwoFiles(); a.prefix = "MZ" + std::string(500, '\0'); return BuildZip(a); },
       kExtracts, 0, {}, kTwoFiles});
  add({"Zip64LocatorWithoutRecord", [] { auto a = TwoFiles(); a.zip64LocatorOnly = true; return BuildZip(a); },
       kOpenFails, zecNoZip64EndRecord, {}, {}});
  add({"CrcMismatch", [] { auto a = TwoFiles(); a.entries[0].crc = 0x12345678; return BuildZip(a); },
       kExtracts, 0, {zecBadEntry}, {{"sub/b.txt", std::string(5000, 'b')}}});
  add({"SizeMismatch", [] { auto a = TwoFiles(); a.entries[1].uncompressedSize = 4999; return BuildZip(a); },
       kExtracts, 0, {zecBadEntry}, {{"a.txt", "first file\n"}}});
  // The data is whole by its CRC, but shorter than the size the directory declares.
  add({"DecodesShortOfDeclaredSize", [] { auto a = TwoFiles(); a.entries[1].uncompressedSize = 5001; return BuildZip(a); },
       kExtracts, 0, {zecBadEntry}, {{"a.txt", "first file\n"}}});
  add({"RecoveredEntryWithoutItsDescriptor",
       [] { auto a = TwoFiles(); a.entries[0].flags = 0x08; a.writeEnd = false; return BuildZip(a); },
       kExtracts, 0, {zecBadEntry}, {{"sub/b.txt", std::string(5000, 'b')}}});
  add({"StaleUnicodePathFieldIsIgnored",
       [] { auto a = TwoFiles();
            a.entries[0].extra = std::string("\x75\x70\x0A\x00\x01\x00\x00\x00\x00", 9) + "x.txt";
            return BuildZip(a); },
       kExtracts, 0, {}, kTwoFiles});
  add({"TruncatedData",
       [] { auto a = Plain({File("big.bin", std::string(70000, 'q'), 0)}); std::string z = BuildZip(a);
            // Cut the data; the directory and end record stay (their offsets no longer match).
            return z.substr(0, 30 + 7 + 1000) + z.substr(30 + 7 + 70000); },
       kExtracts, 0, {zecBadEntry}, {}});
  add({"Deflate64", [] { auto a = TwoFiles(); a.entries[0].method = 9; return BuildZip(a); },
       kExtracts, 0, {zecDeflate64}, {{"sub/b.txt", std::string(5000, 'b')}}});
  add({"UnknownMethodOfLaterVersion",
       [] { auto a = TwoFiles(); a.entries[0].method = 12; a.entries[0].versionNeeded = 46; return BuildZip(a); },
       kExtracts, 0, {zecBadEntry}, {{"sub/b.txt", std::string(5000, 'b')}}});
  add({"LocalHeaderOffsetPastEnd", [] { auto a = TwoFiles(); a.entries[1].localOffset = 0x7FFFFFF0; return BuildZip(a); },
       kExtractRaisesReadError, 0, {}, {{"a.txt", "first file\n"}}});
  add({"DotDotName", [] { return BuildZip(Plain({File("../evil.txt", "x"), File("ok.txt", "ok")})); },
       kExtracts, 0, {zecCannotCreateFile}, {{"ok.txt", "ok"}}});
  add({"DotDotInsideName", [] { return BuildZip(Plain({File("sub/../../evil.txt", "x")})); }, kExtracts, 0, {zecCannotCreateFile}, {}});
  add({"AbsoluteName", [] { return BuildZip(Plain({File("/tmp/tavro-evil.txt", "x")})); }, kExtracts, 0, {zecCannotCreateFile}, {}});
  add({"BackslashAbsoluteName", [] { return BuildZip(Plain({File("\\\\server\\share\\x.txt", "x")})); },
       kExtracts, 0, {zecCannotCreateFile}, {}});
  add({"DriveName", [] { return BuildZip(Plain({File("C:\\evil.txt", "x")})); }, kExtracts, 0, {zecCannotCreateFile}, {}});
  add({"NameWithNul", [] { return BuildZip(Plain({File(std::string("a\0b.txt", 7), "x")})); }, kExtracts, 0, {zecCannotCreateFile}, {}});
  add({"EmptyName", [] { return BuildZip(Plain({File("", "x")})); }, kExtracts, 0, {zecCannotCreateFile}, {}});
  // 256 bytes is the longest name extracted; 300 fails rather than being cut to another name.
  const std::string longest = std::string(128, 'm') + "/" + std::string(127, 'm');
  add({"LongName", [longest] { return BuildZip(Plain({File(std::string(300, 'n'), "x"), File(longest, "y")})); },
       kExtracts, 0, {zecCannotCreateFile}, {{longest, "y"}}});
  add({"BackslashSeparators", [] { return BuildZip(Plain({File("sub\\inner\\c.txt", "c")})); }, kExtracts, 0, {},
       {{"sub/inner/c.txt", "c"}}});
  add({"ExtraFieldRunningPastItsEnd",
       [] { auto a = TwoFiles();
            a.entries[0].extra = std::string("\x01\x00\x40\x00", 4) + "short";     // Zip64 field claiming 64 bytes
            a.entries[1].extra = std::string("\x55\x54\x09", 3);                   // a head cut in half
            a.entries[1].localExtra = std::string("\xff\xff\xff\xff", 4);
            return BuildZip(a); },
       kExtracts, 0, {}, kTwoFiles});
  add({"DecompressionBomb",
       [] { auto e = File("bomb.bin", std::string(20 << 20, '\0')); e.uncompressedSize = 1000; return BuildZip(Plain({e})); },
       kExtracts, 0, {zecBadEntry}, {}});
  add({"TrailingBytesAfterDeflateAbsorbed",
       [] { auto a = TwoFiles(); a.entries[0].trailing = "xyz"; return BuildZip(a); }, kExtracts, 0, {}, kTwoFiles});
  add({"FourTrailingBytesMustBeTheChecksum",
       [] { auto a = TwoFiles(); a.entries[0].trailing = "wxyz"; return BuildZip(a); },
       kExtracts, 0, {zecBadEntry}, {{"sub/b.txt", std::string(5000, 'b')}}});
  add({"EntryCountBeyondDirectorySize", [] { auto a = TwoFiles(); a.totalEntries = 60000; return BuildZip(a); },
       kExtracts, 0, {}, kTwoFiles});
  add({"DirectorySizeBeforeStartOfFile", [] { auto a = TwoFiles(); a.directorySize = 0x7FFFFFFF; return BuildZip(a); },
       kOpenFails, -1, {}, {}});
  add({"MultiVolume", [] { auto a = TwoFiles(); a.thisDisk = 1; return BuildZip(a); }, kOpenFails, zecVolumeMissing, {}, {}});
  add({"OnlyAnEndRecord", [] { return BuildZip(ZipTestArchive()); }, kExtracts, 0, {}, {}});
  add({"ZeroLengthFile", [] { return std::string(); }, kOpenFails, zecInvalidArchive, {}, {}});
  add({"TextFile", [] { return std::string("this is not an archive\r\n"); }, kOpenFails, zecInvalidArchive, {}, {}});
  add({"SignatureCutByEndOfFile", [] { return std::string("garbage PK\x03", 11); }, kOpenFails, zecInvalidArchive, {}, {}});
  return cases;
}

class DamagedArchive : public ::testing::TestWithParam<DamageCase> {};

TEST_P(DamagedArchive, HasItsExpectedOutcome) {
  const DamageCase& c = GetParam();
  TempDir dir;
  dir.Write("t.zip", c.bytes());
  RecordingArchiver zip;
  zip.archiver.SetFileName(dir / "t.zip");
  try {
    zip.archiver.OpenZipFile(0x20);
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
  ExpectRaises<EZipException>([&] { archiver.OpenZipFile(0x20); }, "Invalid archive file. - Native error: 00035",
                               [](const EZipException& e) { EXPECT_EQ(18, e.ErrorCode()); });
  archiver.SetFileName(dir / "missing.zip");
  ExpectRaises<EZipException>([&] { archiver.OpenZipFile(0x20); },
                               "Archiver: File \"" + dir / "missing.zip" + "\" not found - Native error: 00012");
  archiver.CloseZipFile();
  EXPECT_FALSE(archiver.Active());
}

}  // namespace
