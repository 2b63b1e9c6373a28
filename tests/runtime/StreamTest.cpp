#include <gtest/gtest.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <chrono>
#include <functional>
#include <thread>

#include "runtime/Exception.h"
#include "runtime/FileStream.h"
#include "runtime/FileUtils.h"
#include "runtime/MemoryStream.h"
#include "runtime/Hooks.h"
#include "support/ExpectRaises.h"
#include "support/FakePump.h"
#include "support/FileSizeLimit.h"
#include "support/TempDir.h"

TEST(MemoryStream, GrowsAcrossManyWritesAndReadsBackExactly) {
  TMemoryStream s;
  std::string expected;
  for (int i = 0; i < 5000; ++i) {
    std::string chunk(static_cast<size_t>(i % 97 + 1), static_cast<char>('a' + i % 26));
    s.WriteBuffer(chunk.data(), static_cast<int64_t>(chunk.size()));
    expected += chunk;
  }
  ASSERT_EQ(s.Size(), static_cast<int64_t>(expected.size()));
  EXPECT_EQ(std::string(s.Memory(), expected.size()), expected);
  s.SetPosition(0);
  std::string back(expected.size(), '\0');
  s.ReadBuffer(back.data(), static_cast<int64_t>(back.size()));
  EXPECT_EQ(back, expected);
  char extra;
  EXPECT_THROW(s.ReadBuffer(&extra, 1), EReadError);
}

TEST(MemoryStream, SetSizeTruncatesAndKeepsPositionInside) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  s.SetSize(3);
  EXPECT_EQ(s.Position(), 3);
  EXPECT_EQ(std::string(s.Memory(), 3), "abc");
}

namespace {

// Runs check in a child process that sees folder mounted read-only (a private mount
// namespace; root ignores folder permissions, but not a read-only mount). Returns the
// child's exit code, or -1 when such a mount cannot be made here.
int WithReadOnlyFolder(const std::string& folder, const std::function<bool()>& check) {
  const pid_t pid = ::fork();
  if (pid == 0) {
    if (::unshare(CLONE_NEWNS) != 0 || ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) != 0 ||
        ::mount(folder.c_str(), folder.c_str(), nullptr, MS_BIND, nullptr) != 0 ||
        ::mount(nullptr, folder.c_str(), nullptr, MS_REMOUNT | MS_BIND | MS_RDONLY, nullptr) != 0)
      ::_exit(77);
    ::_exit(check() ? 0 : 1);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  return WIFEXITED(status) && WEXITSTATUS(status) != 77 ? WEXITSTATUS(status) : -1;
}

}  // namespace

TEST(FileUtils, ReplaceKeepsOldFileWhenTheFolderIsReadOnly) {
  TempDir dir;
  dir.Write("sub/a.txt", "old");
  const std::string file = dir / "sub/a.txt";
  auto refused = [&] {
    try {
      ReplaceFileContent(file, "new", 3);
    } catch (const EFCreateError& e) {
      return e.Message().find(file) != std::string::npos;
    }
    return false;
  };
  if (::geteuid() != 0) {
    ::chmod((dir / "sub").c_str(), 0555);
    EXPECT_TRUE(refused());
  } else {
    const int result = WithReadOnlyFolder(dir / "sub", refused);
    if (result < 0) GTEST_SKIP() << "no read-only mount possible here, and root ignores folder permissions";
    EXPECT_EQ(result, 0);
  }
  EXPECT_EQ(dir.Read("sub/a.txt"), "old");
  EXPECT_EQ(std::distance(std::filesystem::directory_iterator(dir / "sub"), {}), 1);
}

TEST(FileUtils, ReplaceWritesWholeContentAndLeavesNoTemporaryFile) {
  TempDir dir;
  dir.Write("a.txt", "a much longer old content");
  ReplaceFileContent(dir / "a.txt", "new", 3);
  EXPECT_EQ(dir.Read("a.txt"), "new");
  int count = 0;
  for (auto& e : std::filesystem::directory_iterator(dir.Path())) (void)e, ++count;
  EXPECT_EQ(count, 1);
}

TEST(FileUtils, CreateErrorNamesTheFileAndTheReason) {
  TempDir dir;
  ExpectRaises<EFCreateError>([&] { ReplaceFileContent(dir / "missing/a.txt", "x", 1); },
                              "Cannot create file \"" + (dir / "missing/a.txt") + "\". No such file or directory");
}

TEST(MemoryStream, PositionBeforeTheStartReadsAndWritesNothing) {
  TMemoryStream s;
  s.WriteBuffer("abcdef", 6);
  s.Seek(-4, soBeginning);
  char buffer[8];
  EXPECT_EQ(s.Read(buffer, 8), 0);
  EXPECT_EQ(s.Write("x", 1), 0);
  EXPECT_EQ(s.Size(), 6);
}

struct OpenCase {
  const char* name;
  std::function<void(const TempDir&)> open;
  const char* expected;  // message with %s for the temporary folder
};

class FileErrors : public ::testing::TestWithParam<OpenCase> {};

TEST_P(FileErrors, NameTheFileAndTheSystemReason) {
  TempDir dir;
  dir.Write("ro.txt", "keep");
  ::chmod((dir / "ro.txt").c_str(), 0444);
  dir.Write("sub/x", "");
  std::string expected = GetParam().expected;
  const size_t at = expected.find("%s");
  if (at != std::string::npos) expected.replace(at, 2, dir.Path());
  ExpectRaises<EStreamError>([&] { GetParam().open(dir); }, expected);
  EXPECT_EQ(dir.Read("ro.txt"), "keep");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FileErrors,
    ::testing::Values(
        OpenCase{"OpenMissing", [](const TempDir& d) { TFileStream(d / "none", fmOpenRead); },
                 "Cannot open file \"%snone\". No such file or directory"},
        OpenCase{"ReadOnlyForWriting", [](const TempDir& d) { TFileStream(d / "ro.txt", fmOpenReadWrite); },
                 "Cannot open file \"%sro.txt\". Permission denied"},
        OpenCase{"CreateOverReadOnly", [](const TempDir& d) { TFileStream(d / "ro.txt", fmCreate); },
                 "Cannot create file \"%sro.txt\". Permission denied"},
        OpenCase{"ReplaceReadOnly", [](const TempDir& d) { ReplaceFileContent(d / "ro.txt", "new", 3); },
                 "Cannot create file \"%sro.txt\". Permission denied"},
        OpenCase{"ReplaceOnFullDisk",
                 [](const TempDir& d) {
                   ::chmod((d / "ro.txt").c_str(), 0644);
                   FileSizeLimit full(2);
                   ReplaceFileContent(d / "ro.txt", "a longer content", 16);
                 },
                 "Cannot create file \"%sro.txt\". File too large"},
        OpenCase{"CreateInProc", [](const TempDir&) { TFileStream("/proc/tavro-test", fmCreate); },
                 "Cannot create file \"/proc/tavro-test\". No such file or directory"},
        OpenCase{"ReadFolderAsFile", [](const TempDir& d) { ReadFileContent(d / "sub"); },
                 "Cannot open file \"%ssub\". Is a directory"},
        OpenCase{"LoadFolder", [](const TempDir& d) { TMemoryStream().LoadFromFile(d / "sub"); },
                 "Cannot open file \"%ssub\". Is a directory"}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

TEST(FileStream, WritesSeeksAndReadsBack) {
  TempDir dir;
  {
    TFileStream f(dir / "a.bin", fmCreate);
    f.WriteBuffer("hello world", 11);
    f.SetSize(5);
    EXPECT_EQ(f.Position(), 5);
  }
  TFileStream f(dir / "a.bin", fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ(f.Size(), 5);
  char buffer[5];
  f.ReadBuffer(buffer, 5);
  EXPECT_EQ(std::string(buffer, 5), "hello");
  EXPECT_THROW(f.ReadBuffer(buffer, 1), EReadError);
}

TEST(FileUtils, DosDateTimesRoundTripAndRejectDaysTheMonthLacks) {
  struct tm lt {};
  lt.tm_year = 2005 - 1900, lt.tm_mon = 9, lt.tm_mday = 19, lt.tm_hour = 13, lt.tm_min = 45, lt.tm_sec = 30;
  lt.tm_isdst = -1;
  const time_t t = ::mktime(&lt);
  EXPECT_EQ(FileDateToDateTime(DateTimeToFileDate(t)), t);
  // Later in the same minute, and the seconds field past 58 (no such second).
  EXPECT_EQ(FileDateToDateTime(DateTimeToFileDate(t) + 14), t + 28);
  EXPECT_EQ(FileDateToDateTime((DateTimeToFileDate(t) & ~0x1F) | 30), -1);
  // 2005-02-30 00:00:00
  EXPECT_EQ(FileDateToDateTime(static_cast<int32_t>(((25u << 9) | (2u << 5) | 30u) << 16)), -1);
  lt.tm_year = 2300 - 1900;
  EXPECT_EQ(static_cast<uint32_t>(DateTimeToFileDate(::mktime(&lt))) >> 25, 127u);
}

// A long sync is waited for while the window is served, from the window's thread only: a
// worker (one writing entries ahead of an unpacking) never runs the window's pump.
TEST(WhilePumping, ServesTheWindowOnlyOnItsOwnThreadAndPassesOnWhatTheWorkThrows) {
  FakePump pump;
  const auto slowWork = [] { std::this_thread::sleep_for(std::chrono::milliseconds(40)); };
  WhilePumping(slowWork);
  const int pumped = pump.Calls();
  EXPECT_GE(pumped, 2);
  std::thread([&] { WhilePumping(slowWork); }).join();
  EXPECT_EQ(pumped, pump.Calls());
  EXPECT_THROW(WhilePumping([] { throw EWriteError("Stream write error"); }), EWriteError);
}
