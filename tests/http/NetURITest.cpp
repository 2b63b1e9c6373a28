#include "http/NetURI.h"
#include "support/ExpectRaises.h"

#include <gtest/gtest.h>

namespace {

struct UriCase {
  const char* Text;
  const char* Scheme;
  const char* User;
  const char* Password;
  const char* Host;
  const char* Port;
  const char* Path;
  const char* Document;
  const char* Params;
  const char* Bookmark;
};

class UriParse : public ::testing::TestWithParam<UriCase> {};

TEST_P(UriParse, SplitsIntoFields) {
  const UriCase& c = GetParam();
  TNetURI u(c.Text);
  EXPECT_EQ(u.Scheme(), c.Scheme);
  EXPECT_EQ(u.Username(), c.User);
  EXPECT_EQ(u.Password(), c.Password);
  EXPECT_EQ(u.Host(), c.Host);
  EXPECT_EQ(u.Port(), c.Port);
  EXPECT_EQ(u.Path(), c.Path);
  EXPECT_EQ(u.FileSegment(), c.Document);
  EXPECT_EQ(u.Query(), c.Params);
  EXPECT_EQ(u.Fragment(), c.Bookmark);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, UriParse,
    ::testing::Values(
        UriCase{"http://h:8080/a/b/c.asp?x=1#top", "http", "", "", "h", "8080", "/a/b/", "c.asp", "?x=1", "top"},
        UriCase{"http://host/TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini", "http", "", "", "host", "", "/TavroMP3LiveUpdate2/",
                "TavroMP3LiveUpdate.ini", "", ""},
        UriCase{"http://host", "http", "", "", "host", "", "/", "", "", ""},
        UriCase{"http://:pw@host/a", "http", "", "", "host", "", "/", "a", "", ""},
        UriCase{"http://u:p:q@host/a", "http", "u", "p:q", "host", "", "/", "a", "", ""},
        UriCase{"http://host/a/b=c/d", "http", "", "", "host", "", "/a/", "b", "=c/d", ""},
        UriCase{"http://host/x.asp?a=1#frag", "http", "", "", "host", "", "/", "x.asp", "?a=1", "frag"},
        UriCase{"http://host/d#m?x", "http", "", "", "host", "", "/", "d", "?x", "m"},
        UriCase{"http:\\\\host\\a\\b.zip", "http", "", "", "host", "", "/a/", "b.zip", "", ""},
        // "\x95\x5c" is one double-byte character whose second byte is a backslash.
        UriCase{"http://host/\x95\x5c/f", "http", "", "", "host", "", "/\x95\x5c/", "f", "", ""},
        UriCase{"a/b/c.htm", "", "", "", "", "", "a/b/", "c.htm", "", ""},
        UriCase{"c.htm?q", "", "", "", "", "", "", "c.htm", "?q", ""},
        // An IPv6 address stands in brackets; the host is the address alone.
        UriCase{"http://[::1]:8080/a/b.zip", "http", "", "", "::1", "8080", "/a/", "b.zip", "", ""},
        UriCase{"http://u:p@[2001:db8::1]/x?q", "http", "u", "p", "2001:db8::1", "", "/", "x", "?q", ""},
        UriCase{"http://[fe80::1%25eth0]:8080/a", "http", "", "", "fe80::1%eth0", "8080", "/", "a", "", ""}));

// Brackets hold an IPv6 address and nothing else (the second found by fuzzing).
TEST(Uri, BracketsThatHoldNoIPv6AddressMakeTheURLMalformed) {
  for (const char* text : {"http://[::1", "ftp://[TGp:p?]x=p]#f", "http://[zz::1]:3128/", "http://[::1]x/"})
    EXPECT_THROW(TNetURI{text}, ENetURIException) << text;
}

TEST(Uri, ComposeAlwaysNamesAnExplicitPortAndDropsAuthAndBookmarkUnlessAsked) {
  TNetURI u("http://u:p@h:80/a/b?c#d");
  EXPECT_EQ(u.Compose(), "http://h:80/a/b?c");
  EXPECT_EQ(u.Compose(ofAuthInfo | ofBookmark), "http://u:p@h:80/a/b?c#d");
  EXPECT_EQ(u.URI(), "http://h:80/a/b?c");
  EXPECT_EQ(u.URIText(), "http://u:p@h:80/a/b?c#d");
  EXPECT_EQ(TNetURI("http://[::1]:8080/a").Compose(), "http://[::1]:8080/a");
}

TEST(Uri, ComposeRaisesOnMissingProtocolOrHost) {
  TNetURI rel("a/b");
  ExpectRaises<ENetURIException>([&] { rel.Compose(); }, "Protocol field is empty");
  rel.SetScheme("http");
  ExpectRaises<ENetURIException>([&] { rel.Compose(); }, "Host field is empty");
}

struct MergeCase {
  const char* Base;
  const char* Path;
  const char* Expected;
};
class MergePathCases : public ::testing::TestWithParam<MergeCase> {};
TEST_P(MergePathCases, ResolvesRelativePaths) {
  EXPECT_EQ(MergePath(GetParam().Base, GetParam().Path), GetParam().Expected);
}
INSTANTIATE_TEST_SUITE_P(Cases, MergePathCases,
                         ::testing::Values(MergeCase{"/a/b/", "../c", "/a/c"}, MergeCase{"/a/", "", "/a/"},
                                           MergeCase{"", "x", "x"}, MergeCase{"/a/", "/abs/x", "/abs/x"},
                                           MergeCase{"/a", "b//c/", "/a/b/c/"}, MergeCase{"/a/b/", "c", "/a/b/c"}));

TEST(UriText, TakeTokenAndLastPosNeverMatchInsideADoubleByteCharacter) {
  AnsiString s = "\x95\x5c" "a\\b";
  EXPECT_EQ(TakeToken(s, "\\"), "\x95\x5c" "a");
  EXPECT_EQ(s, "b");
  AnsiString none = "abc";
  EXPECT_EQ(TakeToken(none, ":"), "abc");
  EXPECT_EQ(none, "");
  EXPECT_EQ(LastPos("/", "a/b/c"), 4u);
  EXPECT_EQ(LastPos("/", "a/b/c", 3), 2u);
  EXPECT_EQ(LastPos("B", "abcb"), 4u);
  EXPECT_EQ(LastPos("\x5c", "\x95\x5c"), 0u);
}

}  // namespace
