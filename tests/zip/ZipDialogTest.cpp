// The archiver's default dialogs, answered by a script through the runtime hooks, and
// the rules that keep an existing file when its replacement does not come through.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <map>
#include <thread>

#include "runtime/FileUtils.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"
#include "support/ZipBuilder.h"
#include "support/ZipTools.h"
#include "zip/ZipCrypt.h"
#include "ZipTestUtil.h"

namespace {

ZipTestEntry Entry(const std::string& name, const std::string& data) {
  ZipTestEntry e;
  e.name = name;
  e.data = data;
  return e;
}

// "bad.txt" fails its CRC check; "good.txt" is sound.
std::string BadThenGood() {
  ZipTestArchive a;
  a.entries = {Entry("bad.txt", "new bad"), Entry("good.txt", "new good")};
  a.entries[0].crc = 1;
  return BuildZip(a);
}

struct Fixture : ::testing::Test {
  void Open(const std::string& bytes) {
    dir.Write("t.zip", bytes);
    archiver.SetName("Archiver");
    archiver.Options().FlushBuffers = false;
    archiver.SetFileName(dir / "t.zip");
    archiver.OpenZipFile(fmOpenRead | fmShareDenyWrite);
    archiver.SetBaseDir(dir / "out");
  }
  void Extract() { archiver.ExtractMatching("*.*", 10431, ""); }
  TempDir dir;
  ScriptedDialogs dialogs;
  TZipArchiver archiver;
};

using FailureDialog = Fixture;

TEST_F(FailureDialog, RetryRepeatsTheEntryIgnoreGoesOn) {
  Open(BadThenGood());
  dialogs.answers = {mrRetry, mrRetry, mrIgnore};
  Extract();
  ASSERT_EQ(3u, dialogs.questions.size());
  EXPECT_EQ("Archiver: Invalid size or check sum of file or unsupported compression format - Native error: 00008. "
            "File processing error, possibly disk is full",
            dialogs.questions[0]);
  EXPECT_EQ((std::vector<TMsgDlgBtn>{mbAbort, mbRetry, mbIgnore}), dialogs.buttonSets[0]);
  EXPECT_FALSE(dir.Exists("out/bad.txt"));
  EXPECT_EQ("new good", dir.Read("out/good.txt"));
  EXPECT_FALSE(archiver.LastRunAborted());
  EXPECT_EQ(1, archiver.LastRunFailures());
}

TEST_F(FailureDialog, AbortEndsTheRunWithoutAnExceptionAndIsReported) {
  Open(BadThenGood());
  dialogs.answers = {mrAbort};
  EXPECT_NO_THROW(Extract());
  EXPECT_TRUE(archiver.LastRunAborted());
  EXPECT_FALSE(dir.Exists("out/good.txt"));
}

TEST_F(FailureDialog, ClosingTheDialogCountsAsAbort) {
  Open(BadThenGood());
  Extract();  // no scripted answer: the dialog is closed
  EXPECT_TRUE(archiver.LastRunAborted());
}

TEST_F(FailureDialog, AFailedEntryKeepsTheFileItWouldHaveReplaced) {
  dir.Write("out/bad.txt", "old content");
  Open(BadThenGood());
  dialogs.answers = {mrIgnore};
  Extract();
  EXPECT_EQ("old content", dir.Read("out/bad.txt"));
  // No temporary file is left beside it.
  int files = 0;
  for (auto& e : std::filesystem::directory_iterator(dir / "out")) files += e.is_regular_file();
  EXPECT_EQ(2, files);
}

TEST_F(FailureDialog, ACancelledEntryKeepsTheOldFile) {
  dir.Write("out/big.bin", "old");
  ZipTestArchive a;
  a.entries = {Entry("big.bin", std::string(3 << 20, 'z'))};
  a.entries[0].method = 0;
  Open(BuildZip(a));
  int calls = 0;
  archiver.OnFileProgress = [&](TObject*, const AnsiString&, double, TZipProcessOperation, TZipProgressPhase phase,
                                bool& cancel) { cancel = phase == ppProcess && ++calls == 2; };
  Extract();
  EXPECT_EQ("old", dir.Read("out/big.bin"));
  EXPECT_TRUE(archiver.LastRunAborted());
  EXPECT_TRUE(dialogs.questions.empty());
}

// Bytes as their size and CRC-32, short enough to show in a failure.
std::string Digest(const std::string& bytes) {
  return std::to_string(bytes.size()) + " bytes, CRC " + std::to_string(ZipCrc32(bytes));
}

// The regular files in dir and below it by relative path, as digests.
std::map<std::string, std::string> FilesBelow(const TempDir& dir) {
  std::map<std::string, std::string> files;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir.Path())) {
    const std::string name = std::filesystem::relative(e.path(), dir.Path()).string();
    if (e.is_regular_file()) files[name] = Digest(dir.Read(name));
  }
  return files;
}

// A full disk: every write past n bytes fails.
class FullDisk : public Fixture, public ::testing::WithParamInterface<rlim_t> {};

TEST_P(FullDisk, AnEntryThatDoesNotFitIsReportedAndLeavesTheOldFileAndNothingElse) {
  // The first replacement keeps the old file's inode for the second; the third is new.
  dir.Write("out/small.txt", "old small");
  dir.Write("out/big.bin", "old big");
  ZipTestArchive a;
  a.entries = {Entry("small.txt", "new small"), Entry("big.bin", std::string(600000, 'b')),
               Entry("sub/new.bin", std::string(600000, 'n'))};
  a.entries[2].method = 0;
  Open(BuildZip(a));
  archiver.Options().FlushBuffers = true;  // as the main window's archiver
  std::map<std::string, std::string> want = FilesBelow(dir);
  dialogs.answers = {mrIgnore, mrIgnore, mrIgnore};
  {
    FileSizeLimit full(GetParam());
    Extract();
  }
  size_t failed = 0;
  for (const ZipTestEntry& e : a.entries) {
    if (e.data.size() <= GetParam()) want["out/" + e.name] = Digest(e.data);
    else ++failed;
  }
  EXPECT_EQ(want, FilesBelow(dir));
  EXPECT_EQ(static_cast<int>(failed), archiver.LastRunFailures());
  ASSERT_EQ(failed, dialogs.questions.size());
  for (const std::string& question : dialogs.questions)
    EXPECT_NE(std::string::npos, question.find("Native error: 00008. File processing error, possibly disk is full"));
}

INSTANTIATE_TEST_SUITE_P(Limits, FullDisk, ::testing::Values(0, 1, 4096, 300000));

struct OverwriteCase {
  const char* label;
  int answer;
  bool replaced;
  TZipOverwriteMode modeAfter;
};

class OverwriteQuestion : public Fixture, public ::testing::WithParamInterface<OverwriteCase> {};

TEST_P(OverwriteQuestion, AnswerDecidesAndSetsTheMode) {
  dir.Write("out/a.txt", "old");
  Open(BuildZip([] { ZipTestArchive a; a.entries = {Entry("a.txt", "new")}; return a; }()));
  archiver.Options().OverwriteMode = omPrompt;
  dialogs.answers = {GetParam().answer};
  Extract();
  ASSERT_EQ(1u, dialogs.questions.size());
  EXPECT_EQ("Overwrite file \"" + dir / "out" + "\\a.txt\" with \"a.txt\"", dialogs.questions[0]);
  EXPECT_EQ((std::vector<TMsgDlgBtn>{mbYes, mbNo, mbNoToAll, mbYesToAll}), dialogs.buttonSets[0]);
  EXPECT_EQ(GetParam().replaced ? "new" : "old", dir.Read("out/a.txt"));
  EXPECT_EQ(GetParam().modeAfter, archiver.Options().OverwriteMode);
}

INSTANTIATE_TEST_SUITE_P(Answers, OverwriteQuestion,
                         ::testing::Values(OverwriteCase{"Yes", mrYes, true, omPrompt},
                                           OverwriteCase{"No", mrNo, false, omPrompt},
                                           OverwriteCase{"YesToAll", mrYesToAll, true, omAlways},
                                           OverwriteCase{"NoToAll", mrNoToAll, false, omNever}),
                         [](const auto& info) { return std::string(info.param.label); });

using OverwriteRules = Fixture;

TEST_F(OverwriteRules, NewerAndOlderCompareDosTimes) {
  Open(BuildZip([] { ZipTestArchive a; a.entries = {Entry("a.txt", "new")}; return a; }()));  // 2025-01-01 12:00
  struct Case {
    int32_t existing;  // DOS date-time of the file already there; 0: now
    TZipOverwriteMode mode;
    bool replaced;
  };
  const int32_t entryTime = 0x5A216000, dayBefore = 0x599F6000;
  const Case cases[] = {
      {0, omIfNewer, false},          // the existing file is newer: kept
      {entryTime, omIfNewer, false},  // as new as the entry: kept
      {dayBefore, omIfNewer, true},
      {entryTime, omIfOlder, false},
      {0, omIfOlder, true},
  };
  for (const Case& c : cases) {
    dir.Write("out/a.txt", "old");
    if (c.existing) {
      ASSERT_TRUE(FileSetDate(dir / "out/a.txt", c.existing));
    }
    archiver.Options().OverwriteMode = c.mode;
    Extract();
    EXPECT_EQ(c.replaced ? "new" : "old", dir.Read("out/a.txt")) << c.mode;
  }
}

TEST_F(OverwriteRules, ReadOnlyFileIsReplacedAndTakesTheEntryAttributes) {
  dir.Write("out/a.txt", "old");
  ::chmod((dir / "out/a.txt").c_str(), 0444);
  ZipTestArchive a;
  a.entries = {Entry("a.txt", "new"), Entry("b.txt", "writable")};
  a.entries[0].externalAttr = 0x21;
  Open(BuildZip(a));
  Extract();
  struct stat st {};
  ::stat((dir / "out/a.txt").c_str(), &st);
  EXPECT_EQ("new", dir.Read("out/a.txt"));
  EXPECT_EQ(0, st.st_mode & 0222);
  ::stat((dir / "out/b.txt").c_str(), &st);
  EXPECT_NE(0, st.st_mode & S_IWUSR);

  archiver.Options().ReplaceReadOnly = false;
  ::chmod((dir / "out/b.txt").c_str(), 0444);
  dir.Write("out/b.txt", "kept");  // root may write a read-only file; the archiver may not
  Extract();
  EXPECT_EQ("kept", dir.Read("out/b.txt"));
}

TEST_F(OverwriteRules, AReplacedFileWithAnotherLinkKeepsItsContentThere) {
  dir.Write("out/a.txt", "old a");
  // Replaced, b's storage is taken over by c, which must end at its own size.
  dir.Write("out/b.txt", "old b, longer than any of the new contents");
  dir.Write("out/c.txt", "old c");
  std::filesystem::create_hard_link(dir / "out/a.txt", dir / "other.txt");
  ZipTestArchive a;
  a.entries = {Entry("a.txt", "new a"), Entry("b.txt", "new b"), Entry("c.txt", "new c")};
  Open(BuildZip(a));
  Extract();
  EXPECT_EQ("old a", dir.Read("other.txt"));
  EXPECT_EQ("new a", dir.Read("out/a.txt"));
  EXPECT_EQ("new b", dir.Read("out/b.txt"));
  EXPECT_EQ("new c", dir.Read("out/c.txt"));
  int files = 0;  // no temporary file is left
  for (auto& e : std::filesystem::directory_iterator(dir / "out")) files += e.is_regular_file();
  EXPECT_EQ(3, files);
}

TEST_F(OverwriteRules, UnixModeBitsFromTheArchiveAreNeverApplied) {
  ZipTestArchive a;
  a.entries = {Entry("tool", "#!/bin/sh\n")};
  a.entries[0].externalAttr = (0104777u << 16) | 0x20;  // setuid, world-writable
  Open(BuildZip(a));
  Extract();
  struct stat st {};
  ::stat((dir / "out/tool").c_str(), &st);
  EXPECT_EQ(0, st.st_mode & (S_ISUID | S_IXUSR | S_IWOTH));
}

TEST_F(OverwriteRules, SymbolicLinkInsideBaseIsNotFollowed) {
  TempDir outside;
  std::filesystem::create_directories(dir / "out");
  std::filesystem::create_directory_symlink(outside.Path(), dir / "out/link");
  // "\x81" before "/" is no character of code page 936; read as one it would hide the
  // separator from the checks and reach the file system as "link?/".
  std::filesystem::create_directory_symlink(outside.Path(), dir / "out/link?");
  ZipTestArchive a;
  a.entries = {Entry("link/escaped.txt", "x"), Entry("link\x81/escaped2.txt", "x"), Entry("safe.txt", "y")};
  Open(BuildZip(a));
  dialogs.answers = {mrIgnore, mrIgnore};
  Extract();
  EXPECT_FALSE(outside.Exists("escaped.txt"));
  EXPECT_FALSE(outside.Exists("escaped2.txt"));
  ASSERT_EQ(2u, dialogs.questions.size());
  EXPECT_NE(std::string::npos, dialogs.questions[0].find("Native error: 00020"));
  EXPECT_NE(std::string::npos, dialogs.questions[1].find("Native error: 00019"));
  EXPECT_EQ("y", dir.Read("out/safe.txt"));
}

TEST_F(OverwriteRules, OfTwoEntriesOfOneNameTheLaterWins) {
  dir.Write("out/other.txt", "old");  // the base folder is there: entries may be written ahead
  ZipTestArchive a;
  a.entries = {Entry("a.txt", std::string(2 << 20, 'x')), Entry("a.txt", "later")};
  a.entries[0].method = 0;
  Open(BuildZip(a));
  // Time for the workers to run ahead of the loop to the later entry.
  archiver.OnConfirmProcessFile = [](TObject*, const AnsiString&, TZipProcessOperation, bool&) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  };
  Extract();
  EXPECT_EQ("later", dir.Read("out/a.txt"));
}

TEST_F(OverwriteRules, AnExistingFolderIsNeverReplaced) {
  std::filesystem::create_directories(dir / "out/a.txt/inner");
  Open(BuildZip([] { ZipTestArchive a; a.entries = {Entry("a.txt", "x")}; return a; }()));
  dialogs.answers = {mrIgnore};
  Extract();
  EXPECT_TRUE(std::filesystem::is_directory(dir / "out/a.txt/inner"));
  ASSERT_EQ(1u, dialogs.questions.size());
  EXPECT_NE(std::string::npos, dialogs.questions[0].find("Cannot create file"));
}

using PasswordPrompt = Fixture;

// Whether password passes the one-byte check of the first entry's encryption header
// (a wrong one does for one header in 256).
bool PassesCheckByte(const std::string& zip, const AnsiString& password) {
  const auto at = [&](size_t i) { return static_cast<uint8_t>(zip[i]); };
  const size_t data = 30 + (at(26) | at(27) << 8) + (at(28) | at(29) << 8);
  uint8_t header[kZipCryptHeaderSize];
  std::copy(zip.begin() + static_cast<long>(data), zip.begin() + static_cast<long>(data + sizeof header), header);
  TZipDecrypter(password).Decrypt(header, sizeof header);
  return header[kZipCryptHeaderSize - 1] == ((at(6) & 0x08) ? at(11) : at(17));
}

// An archive of one entry encrypted with "right", whose random encryption header
// happens to let none of the wrong passwords of these tests through.
std::string Encrypted(const TempDir& dir) {
  dir.Write("src/secret.txt", "classified");
  for (;;) {
    std::filesystem::remove(dir / "e.zip");
    RunTool("cd " + ShellQuote(dir / "src") + " && zip -q -P right ../e.zip secret.txt");
    const std::string zip = dir.Read("e.zip");
    if (!PassesCheckByte(zip, "wrong") && !PassesCheckByte(zip, "also wrong") && !PassesCheckByte(zip, ""))
      return zip;
  }
}

TEST_F(PasswordPrompt, AsksUntilTheRightPasswordAndKeepsIt) {
  Open(Encrypted(dir));
  archiver.SetPassword("wrong");
  dialogs.passwords = {"also wrong", "right"};
  Extract();
  ASSERT_EQ(2u, dialogs.questions.size());
  EXPECT_EQ("Password for \"secret.txt\"|Enter password: ", dialogs.questions[0]);
  EXPECT_EQ("classified", dir.Read("out/secret.txt"));
  EXPECT_EQ("right", archiver.Password());
}

TEST_F(PasswordPrompt, CancellingSkipsTheEntryWithoutAnError) {
  dir.Write("out/secret.txt", "old");
  Open(Encrypted(dir));
  Extract();  // no scripted password: the prompt is cancelled
  EXPECT_EQ(1u, dialogs.questions.size());
  EXPECT_EQ("old", dir.Read("out/secret.txt"));
  EXPECT_FALSE(archiver.LastRunAborted());
  EXPECT_EQ(0, archiver.LastRunFailures());
}

}  // namespace

namespace {

struct SelectionCase {
  const char* label;
  const char* mask;
  uint16_t attr;
  const char* exclude;
  bool recurse;
  std::vector<std::string> extracted;
};

class Selection : public Fixture, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(Selection, ExtractsExactlyTheMatchingEntries) {
  ZipTestArchive a;
  a.entries = {Entry("a.txt", "1"), Entry("sub/a.bin", "2"), Entry("sub/hidden.txt", "3"), Entry("sub/", "")};
  a.entries[2].externalAttr = 0x22;
  a.entries[3].externalAttr = 0x10;
  Open(BuildZip(a));
  archiver.Options().Recurse = GetParam().recurse;
  archiver.ExtractMatching(GetParam().mask, GetParam().attr, GetParam().exclude);
  std::vector<std::string> found;
  if (std::filesystem::exists(dir / "out"))
    for (auto& e : std::filesystem::recursive_directory_iterator(dir / "out"))
      found.push_back(std::filesystem::relative(e.path(), dir / "out").string());
  std::sort(found.begin(), found.end());
  EXPECT_EQ(GetParam().extracted, found);
}

INSTANTIATE_TEST_SUITE_P(
    Masks, Selection,
    ::testing::Values(
        SelectionCase{"Everything", "*.*", 10431, "", true, {"a.txt", "sub", "sub/a.bin", "sub/hidden.txt"}},
        SelectionCase{"HiddenAndFoldersFiltered", "*.*", 0x21, "", true, {"a.txt", "sub", "sub/a.bin"}},
        SelectionCase{"ByExtension", "*.TXT", 10431, "", true, {"a.txt", "sub", "sub/hidden.txt"}},
        SelectionCase{"ExclusionMaskExcludes", "*.*", 10431, "*.txt", true, {"sub", "sub/a.bin"}},
        SelectionCase{"DriveOfTheMaskIgnored", "C:sub\\*.bin", 10431, "", true, {"sub", "sub/a.bin"}},
        SelectionCase{"NoRecursionStaysInTheMaskFolder", "sub/*.*", 10431, "", false,
                      {"sub", "sub/a.bin", "sub/hidden.txt"}}),
    [](const auto& info) { return std::string(info.param.label); });

using Events = Fixture;

TEST_F(Events, ExtractFileRenamingOutsideIsRefusedAndConfirmFalseSkips) {
  ZipTestArchive a;
  a.entries = {Entry("a.txt", "1"), Entry("b.txt", "2"), Entry("c.txt", "3")};
  Open(BuildZip(a));
  archiver.OnExtractFile = [](TObject*, AnsiString& name, uint32_t&, const AnsiString&) {
    if (name == "a.txt") name = "..\\escape.txt";
  };
  archiver.OnConfirmProcessFile = [](TObject*, const AnsiString& name, TZipProcessOperation, bool& confirm) {
    confirm = name != "b.txt";
  };
  std::vector<std::string> phases;
  archiver.OnOverallProgress = [&](TObject*, double p, TZipProcessOperation, TZipProgressPhase phase, bool&) {
    if (phase != ppProcess) phases.push_back(std::to_string(phase) + ":" + std::to_string(static_cast<int>(p)));
  };
  dialogs.answers = {mrIgnore};
  Extract();
  EXPECT_FALSE(std::filesystem::exists(dir / "escape.txt"));
  EXPECT_FALSE(dir.Exists("out/b.txt"));
  EXPECT_EQ("3", dir.Read("out/c.txt"));
  ASSERT_EQ(1u, dialogs.questions.size());
  EXPECT_EQ(0u, dialogs.questions[0].find("Archiver: Cannot create file \"..\\escape.txt\" - Native error: 00019"));
  EXPECT_EQ((std::vector<std::string>{"0:0", "2:100"}), phases);
}


// Every event of a run in the order the caller gets it, into a folder that exists already
// (entries may then be written ahead of the loop): a failed entry in the middle, answered
// with Ignore or Abort. Aborted, no entry after the failed one is left on the disk.
struct OrderCase {
  const char* label;
  TZipAction answer;
  std::vector<std::string> tail;  // events after the failure
  size_t fileCount;  // regular files in the base folder afterwards, of which:
  std::vector<std::string> files;
};

class EventOrder : public Fixture, public ::testing::WithParamInterface<OrderCase> {};

TEST_P(EventOrder, ReachesTheCallerInArchiveOrder) {
  dir.Write("out/old.txt", "old");
  ZipTestArchive a;
  a.entries = {Entry("a.txt", "1"), Entry("b.txt", "2"), Entry("c.txt", "3"), Entry("d.txt", "")};
  for (int i = 0; i < 40; ++i) a.entries.push_back(Entry("sub/" + std::to_string(i), "x"));
  a.entries[1].crc = 1;
  a.entries[3].method = 0;
  Open(BuildZip(a));
  std::vector<std::string> events;
  archiver.OnConfirmProcessFile = [&](TObject*, const AnsiString& name, TZipProcessOperation, bool&) {
    events.push_back("confirm " + name);
  };
  archiver.OnFileProgress = [&](TObject*, const AnsiString& name, double p, TZipProcessOperation,
                                TZipProgressPhase phase, bool&) {
    events.push_back("file " + std::to_string(phase) + " " + std::to_string(static_cast<int>(p)) + " " + name);
  };
  archiver.OnOverallProgress = [&](TObject*, double p, TZipProcessOperation, TZipProgressPhase phase, bool&) {
    events.push_back("overall " + std::to_string(phase) + " " + std::to_string(static_cast<int>(p)));
  };
  archiver.OnProcessFileFailure = [&](TObject*, const AnsiString& name, TZipProcessOperation, int native, int,
                                      const AnsiString&, TZipAction& action) {
    events.push_back("failure " + name + " " + std::to_string(native));
    action = GetParam().answer;
  };
  Extract();
  std::vector<std::string> want = {"overall 0 0",   "confirm a.txt",  "file 0 0 a.txt", "file 1 0 a.txt",
                                   "overall 1 0",   "file 2 100 a.txt", "confirm b.txt", "file 0 0 b.txt",
                                   "file 1 0 b.txt", "overall 1 2",    "failure b.txt 8"};
  want.insert(want.end(), GetParam().tail.begin(), GetParam().tail.end());
  if (GetParam().answer == fxaIgnore) {
    for (int i = 0; i < 40; ++i) {
      const std::string name = "sub\\" + std::to_string(i);
      const std::vector<std::string> entry = {"confirm " + name, "file 0 0 " + name, "file 1 0 " + name,
                                              "overall 1 " + std::to_string((i + 3) * 100 / 44), "file 2 100 " + name};
      want.insert(want.end(), entry.begin(), entry.end());
    }
    want.push_back("overall 2 100");
  }
  EXPECT_EQ(want, events);
  std::vector<std::string> found;
  for (auto& e : std::filesystem::recursive_directory_iterator(dir / "out"))
    if (e.is_regular_file()) found.push_back(std::filesystem::relative(e.path(), dir / "out").string());
  EXPECT_EQ(GetParam().fileCount, found.size());
  for (const std::string& f : GetParam().files) EXPECT_TRUE(dir.Exists("out/" + f)) << f;
}

INSTANTIATE_TEST_SUITE_P(
    Answers, EventOrder,
    ::testing::Values(OrderCase{"Ignore", fxaIgnore,
                                {"confirm c.txt", "file 0 0 c.txt", "file 1 0 c.txt", "overall 1 2", "file 2 100 c.txt",
                                 "confirm d.txt", "file 0 0 d.txt", "file 2 100 d.txt"},
                                44, {"old.txt", "a.txt", "c.txt", "d.txt", "sub/0", "sub/39"}},
                      OrderCase{"Abort", fxaAbort, {"overall 2 100"}, 2, {"old.txt", "a.txt"}}),
    [](const auto& info) { return std::string(info.param.label); });
}  // namespace
