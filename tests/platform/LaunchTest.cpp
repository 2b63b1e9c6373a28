#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <thread>

#include "platform/Launch.h"
#include "platform/ProgramInfo.h"
#include "platform/Shell.h"
#include "platform/WinExec.h"
#include "support/TempDir.h"

namespace {

// A script that records its folder and arguments (one per line) in <out>, then
// renames it to <out>.done so the reader never sees half of it.
std::string RecorderScript(const std::string& out, const std::string& tag) {
  return "#!/bin/sh\n{ echo " + tag + "; pwd; for a in \"$@\"; do echo \"[$a]\"; done; } > '" + out + "'\nmv '" + out +
         "' '" + out + ".done'\n";
}

class Launching : public ::testing::Test {
 protected:
  void SetUp() override {
    savedPath_ = std::getenv("PATH") ? std::getenv("PATH") : "";
    // Only what the recorders use: whether wine is on PATH is each test's own choice.
    dir_.Write("bin/.keep", "");
    for (const char* tool : {"mv", "readlink"}) ::symlink((std::string("/bin/") + tool).c_str(), (dir_ / "bin/" + tool).c_str());
    ::setenv("PATH", ((dir_ / "path") + ":" + (dir_ / "bin")).c_str(), 1);
    ::setenv("WINEPREFIX", (dir_ / "prefix").c_str(), 1);
    SetProgramFolderForTesting(dir_ / "prog");
  }
  void TearDown() override {
    ::setenv("PATH", savedPath_.c_str(), 1);
    ::unsetenv("WINEPREFIX");
    SetProgramFolderForTesting("");
  }
  void Executable(const std::string& name, const std::string& content, mode_t mode = 0755) {
    dir_.Write(name, content);
    ::chmod((dir_ / name).c_str(), mode);
  }
  // What the recorder wrote, waiting up to five seconds for it.
  std::string Recorded() {
    for (int i = 0; i < 500 && !dir_.Exists("out.done"); ++i) std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return dir_.Read("out.done");
  }
  TempDir dir_;
  std::string savedPath_;
};

}  // namespace

TEST_F(Launching, WinExecSearchesTheProgramFolderBeforePath) {
  Executable("path/tool.exe", RecorderScript(dir_ / "out", "path"));
  Executable("prog/tool.exe", RecorderScript(dir_ / "out", "prog"));
  EXPECT_GT(WinExec("tool.exe -s \"two words\"", SW_HIDE), 31u);
  char cwd[4096];
  ASSERT_NE(::getcwd(cwd, sizeof cwd), nullptr);
  EXPECT_EQ(Recorded(), "prog\n" + std::string(cwd) + "\n[-s]\n[two words]\n");
  // Started detached and reaped: nothing is left for us to wait for.
  EXPECT_EQ(::waitpid(-1, nullptr, WNOHANG), -1);

  ::unlink((dir_ / "prog/tool.exe").c_str());
  ::unlink((dir_ / "out.done").c_str());
  EXPECT_GT(WinExec("tool", SW_HIDE), 31u);  // ".exe" is tried too
  EXPECT_EQ(Recorded().substr(0, 5), "path\n");
}

TEST_F(Launching, WinExecReportsWhatCannotBeStarted) {
  Executable("prog/plain.txt", "text", 0644);
  Executable("prog/win.exe", "MZ\x90\x00", 0644);
  EXPECT_EQ(WinExec("Missing.exe", SW_HIDE), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinExec("", SW_HIDE), ERROR_FILE_NOT_FOUND);
  EXPECT_EQ(WinExec("plain.txt", SW_HIDE), ERROR_ACCESS_DENIED);
  EXPECT_EQ(WinExec("win.exe", SW_HIDE), ERROR_BAD_FORMAT);  // no wine on PATH
}

TEST_F(Launching, ShellExecuteStartsInTheFolderWithTheParameters) {
  // The folder name "固件" is GBK in the call and UTF-8 on disk; "\" separates like "/".
  const std::string ansiFolder = dir_ / "\xB9\xCC\xBC\xFE";
  Executable("\xE5\x9B\xBA\xE4\xBB\xB6/stupdaterapp.exe", RecorderScript(dir_ / "out", "tool"));
  const std::string file = ansiFolder + "\\\\stupdaterapp.exe";
  EXPECT_GT(ShellExecuteA(nullptr, "open", file.c_str(), "-s \"a b\" c\\\"d", (ansiFolder + "\\").c_str(),
                          SW_SHOWNORMAL),
            32);
  EXPECT_EQ(Recorded(), "tool\n" + (dir_ / "\xE5\x9B\xBA\xE4\xBB\xB6") + "\n[-s]\n[a b]\n[c\"d]\n");
  ::unlink((dir_ / "out.done").c_str());
  // A bare name is looked for in the working folder first.
  EXPECT_GT(ShellExecuteA(nullptr, nullptr, "stupdaterapp.exe", nullptr, ansiFolder.c_str(), SW_SHOWNORMAL), 32);
  EXPECT_EQ(Recorded().substr(0, 5), "tool\n");
}

TEST_F(Launching, ShellExecuteStartsWindowsProgramsThroughWine) {
  // As the vendor's setup names it; asked for as the program names it.
  Executable("store/StUpdaterApp.exe", "MZ\x90\x00 not really", 0644);
  const std::string asked = dir_ / "store/stupdaterapp.exe";
  EXPECT_EQ(ShellExecuteA(nullptr, "open", asked.c_str(), "-s", nullptr, SW_SHOWNORMAL), SE_ERR_NOASSOC);
  Executable("path/wine", RecorderScript(dir_ / "out", "wine \"$WINEPREFIX\""));
  EXPECT_GT(ShellExecuteA(nullptr, "open", asked.c_str(), "-s", (dir_ / "store").c_str(), SW_SHOWNORMAL), 32);
  EXPECT_EQ(Recorded(), "wine " + (dir_ / "prefix") + "\n" + (dir_ / "store") + "\n[" + (dir_ / "store/StUpdaterApp.exe") +
                            "]\n[-s]\n");
}

struct ShellFailure {
  const char* name;
  const char* verb;
  const char* file;  // below the temporary folder
  const char* directory;
  intptr_t expected;
};

class ShellFailures : public Launching, public ::testing::WithParamInterface<ShellFailure> {};

TEST_P(ShellFailures, ReturnTheErrorCode) {
  Executable("doc.txt", "text", 0644);
  Executable("tool", "#!/bin/sh\n");
  const ShellFailure& c = GetParam();
  const std::string file = dir_ / c.file;
  const std::string folder = c.directory ? dir_ / c.directory : std::string();
  EXPECT_EQ(ShellExecuteA(nullptr, c.verb, file.c_str(), "", c.directory ? folder.c_str() : nullptr, SW_SHOWNORMAL),
            c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ShellFailures,
    ::testing::Values(ShellFailure{"Missing", "open", "none.exe", nullptr, 2},
                      ShellFailure{"MissingFolder", "open", "tool", "nowhere", 3},
                      ShellFailure{"Document", "open", "doc.txt", nullptr, 31},
                      ShellFailure{"Folder", "open", "", nullptr, 31},
                      ShellFailure{"OtherVerb", "print", "tool", nullptr, 31}),
    [](const ::testing::TestParamInfo<ShellFailure>& info) { return std::string(info.param.name); });

struct SplitCase {
  const char* line;
  std::vector<std::string> args;
};

class CommandLines : public ::testing::TestWithParam<SplitCase> {};

TEST_P(CommandLines, SplitByThePlatformQuotingRules) { EXPECT_EQ(SplitCommandLine(GetParam().line), GetParam().args); }

INSTANTIATE_TEST_SUITE_P(Rules, CommandLines,
                         ::testing::Values(SplitCase{"a  b\tc", {"a", "b", "c"}}, SplitCase{"\"a b\" c", {"a b", "c"}},
                                           SplitCase{"a\\\\b", {"a\\\\b"}}, SplitCase{"a\\\"b", {"a\"b"}},
                                           SplitCase{"\"a\\\\\" b", {"a\\", "b"}}, SplitCase{"\"\"", {""}},
                                           SplitCase{"x\"y z\"w", {"xy zw"}}, SplitCase{"   ", {}}));

TEST_F(Launching, StartedProgramsInheritNoneOfOurFiles) {
  int leaky[2];
  ASSERT_EQ(::pipe(leaky), 0);  // without close-on-exec, as a careless library might open one
  struct stat st {};
  ::fstat(leaky[1], &st);
  Executable("prog/fds", "#!/bin/sh\nfor f in /proc/$$/fd/*; do readlink \"$f\"; done > '" + (dir_ / "out") +
                             "'\nmv '" + (dir_ / "out") + "' '" + (dir_ / "out.done") + "'\n");
  EXPECT_GT(WinExec("fds", SW_HIDE), 31u);
  const std::string fds = Recorded();
  EXPECT_NE(fds.find("/dev/null"), std::string::npos);
  EXPECT_EQ(fds.find("pipe:[" + std::to_string(st.st_ino) + "]"), std::string::npos) << fds;
  ::close(leaky[0]);
  ::close(leaky[1]);
}
