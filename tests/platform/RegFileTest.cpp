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

namespace {

// Lines as Wine 8 writes them into a prefix's system.reg ("wine reg add", and a 64-bit
// setup program writing the 32-bit view).
const char kWineSystemReg[] =
    "WINE REGISTRY Version 2\n"
    ";; All keys relative to REGISTRY\\\\Machine\n"
    "\n"
    "#arch=win64\n"
    "\n"
    "[Software\\\\SigmaTel\\\\SigmaTel MSCN Audio Player\\\\Params] 1796710450\n"
    "#time=1dd86db56b9a950\n"
    "@=\"default\"\n"
    "\"Bin\"=hex:01,02,ff\n"
    "\"Exp\"=str(2):\"%ProgramFiles%\\\\SigmaTel\"\n"
    "\"Install Folder\"=\"C:\\\\Program Files\\\\SigmaTel\\\\\\x64ad\\x653e\\x5668 \\\"q\\\" end\"\n"
    "\"Multi\"=str(7):\"a\\0b\\0\"\n"
    "\"Num\"=dword:0000002a\n"
    "\"Long\"=hex:01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,\\\n"
    "  17,18\n"
    "\"Q\"=hex(b):05,00,00,00,00,00,00,00\n"
    "\"Utf16\"=hex(2):43,00,3a,00,2d,4e,00,00\n"
    "\n"
    "[Software\\\\Test] 1796710466\n"
    "#time=1dd86db603d874e\n"
    "\"E1\"=\"\\x00e9a\\x4e2da\\x4e2dz\\x4e2d a\\\\b/\\x00fc1\"\n"
    "\"E2\"=\"\\xe9z \\xe9\"\n"
    "\"Empty\"=\"\"\n"
    "\"Na\\\"me\\\\x\"=\"v=1\"\n"
    "\n"
    "[Software\\\\Test\\\\Sub Key \\[x\\]\\\\a] 1796710466\n"
    "@=\"\"\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\SigmaTel\\\\SigmaTel MSCN Audio Player\\\\Params] 1796710907\n"
    "#time=1dd86dc67197c20\n"
    "\"Install Folder\"=\"C:\\\\Program Files\\\\SigmaTel\\\\SigmaTel MSCN Audio Player\"\n"
    "\n"
    "[Software\\\\Wow6432Node\\\\SigmaTel\\\\\\x4e2d\\x6587\\x952e] 1796710450\n"
    "#time=1dd86db56d7ab08\n"
    "\"\\x540d\\x5b57\"=\"tab\\tx\"\n"
    "[Software\\\\Broken] 1\n"
    "\"Unclosed\"=\"abc\n"
    "\"Bad\"=str(2:\"x\"\n";

struct WineValueCase {
  const char* name;   // the case's name
  const char* key;    // below HKEY_LOCAL_MACHINE, in any case
  const char* value;  // ANSI
  uint32_t type;
  std::string data;   // "<missing>" when the value must not be there
};

class WineRegistryFile : public ::testing::TestWithParam<WineValueCase> {};

}  // namespace

TEST_P(WineRegistryFile, ReadsValuesAsWineWritesThem) {
  TRegFile reg;
  ASSERT_TRUE(reg.Parse(kWineSystemReg));
  EXPECT_EQ(reg.FormatVersion(), 2);
  const WineValueCase& c = GetParam();
  const TRegValue* value = reg.FindValue(HKEY_LOCAL_MACHINE, c.key, c.value);
  EXPECT_EQ(Bytes(value), c.data);
  if (value) {
    EXPECT_EQ(value->Type, c.type);
  }
}

const std::string kZ = std::string(1, '\0');
INSTANTIATE_TEST_SUITE_P(
    Cases, WineRegistryFile,
    ::testing::Values(
        WineValueCase{"ChineseAndQuotes", kParams, "install folder", REG_SZ,
                      "C:\\Program Files\\SigmaTel\\\xB2\xA5\xB7\xC5\xC6\xF7 \"q\" end" + kZ},
        WineValueCase{"Default", kParams, "", REG_SZ, "default" + kZ},
        WineValueCase{"Expandable", kParams, "Exp", REG_EXPAND_SZ, "%ProgramFiles%\\SigmaTel" + kZ},
        WineValueCase{"MultiText", kParams, "Multi", REG_MULTI_SZ, std::string("a\0b\0\0", 5)},
        WineValueCase{"Dword", kParams, "Num", REG_DWORD, std::string("\x2a\0\0\0", 4)},
        WineValueCase{"Binary", kParams, "Bin", REG_BINARY, "\x01\x02\xff"},
        WineValueCase{"BinaryOverLines", kParams, "Long", REG_BINARY,
                      "\x01\x02\x03\x04\x05\x06\x07\x08\x09\x0a\x0b\x0c\x0d\x0e\x0f\x10\x11\x12\x13\x14\x15\x16\x17\x18"},
        WineValueCase{"Qword", kParams, "Q", REG_QWORD, std::string("\x05\0\0\0\0\0\0\0", 8)},
        WineValueCase{"HexTextIsUtf16", kParams, "Utf16", REG_EXPAND_SZ, "C:\xD6\xD0" + kZ},
        WineValueCase{"ShortAndLongHexEscapes", "SOFTWARE\\test", "E1", REG_SZ,
                      "\xA8\xA6" "a\xD6\xD0" "a\xD6\xD0z\xD6\xD0 a\\b/\xA8\xB9" "1" + kZ},
        WineValueCase{"ShortHexEscapeBeforeNonDigit", "Software\\Test", "E2", REG_SZ, "\xA8\xA6z \xA8\xA6" + kZ},
        WineValueCase{"EmptyText", "Software\\Test", "Empty", REG_SZ, kZ},
        WineValueCase{"EscapedName", "Software\\Test", "na\"ME\\x", REG_SZ, "v=1" + kZ},
        WineValueCase{"BracketsInKeyName", "Software\\Test\\Sub Key [x]\\A", "", REG_SZ, kZ},
        WineValueCase{"ThirtyTwoBitView", "Software\\Wow6432Node\\SigmaTel\\SigmaTel MSCN Audio Player\\Params",
                      "Install Folder", REG_SZ, "C:\\Program Files\\SigmaTel\\SigmaTel MSCN Audio Player" + kZ},
        WineValueCase{"ChineseKeyAndValueNames", "software\\wow6432node\\sigmatel\\\xD6\xD0\xCE\xC4\xBC\xFC",
                      "\xC3\xFB\xD7\xD6", REG_SZ, "tab\tx" + kZ},
        WineValueCase{"UnclosedTextIsSkipped", "Software\\Broken", "Unclosed", REG_SZ, "<missing>"},
        WineValueCase{"BadTypeIsSkipped", "Software\\Broken", "Bad", REG_SZ, "<missing>"}),
    [](const ::testing::TestParamInfo<WineValueCase>& info) { return std::string(info.param.name); });

TEST(RegFile, WineKeysLieBelowTheRootTheFileIsLoadedFor) {
  TRegFile reg;
  ASSERT_TRUE(reg.Parse(kWineSystemReg, HKEY_CURRENT_USER));
  EXPECT_TRUE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\SigmaTel\\SigmaTel MSCN Audio Player\\Params"));
  EXPECT_FALSE(reg.KeyExists(HKEY_LOCAL_MACHINE, "Software\\SigmaTel"));
  // A damaged file (no header line) holds nothing.
  EXPECT_FALSE(reg.Parse(std::string(kWineSystemReg).substr(24)));
  EXPECT_FALSE(reg.KeyExists(HKEY_CURRENT_USER, "Software\\SigmaTel"));
}
