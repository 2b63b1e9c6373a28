#include <gtest/gtest.h>

#include <string>

#include "platform/RegFile.h"

namespace {

std::string Bytes(const TRegValue* value) { return value ? value->Data : std::string("<missing>"); }

const char kParams[] = "software\\SigmaTel\\SigmaTel MSCN Audio Player\\Params";

}  // namespace

class RegFileHeaders : public ::testing::TestWithParam<const char*> {};

TEST_P(RegFileHeaders, ReadEveryValueKind) {
  const std::string text = std::string(GetParam()) +
                           "\r\n\r\n; the player software\r\n"
                           "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SigmaTel\\SigmaTel MSCN Audio Player\\Params]\r\n"
                           "\"Install Folder\"=\"/opt/St \\\"x\\\" \\\\ \xE4\xB8\xAD\"\r\n"
                           "@=\"default\"\r\n"
                           "\"Count\"=dword:0000002a\r\n"
                           "\"Blob\"=hex:01,ff,\\\r\n  00\r\n"
                           "\"Multi\"=hex(7):61,00,00,00\r\n"
                           "\"Big\"=hex(b):01,00,00,00,00,00,00,00\r\n"
                           "\"Broken\"=dword:xyz\r\n";
  TRegFile reg;
  ASSERT_TRUE(reg.Parse(text));
  const TRegValue* folder = reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "install folder");
  ASSERT_NE(folder, nullptr);
  EXPECT_EQ(folder->Type, REG_SZ);
  EXPECT_EQ(folder->Data, std::string("/opt/St \"x\" \\ \xD6\xD0", 16) + '\0');
  EXPECT_EQ(Bytes(reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "")), std::string("default") + '\0');
  EXPECT_EQ(Bytes(reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "Count")), std::string("\x2a\0\0\0", 4));
  EXPECT_EQ(reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "Blob")->Type, REG_BINARY);
  EXPECT_EQ(Bytes(reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "Blob")), std::string("\x01\xff\x00", 3));
  EXPECT_EQ(reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "Multi")->Type, REG_MULTI_SZ);
  EXPECT_EQ(reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "Big")->Type, REG_QWORD);
  EXPECT_EQ(reg.FindValue(HKEY_LOCAL_MACHINE, kParams, "Broken"), nullptr);
}

INSTANTIATE_TEST_SUITE_P(Formats, RegFileHeaders,
                         ::testing::Values("REGEDIT4", "Windows Registry Editor Version 5.00",
                                           "\xEF\xBB\xBFWindows Registry Editor Version 5.00"));

TEST(RegFile, ExpandTextIsUtf16InVersion5AndAnsiInRegedit4) {
  TRegFile v5;
  ASSERT_TRUE(v5.Parse("Windows Registry Editor Version 5.00\n[HKEY_LOCAL_MACHINE\\K]\n"
                       "\"E\"=hex(2):25,00,50,00,2d,4e,00,00,78,00,00,00\n"));
  EXPECT_EQ(v5.FindValue(HKEY_LOCAL_MACHINE, "K", "E")->Type, REG_EXPAND_SZ);
  EXPECT_EQ(v5.FindValue(HKEY_LOCAL_MACHINE, "K", "E")->Data, std::string("%P\xD6\xD0\0x\0", 7));
  TRegFile v4;
  ASSERT_TRUE(v4.Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\K]\n\"E\"=hex(2):25,50,d6,d0,00\n"));
  EXPECT_EQ(v4.FindValue(HKEY_LOCAL_MACHINE, "K", "E")->Data, std::string("%P\xD6\xD0\0", 5));
}

TEST(RegFile, Utf16FileWithItsMarkIsRead) {
  const std::string ascii = "Windows Registry Editor Version 5.00\r\n[HKEY_LOCAL_MACHINE\\K]\r\n\"V\"=\"x\"\r\n";
  std::string utf16 = "\xFF\xFE";
  for (char c : ascii) utf16 += std::string{c, '\0'};
  TRegFile reg;
  ASSERT_TRUE(reg.Parse(utf16));
  EXPECT_EQ(Bytes(reg.FindValue(HKEY_LOCAL_MACHINE, "K", "V")), std::string("x", 2));
}

TEST(RegFile, KeyPathsCompareWithoutCaseAndIgnoreEmptySteps) {
  TRegFile reg;
  ASSERT_TRUE(reg.Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\Software\\SigmaTel\\Params]\n[HKEY_CURRENT_USER\\Only]\n"));
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "\\software\\SIGMATEL\\params\\"));
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "software\\\\sigmatel"));  // parents exist
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "software\\sigma"));
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Only"));
  EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER, "only"));
}

TEST(RegFile, RemovalLinesDeleteKeysWithSubkeysAndSingleValues) {
  TRegFile reg;
  ASSERT_TRUE(reg.Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\B]\n\"x\"=\"1\"\n\"y\"=\"2\"\n[HKEY_LOCAL_MACHINE\\A\\BB]\n"
                        "[HKEY_LOCAL_MACHINE\\A\\B]\n\"y\"=-\n[-HKEY_LOCAL_MACHINE\\A\\BB]\n"));
  EXPECT_NE(reg.FindValue(HKEY_LOCAL_MACHINE, "A\\B", "x"), nullptr);
  EXPECT_EQ(reg.FindValue(HKEY_LOCAL_MACHINE, "A\\B", "y"), nullptr);
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "A\\BB"));
  EXPECT_TRUE(reg.KeyExists(HKEY_LOCAL_MACHINE, "A\\B"));
}

TEST(RegFile, AFileWithoutTheHeaderHoldsNothing) {
  TRegFile reg;
  EXPECT_FALSE(reg.Parse("[HKEY_LOCAL_MACHINE\\K]\n\"V\"=\"x\"\n"));
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "K"));
  EXPECT_FALSE(reg.Parse(""));
}

TEST(RegFile, DoubleByteKeyNamesKeepTheirTrailBackslash) {
  TRegFile reg;
  // GBK "\x95\x5C" (trail byte "\") as a key name, written in the file as ANSI bytes.
  ASSERT_TRUE(reg.Parse("REGEDIT4\n[HKEY_LOCAL_MACHINE\\A\\\x95\x5C]\n\"v\"=\"1\"\n"));
  EXPECT_NE(reg.FindValue(HKEY_LOCAL_MACHINE, "A\\\x95\x5C", "v"), nullptr);
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "A\\\x95"));
}
