#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <climits>
#include <cstdlib>

#include "platform/Registry.h"
#include "platform/WinePrefix.h"
#include "runtime/CodePage.h"
#include "support/TempDir.h"

namespace {

const char kKey[] = "\\software\\SigmaTel\\SigmaTel MSCN Audio Player\\Params\\";

// A prefix as wineboot leaves it: drive C: is drive_c, Z: is the Linux root; its
// registry files hold what a test gives them.
class WinePrefixFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    dir_.Write("prefix/dosdevices/.keep", "");
    dir_.Write("prefix/drive_c/Program Files/SigmaTel/\xE6\x92\xAD\xE6\x94\xBE\xE5\x99\xA8/StUpdaterApp.exe", "MZ");
    ::symlink("../drive_c", (dir_ / "prefix/dosdevices/c:").c_str());
    ::symlink("/", (dir_ / "prefix/dosdevices/z:").c_str());
    char real[PATH_MAX];
    ASSERT_NE(::realpath((dir_ / "prefix").c_str(), real), nullptr);
    prefix_ = real;
    ::setenv("WINEPREFIX", prefix_.c_str(), 1);
    ::setenv("XDG_CONFIG_HOME", (dir_ / "config").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", (dir_ / "xdg").c_str(), 1);
  }
  void TearDown() override {
    for (const char* name : {"WINEPREFIX", "XDG_CONFIG_HOME", "XDG_CONFIG_DIRS"}) ::unsetenv(name);
  }
  // Wine's system.reg with the player key in the plain and/or the 32-bit view.
  void WriteSystemReg(const char* plainFolder, const char* viewFolder) {
    std::string text = "WINE REGISTRY Version 2\n;; All keys relative to REGISTRY\\\\Machine\n\n#arch=win64\n\n";
    auto key = [&text](const char* below, const char* folder) {
      text += std::string("[Software\\\\") + below + "SigmaTel\\\\SigmaTel MSCN Audio Player\\\\Params] 1796710907\n" +
              "#time=1dd86dc67197c20\n\"Install Folder\"=\"" + folder + "\"\n\n";
    };
    if (plainFolder) key("", plainFolder);
    if (viewFolder) key("Wow6432Node\\\\", viewFolder);
    dir_.Write("prefix/system.reg", text);
  }

  TempDir dir_;
  std::string prefix_;
};

struct PathCase {
  const char* name;
  const char* text;       // ANSI, as the registry holds it
  bool relativeAllowed;
  const char* expected;   // UTF-8; "@" stands for the prefix; null: not usable
  const char* why;        // a part of the reason when not usable
};

class FolderResolution : public WinePrefixFiles, public ::testing::WithParamInterface<PathCase> {};

}  // namespace

TEST_P(FolderResolution, FollowsThePrefixDrives) {
  const PathCase& c = GetParam();
  const TFolderResolution r = ResolveRegistryFolder(c.text, prefix_, c.relativeAllowed);
  if (!c.expected) {
    EXPECT_FALSE(r.Usable) << r.Folder;
    EXPECT_NE(r.Why.find(c.why), AnsiString::npos) << r.Why;
    return;
  }
  std::string expected = c.expected;
  if (expected[0] == '@') expected = prefix_ + expected.substr(1);
  EXPECT_TRUE(r.Usable) << r.Why;
  EXPECT_EQ(AnsiToUtf8(r.Folder), expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FolderResolution,
    ::testing::Values(
        PathCase{"DriveC", "C:\\Program Files\\SigmaTel\\\xB2\xA5\xB7\xC5\xC6\xF7", false,
                 "@/drive_c/Program Files/SigmaTel/\xE6\x92\xAD\xE6\x94\xBE\xE5\x99\xA8", ""},
        PathCase{"CaseAndSeparators", "c:/PROGRAM FILES\\sigmatel\\\\\xB2\xA5\xB7\xC5\xC6\xF7\\", false,
                 "@/drive_c/Program Files/SigmaTel/\xE6\x92\xAD\xE6\x94\xBE\xE5\x99\xA8", ""},
        PathCase{"MissingPartsKeptAsWritten", "C:\\program files\\New Folder\\x", false,
                 "@/drive_c/Program Files/New Folder/x", ""},
        PathCase{"DotsAsWindowsReadsThem", "C:\\Program Files\\..\\..\\.\\windows", false, "@/drive_c/windows", ""},
        PathCase{"DriveRoot", "C:", false, "@/drive_c", ""},
        PathCase{"DriveZIsTheLinuxRoot", "Z:\\", false, "/", ""},
        PathCase{"LinuxAbsolutePathStays", "/opt/St Player", false, "/opt/St Player", ""},
        PathCase{"RelativeFromTheOwnStore", "player", true, "player", ""},
        PathCase{"RelativeFromWine", "player", false, nullptr, "names no drive"},
        PathCase{"NoSuchDrive", "D:\\Player", false, nullptr, "has no drive D:"},
        PathCase{"NetworkPath", "\\\\server\\share\\Player", true, nullptr, "network path"},
        PathCase{"UnexpandedVariable", "%ProgramFiles%\\SigmaTel", true, nullptr, "%ProgramFiles%"},
        PathCase{"RelativeToADrive", "C:Player", false, nullptr, "relative to the current folder of drive C:"},
        PathCase{"Empty", "", true, nullptr, "no folder"}),
    [](const ::testing::TestParamInfo<PathCase>& info) { return std::string(info.param.name); });

struct ViewCase {
  const char* name;
  const char* ownStore;    // the program's registry.reg folder value, or null for no file
  const char* plain;       // Install Folder in the plain view, or null
  const char* view;        // in the 32-bit view, or null
  mode_t systemRegMode;
  bool exists;
  const char* folder;      // ReadFolder, UTF-8 ("@": the prefix); null: the key does not open
  const char* source;      // a part of KeySource()
};

class RegistryViews : public WinePrefixFiles, public ::testing::WithParamInterface<ViewCase> {};

TEST_P(RegistryViews, OwnStoreFirstThenThe32BitViewThenThePlainOne) {
  const ViewCase& c = GetParam();
  if (c.ownStore)
    dir_.Write("config/tavro/registry.reg", std::string("REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Software\\SigmaTel\\SigmaTel "
                                                        "MSCN Audio Player\\Params]\r\n\"Install Folder\"=\"") +
                                                c.ownStore + "\"\r\n");
  if (c.plain || c.view) WriteSystemReg(c.plain, c.view);
  ::chmod((dir_ / "prefix/system.reg").c_str(), c.systemRegMode);
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(reg.KeyExists(kKey), c.exists);
  ASSERT_EQ(reg.OpenKey(kKey, false), c.folder != nullptr);
  if (!c.folder) return;
  std::string expected = c.folder;
  if (!expected.empty() && expected[0] == '@') expected = prefix_ + expected.substr(1);
  EXPECT_EQ(AnsiToUtf8(reg.ReadFolder("Install Folder")), expected);
  EXPECT_NE(reg.KeySource().find(c.source), AnsiString::npos) << reg.KeySource();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RegistryViews,
    ::testing::Values(
        ViewCase{"OwnStoreKeepsPrecedence", "/opt/own", "C:\\Program Files", nullptr, 0644, true, "/opt/own",
                 "config/tavro/registry.reg"},
        ViewCase{"OwnStoreDrivePathsUseThePrefix", "C:\\\\PROGRAM FILES", nullptr, nullptr, 0644, true,
                 "@/drive_c/Program Files", "registry.reg"},
        ViewCase{"PlainView", nullptr, "C:\\\\Program Files\\\\SigmaTel", nullptr, 0644, true,
                 "@/drive_c/Program Files/SigmaTel", "the plain view of the Wine prefix"},
        ViewCase{"ThirtyTwoBitViewFirst", nullptr, "C:\\\\plain", "C:\\\\Program Files", 0644, true,
                 "@/drive_c/Program Files", "the 32-bit view (Wow6432Node) of the Wine prefix"},
        ViewCase{"UnusableFolderIsEmpty", nullptr, nullptr, "\\\\\\\\server\\\\share", 0644, true, "",
                 "32-bit view"},
        ViewCase{"ReadOnlyRegistryOpensNotWithFullAccess", nullptr, nullptr, "C:\\\\x", 0444, true, nullptr, ""},
        ViewCase{"NowhereToBeFound", nullptr, nullptr, nullptr, 0644, false, nullptr, ""}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });
