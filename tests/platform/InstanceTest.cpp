// The named mutex and the window lookup, seen from a second real process.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <functional>

#include "platform/NamedMutex.h"
#include "platform/ProgramInfo.h"
#include "platform/WinExec.h"
#include "platform/WindowList.h"
#include "support/TempDir.h"

namespace {

// A forked process that runs setup, reports that it is ready, and lives until Stop().
class OtherProcess {
 public:
  explicit OtherProcess(const std::function<void()>& setup) {
    int ready[2], stop[2];
    if (::pipe(ready) != 0 || ::pipe(stop) != 0) std::abort();
    pid_ = ::fork();
    if (pid_ == 0) {
      ::close(ready[0]);
      ::close(stop[1]);
      setup();
      char c = 'r';
      if (::write(ready[1], &c, 1) != 1) ::_exit(2);
      while (::read(stop[0], &c, 1) > 0) {
      }
      ::_exit(0);  // no atexit handlers: the published caption stays behind, as after a crash
    }
    ::close(ready[1]);
    ::close(stop[0]);
    stop_ = stop[1];
    char c;
    EXPECT_EQ(::read(ready[0], &c, 1), 1);
    ::close(ready[0]);
  }
  ~OtherProcess() { Stop(); }
  int Pid() const { return pid_; }
  void Stop() {
    if (stop_ < 0) return;
    ::close(stop_);
    stop_ = -1;
    int status = 0;
    ::waitpid(pid_, &status, 0);
  }

 private:
  int pid_ = -1;
  int stop_ = -1;
};

class Instances : public ::testing::Test {
 protected:
  void SetUp() override { ::setenv("XDG_RUNTIME_DIR", dir_.Path().c_str(), 1); }
  void TearDown() override {
    UnpublishWindowCaption();
    ::unsetenv("XDG_RUNTIME_DIR");
  }
  TempDir dir_;
};

}  // namespace

TEST_F(Instances, MutexHeldByAnotherProcessAlreadyExistsUntilThatProcessEnds) {
  OtherProcess first([] { new TNamedMutex("RunOnlyOnce_Tavro"); });
  {
    TNamedMutex second("RunOnlyOnce_Tavro");
    EXPECT_TRUE(second.AlreadyExisted());
    EXPECT_FALSE(second.Owned());
    EXPECT_EQ(second.LockFileName(), dir_ / "RunOnlyOnce_Tavro.lock");
  }
  first.Stop();
  TNamedMutex third("RunOnlyOnce_Tavro");
  EXPECT_FALSE(third.AlreadyExisted());
  EXPECT_TRUE(third.Owned());
}

TEST_F(Instances, ProgramsStartedByTheOwnerDoNotKeepTheMutex) {
  dir_.Write("sleeper", "#!/bin/sh\nexec sleep 5\n");
  ::chmod((dir_ / "sleeper").c_str(), 0755);
  {
    TNamedMutex owner("Held");
    ASSERT_TRUE(owner.Owned());
    ASSERT_GT(WinExec((dir_ / "sleeper").c_str(), 0), 31u);
  }
  TNamedMutex next("Held");
  EXPECT_TRUE(next.Owned());
}

TEST_F(Instances, WindowLookupFindsAnotherProcessByCaptionWithoutCase) {
  OtherProcess first([] { PublishWindowCaption("Tavro"); });
  EXPECT_EQ(FindWindowByCaption("TAVRO"), first.Pid());
  EXPECT_NE(FindWindowA(nullptr, "tavro"), nullptr);
  EXPECT_EQ(FindWindowByCaption("Tavro MP3 LiveUpdate"), 0);
  ASSERT_TRUE(PublishWindowCaption("destroy Tavro"));
  EXPECT_EQ(FindWindowByCaption("Destroy tavro"), static_cast<int>(::getpid()));
  first.Stop();  // ends without removing its entry
  EXPECT_EQ(FindWindowByCaption("Tavro"), 0);
  EXPECT_FALSE(dir_.Exists("tavro-windows/" + std::to_string(first.Pid())));
}

TEST_F(Instances, AnEntryWhoseProcessIdNowBelongsToAnotherProgramIsSkipped) {
  // A live process (our parent) under an entry written by an earlier process of the same id.
  dir_.Write("tavro-windows/" + std::to_string(::getppid()), "1\nTavro");
  ::chmod((dir_ / "tavro-windows").c_str(), 0700);
  EXPECT_EQ(FindWindowByCaption("Tavro"), 0);
}

TEST(ProgramInfo, DefaultTitleIsTheNameUpToItsFirstDotWithTheRestInLowerCase) {
  EXPECT_EQ(ApplicationTitleFromFileName("/opt/tavro"), "tavro");
  EXPECT_EQ(ApplicationTitleFromFileName("C:\\Tools\\TAVRO.Update.EXE"), "Tavro");
  EXPECT_EQ(ApplicationTitleFromFileName("/opt/x.y/TAVRO.Bin.exe"), "Tavro");
  EXPECT_EQ(ApplicationTitleFromFileName("C:\\Tools\\LiveUpdate.exe"), "Liveupdate");
  // A double-byte first character stays whole; only what follows it is lowered.
  EXPECT_EQ(ApplicationTitleFromFileName("/x.y/\xD6\xD0" "AB.exe"), "\xD6\xD0" "ab");
  EXPECT_EQ(DefaultApplicationTitle(), "platform_tests");
}

TEST(ProgramInfo, FolderOfTheProgramFileAndTheBuildVersion) {
  const AnsiString file = ProgramFileName();
  EXPECT_EQ(ProgramFolder(), file.substr(0, file.rfind('/') + 1));
  EXPECT_NE(file.find("platform_tests"), std::string::npos);
  TFileVersion version;
  ASSERT_TRUE(GetProgramFileVersion(version));
  EXPECT_EQ(version.FileVersionMS(), (1u << 16) | 2005u);
  EXPECT_EQ(version.FileVersionLS(), (10u << 16) | 19u);
  SetProgramFileVersionForTesting(false);
  EXPECT_FALSE(GetProgramFileVersion(version));
  ResetProgramFileVersionForTesting();
  SetProgramFolderForTesting("/x/y");
  EXPECT_EQ(ProgramFolder(), "/x/y/");
  SetProgramFolderForTesting("");
  EXPECT_EQ(ProgramFolder(), file.substr(0, file.rfind('/') + 1));
}

TEST(ProgramInfo, DataFolderIsTheProgramFolderUnlessTheProgramIsAnInstalledCopy) {
  TempDir root;
  ::mkdir((root / "bin").c_str(), 0755);
  const std::string dataHome = root / "data";
  ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
  EXPECT_EQ(ChooseDataFolder(root / "bin/"), root / "bin/");
  // `cmake --install` and the package put the AppStream file beside bin/.
  ::mkdir((root / "share").c_str(), 0755);
  ::mkdir((root / "share/metainfo").c_str(), 0755);
  root.Write("bin/" + std::string(kInstalledMarker), "<component/>");
  EXPECT_EQ(ChooseDataFolder(root / "bin/"), dataHome + "/tavro/");
  struct stat st {};
  EXPECT_TRUE(::stat((dataHome + "/tavro").c_str(), &st) == 0 && S_ISDIR(st.st_mode));
  ::unsetenv("XDG_DATA_HOME");
}
