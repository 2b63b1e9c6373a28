#include <gtest/gtest.h>

#include "runtime/CodePage.h"
#include "runtime/PathUtils.h"

// "中文" in 936 and UTF-8; "\x95\x5C" is a character whose trail byte is "\".
static const std::string kAnsiChinese = "\xD6\xD0\xCE\xC4";
static const std::string kUtf8Chinese = "\xE4\xB8\xAD\xE6\x96\x87";
static const std::string kTrailSlash = "\x95\x5C";

TEST(CodePage, LeadBytesAreTheHighRangeExceptItsEnds) {
  EXPECT_FALSE(IsLeadByte(0x80));
  EXPECT_TRUE(IsLeadByte(0x81));
  EXPECT_TRUE(IsLeadByte(0xFE));
  EXPECT_FALSE(IsLeadByte(0xFF));
  EXPECT_FALSE(IsLeadByte('\\'));
  const std::string text = "a" + kTrailSlash + "\\";
  EXPECT_EQ(ByteTypeAt(text, 0), 0);
  EXPECT_EQ(ByteTypeAt(text, 1), 1);
  EXPECT_EQ(ByteTypeAt(text, 2), 2);
  EXPECT_EQ(ByteTypeAt(text, 3), 0);
  // A lead byte at the very end has no trail: it is a character of its own.
  EXPECT_EQ(ByteTypeAt("a\x81", 1), 0);
}

TEST(CodePage, ConvertsBothWaysAndKeepsTheLengthOfWhatDoesNotConvert) {
  EXPECT_EQ(AnsiToUtf8("v" + kAnsiChinese), "v" + kUtf8Chinese);
  EXPECT_EQ(Utf8ToAnsi(kUtf8Chinese + ".zip"), kAnsiChinese + ".zip");
  EXPECT_EQ(Utf8ToAnsi(AnsiToUtf8(kAnsiChinese + kTrailSlash)), kAnsiChinese + kTrailSlash);
  // An emoji has no 936 form; a lone lead byte at the end is no character.
  EXPECT_EQ(Utf8ToAnsi("a\xF0\x9F\x98\x80z"), "a????z");
  EXPECT_EQ(AnsiToUtf8("a\xD6"), "a?");
  EXPECT_EQ(Utf16LeToAnsi(std::string("\x2D\x4E\x87\x65", 4)), kAnsiChinese);
  EXPECT_EQ(Utf16LeToAnsi(AnsiToUtf16Le("ab" + kAnsiChinese)), "ab" + kAnsiChinese);
}

TEST(CodePage, ValidUtf8RejectsOverlongSurrogatesAndCutSequences) {
  EXPECT_TRUE(IsValidUtf8("plain " + kUtf8Chinese));
  EXPECT_FALSE(IsValidUtf8(kAnsiChinese));
  EXPECT_FALSE(IsValidUtf8("\xC0\xAF"));
  EXPECT_FALSE(IsValidUtf8("\xED\xA0\x80"));
  EXPECT_FALSE(IsValidUtf8("\xE4\xB8"));
}

TEST(CodePage, BackslashInsideADoubleByteCharacterIsNoSeparator) {
  const std::string path = "C:\\" + kTrailSlash + "\\a" + kTrailSlash + ".txt";
  EXPECT_EQ(AnsiSplit(path, '\\'), (std::vector<AnsiString>{"C:", kTrailSlash, "a" + kTrailSlash + ".txt"}));
  EXPECT_EQ(ExtractFileName(path), "a" + kTrailSlash + ".txt");
  EXPECT_EQ(ExtractFilePath(path), "C:\\" + kTrailSlash + "\\");
  EXPECT_EQ(ExtractFileName("dir/" + kTrailSlash), kTrailSlash);
  EXPECT_EQ(IncludeTrailingPathDelimiter("d/" + kTrailSlash), "d/" + kTrailSlash + "/");
  EXPECT_EQ(AnsiPathToSys("a\\" + kTrailSlash + "\\b"), "a/" + AnsiToUtf8(kTrailSlash) + "/b");
  EXPECT_EQ(AnsiFindChar(kTrailSlash + "\\", '\\'), 2u);
  EXPECT_EQ(AnsiFindText("\\", kTrailSlash), AnsiString::npos);
}

TEST(CodePage, CaseMappingLeavesDoubleByteCharactersAlone) {
  const std::string lowerTrail = "\x81\x61";  // trail byte "a"
  EXPECT_EQ(AnsiUpperCase("ab" + lowerTrail), "AB" + lowerTrail);
  EXPECT_EQ(UpperCase(lowerTrail + "z"), lowerTrail + "Z");
  EXPECT_FALSE(SameText("\x81\x61", "\x81\x41"));
  EXPECT_TRUE(AnsiSameText("ModelA", "MODELa"));
}

TEST(PathUtils, ExtensionsBelongToTheNamePart) {
  EXPECT_EQ(ExtractFileExt("a.b/c"), "");
  EXPECT_EQ(ExtractFileExt("dir/pkg_1.20.zip"), ".zip");
  EXPECT_EQ(ChangeFileExt("dir/pkg_1.20.zip", ".htm"), "dir/pkg_1.20.htm");
  EXPECT_EQ(ChangeFileExt("dir.x/name", ".htm"), "dir.x/name.htm");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/a/b//"), "/a/b");
  EXPECT_EQ(ExcludeTrailingPathDelimiter("/"), "/");
  EXPECT_EQ(ExtractFileDir("/x"), "/");
}
