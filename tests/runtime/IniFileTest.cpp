#include <gtest/gtest.h>
#include <sys/stat.h>

#include <string>
#include <vector>

#include "runtime/Exception.h"
#include "runtime/IniFile.h"
#include "support/ExpectRaises.h"
#include "support/TempDir.h"

using Names = std::vector<AnsiString>;

TEST(IniFile, ListsSectionsAndKeysInFileOrderWhateverTheirValues) {
  TempDir dir;
  dir.Write("cat.ini",
            "; catalogue\r\n[ModelB]\r\n2.00=x\r\n1.50\r\n  0.90 =  \r\n\r\n;old=1\r\n[ModelA]\r\n1.00=\r\n[Empty]\r\n");
  TIniFile ini(dir / "cat.ini");
  EXPECT_EQ(ini.ReadSections(), (Names{"ModelB", "ModelA", "Empty"}));
  EXPECT_EQ(ini.ReadSection("ModelB"), (Names{"2.00", "1.50", "0.90"}));
  EXPECT_EQ(ini.ReadSection("modela"), (Names{"1.00"}));
  EXPECT_EQ(ini.ReadSection("Empty"), Names{});
  EXPECT_EQ(ini.ReadSection("Missing"), Names{});
}

TEST(IniFile, MissingFileReadsEmptyAndListsAreEmptiedFirst) {
  TempDir dir;
  TIniFile ini(dir / "none.ini");
  Names names{"stale"};
  ini.ReadSections(names);
  EXPECT_TRUE(names.empty());
  names = {"stale"};
  ini.ReadSection("Main02", names);
  EXPECT_TRUE(names.empty());
  EXPECT_EQ(ini.ReadInteger("Main02", "ComboBox1", 0), 0);
  EXPECT_EQ(ini.ReadString("Main02", "ComboBox1", "dflt"), "dflt");
}

TEST(IniFile, NamesThatDoNotFitTheBufferAreLostWhole) {
  TempDir dir;
  // 1000 sections of 15 bytes + NUL = 16000 bytes; the next one of 382 + NUL fits exactly
  // with the closing NUL (16384), the one after it does not, nor any later short one.
  std::string text;
  Names expected;
  for (int i = 0; i < 1000; ++i) {
    char name[16];
    std::snprintf(name, sizeof name, "Section%08d", i);
    text += "[" + std::string(name) + "]\r\n";
    expected.push_back(name);
  }
  const std::string fits(382, 'F');
  text += "[" + fits + "]\r\n[" + std::string(1, 'G') + "]\r\n[H]\r\n";
  expected.push_back(fits);
  dir.Write("big.ini", text);
  const Names got = TIniFile(dir / "big.ini").ReadSections();
  EXPECT_EQ(got.size(), expected.size());
  EXPECT_EQ(got, expected);
}

struct IntegerCase {
  const char* text;
  int32_t expected;
};

class IniInteger : public ::testing::TestWithParam<IntegerCase> {};

TEST_P(IniInteger, ReadsDecimalAndTheTwoHexFormsElseDefault) {
  TempDir dir;
  dir.Write("user.ini", std::string("[Main02]\r\nComboBox1=") + GetParam().text + "\r\n");
  EXPECT_EQ(TIniFile(dir / "user.ini").ReadInteger("MAIN02", "combobox1", 0), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(Texts, IniInteger,
                         ::testing::Values(IntegerCase{"2", 2}, IntegerCase{"-1", -1}, IntegerCase{"0x1F", 31},
                                           IntegerCase{"0X10", 16}, IntegerCase{"$ff", 255}, IntegerCase{"0x", 0},
                                           IntegerCase{"abc", 0}, IntegerCase{"", 0}, IntegerCase{"12abc", 0},
                                           IntegerCase{"\"7\"", 7}, IntegerCase{"99999999999", 0}));

TEST(IniFile, ReadStringCutsAtTheValueBuffer) {
  TempDir dir;
  dir.Write("a.ini", "[S]\nk=" + std::string(5000, 'v') + "\n");
  EXPECT_EQ(TIniFile(dir / "a.ini").ReadString("S", "k", "").size(), TIniFile::kValueBufferSize - 1);
}

TEST(IniFile, WritesKeepEveryOtherLineAndEndInCrLf) {
  TempDir dir;
  dir.Write("user.ini", "; mine\n[Other]\nx = 1\n\n[Main02]\nComboBox1=5\n\n; end\n[Tail]\ny=2");
  TIniFile ini(dir / "user.ini");
  ini.WriteInteger("main02", "COMBOBOX1", 2);
  ini.WriteInteger("Main02", "ComboBox2", -1);
  ini.WriteInteger("Tail", "z", 3);
  ini.WriteString("New", "k", "v");
  EXPECT_EQ(dir.Read("user.ini"),
            "; mine\n[Other]\nx = 1\n\n[Main02]\nComboBox1=2\r\nComboBox2=-1\r\n\n; end\n[Tail]\ny=2\r\nz=3\r\n"
            "[New]\r\nk=v\r\n");
  EXPECT_EQ(ini.ReadInteger("Main02", "ComboBox2", 0), -1);
}

TEST(IniFile, WriteCreatesAMissingFile) {
  TempDir dir;
  TIniFile ini(dir / "user.ini");
  ini.WriteInteger("Main02", "ComboBox1", 0);
  ini.WriteInteger("Main02", "ComboBox2", 1);
  EXPECT_EQ(dir.Read("user.ini"), "[Main02]\r\nComboBox1=0\r\nComboBox2=1\r\n");
}

TEST(IniFile, UnwritableFileRaisesWithItsFullPathAndStaysAsItWas) {
  TempDir dir;
  dir.Write("user.ini", "[Main02]\r\nComboBox1=1\r\n");
  ::chmod((dir / "user.ini").c_str(), 0444);  // read-only for every user, root included
  const std::vector<std::string> paths{dir / "user.ini", dir / "missing/user.ini"};
  for (const std::string& path : paths)
    ExpectRaises<EIniFileException>([&] { TIniFile(path).WriteInteger("Main02", "ComboBox1", 2); },
                                    "Unable to write to " + path);
  EXPECT_EQ(dir.Read("user.ini"), "[Main02]\r\nComboBox1=1\r\n");
}

TEST(IniFile, DoubleByteNamesAreMatchedBytewiseAndKeepTheirTrailBytes) {
  TempDir dir;
  // "型号" in 936 ends in the trail byte 0xC5; "\xB5\x5D" has "]" as a trail byte, and
  // "\x81\x61" has "a" as one: none of them may be cut or change case.
  dir.Write("a.ini", "[\xD0\xCD\xBA\xC5]\r\n\xB5\x5D=1\r\n[\x81\x61]\r\nk=2\r\n");
  TIniFile ini(dir / "a.ini");
  EXPECT_EQ(ini.ReadSections(), (Names{"\xD0\xCD\xBA\xC5", "\x81\x61"}));
  EXPECT_EQ(ini.ReadSection("\xD0\xCD\xBA\xC5"), (Names{"\xB5\x5D"}));
  EXPECT_EQ(ini.ReadSection("\x81\x41"), Names{});
}
