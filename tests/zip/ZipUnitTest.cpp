// Message composition, masks, entry-name safety and the component's properties.
#include <gtest/gtest.h>

#include "support/ExpectRaises.h"
#include "zip/ZipArchiver.h"
#include "zip/ZipConst.h"
#include "zip/ZipExcept.h"
#include "zip/ZipMasks.h"
#include "zip/ZipNames.h"

namespace {

struct MessageCase {
  int code;
  const char* archiverName;
  std::initializer_list<TZipFormatArg> args;
  int index;
  const char* message;
};

TEST(ZipException, ComposesPrefixTextAndFiveDigitSuffix) {
  const MessageCase cases[] = {
      {8, "Archiver", {}, 4,
       "Archiver: Invalid size or check sum of file or unsupported compression format - Native error: 00008"},
      {55, "", {}, 32, "Deflate64 compression method is not supported - Native error: 00055"},
      {12, "Archiver", {AnsiString("C:\\fw.zip")}, 6, "Archiver: File \"C:\\fw.zip\" not found - Native error: 00012"},
      {28, "Archiver", {AnsiString("x.zip")}, 15,
       "Archiver: In-memory archive can be created only - Native error: 00028"},
      {34, nullptr, {int64_t{5}, int64_t{7}}, 17,
       "Invalid compressed size, rfs.size = 5, count = 7 - Native error: 00034"},
      {57, nullptr, {}, 34, " - Native error: 00057"},
      {99, nullptr, {}, 0, "Unknown error - Native error: 00099"},
      {123456, nullptr, {}, 0, "Unknown error - Native error: 123456"},
  };
  for (const MessageCase& c : cases) {
    TComponent owner;
    owner.SetName(c.archiverName ? c.archiverName : "");
    const EZipException e(c.code, c.args, c.archiverName ? &owner : nullptr);
    EXPECT_EQ(c.message, e.Message()) << c.code;
    EXPECT_EQ(c.index, e.ErrorCode()) << c.code;
    EXPECT_EQ(c.code, e.NativeError());
  }
}

TEST(ZipException, EveryCodeOfTheTableMapsToItsText) {
  const std::pair<int, const char*> rows[] = {
      {3, "Index out of bounds"}, {24, "Index out of bounds"}, {29, "File name is blank. Specify appropriate file name"},
      {54, "File \"\" not found"}, {23, "Cannot create file \"\""}, {36, "Cannot create output file. Probably file is "
      "locked by another process. FileName = ''."}, {40, "Cannot find Zip64 directory end record"},
      {45, "Cannot open archive file. Opening aborted or invalid file"}, {48, "Archive is damaged. Open failed"}};
  for (const auto& [code, text] : rows)
    EXPECT_EQ(std::string(text) + " - Native error: " + Format("%05d", code), EZipException(code, {}).Message());
}

struct MaskCase {
  const char* name;
  const char* mask;
  bool matches;
};

const std::string kLongMask(260, '*');

class ZipMask : public ::testing::TestWithParam<MaskCase> {};

TEST_P(ZipMask, MatchesLikeTheArchiverSelects) {
  EXPECT_EQ(GetParam().matches, ZipNameMatches(GetParam().name, GetParam().mask));
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZipMask,
    ::testing::Values(MaskCase{"readme", "*.*", true}, MaskCase{"sub/a.bin", "*.*", true},
                      MaskCase{"sub/", "*.*", true}, MaskCase{"fw/x.bin", "*.BIN", true},
                      MaskCase{"fw/x.bin", "x.bin", true}, MaskCase{"fw/x.bin", "fw/*", true},
                      MaskCase{"fw/x.bin", "?.bin", true}, MaskCase{"x.bin", "??.bin", false},
                      MaskCase{"x.bin", "", false}, MaskCase{"abc", "a*c", true}, MaskCase{"abc", "a*b", false},
                      MaskCase{"a", "a***", false}, MaskCase{"ab", "a***", true},
                      MaskCase{"aaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaaab", "*a*a*a*a*a*a*a*a*a*a*a*c", false},
                      MaskCase{"long", kLongMask.c_str(), false}));

struct NameCase {
  const char* name;
  bool safe;
  int components;
};

class ZipEntryName : public ::testing::TestWithParam<NameCase> {};

TEST_P(ZipEntryName, IsRefusedWhenItCouldLeaveTheBaseFolder) {
  std::vector<AnsiString> parts;
  bool folder = false;
  EXPECT_EQ(GetParam().safe, ZipSplitSafeName(GetParam().name, parts, folder)) << GetParam().name;
  if (GetParam().safe) {
    EXPECT_EQ(GetParam().components, static_cast<int>(parts.size()));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Table, ZipEntryName,
    ::testing::Values(NameCase{"a.txt", true, 1}, NameCase{"a\\b\\c.dat", true, 3}, NameCase{"sub\\", true, 1},
                      NameCase{"a/b", true, 2}, NameCase{"..", false, 0}, NameCase{"a\\..\\b", false, 0},
                      NameCase{".\\a", true, 1}, NameCase{"./", true, 0}, NameCase{"a/./b/.", true, 2}, NameCase{"\\a", false, 0}, NameCase{"a\\\\b", false, 0},
                      NameCase{"c:a", false, 0}, NameCase{"", false, 0}, NameCase{"\\", false, 0},
                      // "\" as the trail byte of a Chinese character is no separator.
                      NameCase{"\xD5\x5C.txt", true, 1}, NameCase{"\xB9\x5C\\x", true, 2},
                      // A lead byte before "/" is no character: the separator stays one.
                      NameCase{"link\x81/x", false, 0}, NameCase{"\x81/../x", false, 0},
                      NameCase{"a\xFF", false, 0}));

TEST(ZipArchiverProperties, StartWithTheComponentDefaults) {
  TZipArchiver a;
  EXPECT_EQ(zmDisabled, a.Zip64Mode());
  EXPECT_EQ(clFastest, a.CompressionLevel());
  EXPECT_EQ(1, a.CompressionMode());
  EXPECT_EQ("1.00 ", a.CurrentVersion());
  EXPECT_EQ(smNone, a.SpanningMode());
  EXPECT_TRUE(a.SpanningOptions().AdvancedNaming);
  EXPECT_EQ(vsAutoDetect, a.SpanningOptions().VolumeSize);
  EXPECT_EQ(omAlways, a.Options().OverwriteMode);
  EXPECT_EQ(10431, a.Options().SearchAttr);
  EXPECT_TRUE(a.Options().FlushBuffers && a.Options().OEMFileNames && a.Options().CreateDirs &&
              a.Options().Recurse && a.Options().ReplaceReadOnly && a.Options().SetAttributes);
  EXPECT_EQ(spRelativePath, a.Options().StorePath);
  EXPECT_FALSE(a.ExtractCorruptedFiles() || a.InMemory());
  EXPECT_TRUE(a.RecoverMissingDirectory());
  TZipBaseArchiver base;
  EXPECT_EQ(zmAuto, base.Zip64Mode());
}

TEST(ZipArchiverProperties, LevelAndModeMoveTogether) {
  TZipArchiver a;
  a.SetName("Archiver");
  const std::pair<int, TZipCompressionLevel> modes[] = {{0, clNone}, {3, clFastest}, {4, clNormal}, {7, clMax}};
  for (auto [mode, level] : modes) {
    a.SetCompressionMode(mode);
    EXPECT_EQ(level, a.CompressionLevel());
  }
  a.SetCompressionLevel(clNormal);
  EXPECT_EQ(6, a.CompressionMode());
  ExpectRaises<EZipException>([&] { a.SetCompressionMode(10); },
                               "Archiver: Invalid compression mode. Mode must be in [0-9] range - Native error: 00005",
                               [](const EZipException& e) { EXPECT_EQ(zecCompressionMode, e.NativeError()); });
}

TEST(ZipArchiverProperties, ClosedArchiverRefusesExtractionAndNamelessFiles) {
  TZipArchiver a;
  a.SetName("Archiver");
  a.CloseZipFile();  // never opened: nothing happens
  ExpectRaises<EZipException>([&] { a.ExtractMatching("*.*", 10431, ""); },
                               "Archiver: Archive is not open - Native error: 00013");
  a.SetFileName("/tmp/");
  ExpectRaises<EZipException>([&] { a.OpenZipFile(fmOpenRead | fmShareDenyWrite); },
                               "Archiver: File name is blank. Specify appropriate file name - Native error: 00010",
                               [](const EZipException& e) { EXPECT_EQ(zecBlankFileName, e.NativeError()); });
}

TEST(ZipArchiverProperties, IsListedByItsWindowWhileItsHolderOwnsIt) {
  auto window = std::make_unique<TComponent>();
  auto archiver = std::make_unique<TZipArchiver>(window.get());
  archiver->SetName("Archiver");
  EXPECT_EQ(1, window->ComponentCount());
  EXPECT_EQ(archiver.get(), window->Components(0));
  window.reset();  // lets the archiver go; its holder frees it once (a double free would abort)
  EXPECT_EQ(nullptr, archiver->Owner());
}

}  // namespace
