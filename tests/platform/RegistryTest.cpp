#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>

#include "platform/Registry.h"
#include "runtime/Exception.h"
#include "support/ExpectRaises.h"
#include "support/TempDir.h"

namespace {

const char kKey[] = "\\software\\SigmaTel\\SigmaTel MSCN Audio Player\\Params\\";

class RegistryStore : public ::testing::Test {
 protected:
  void SetUp() override {
    ::setenv("XDG_CONFIG_HOME", (dir_ / "home").c_str(), 1);
    ::setenv("XDG_CONFIG_DIRS", ((dir_ / "etc1") + ":" + (dir_ / "etc2")).c_str(), 1);
    ::setenv("WINEPREFIX", (dir_ / "no-prefix").c_str(), 1);  // nothing of the user's own Wine
  }
  void TearDown() override {
    ::unsetenv("XDG_CONFIG_HOME");
    ::unsetenv("XDG_CONFIG_DIRS");
    ::unsetenv("WINEPREFIX");
  }
  void WriteStore(const std::string& where, const std::string& values) {
    dir_.Write(where + "/tavro/registry.reg",
               "Windows Registry Editor Version 5.00\r\n\r\n"
               "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SigmaTel\\SigmaTel MSCN Audio Player\\Params]\r\n" +
                   values);
  }
  std::string Store(const std::string& where) { return dir_ / (where + "/tavro/registry.reg"); }

  TempDir dir_;
};

}  // namespace

TEST_F(RegistryStore, ReadsTheInstallFolderWithFullAccess) {
  WriteStore("home", "\"Install Folder\"=hex(2):2f,00,6f,00,70,00,74,00,2f,00,00,00,7a,00\r\n");
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_TRUE(reg.KeyExists(kKey));
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  EXPECT_EQ(reg.Access(), KEY_ALL_ACCESS);
  EXPECT_EQ(reg.ReadString("Install Folder"), "/opt/");  // cut at the first NUL
  EXPECT_EQ(reg.ReadString("Missing"), "");
  reg.CloseKey();
  EXPECT_EQ(reg.ReadString("Install Folder"), "");
}

TEST_F(RegistryStore, NonTextValuesRaiseInvalidDataType) {
  WriteStore("home", "\"Install Folder\"=dword:00000001\r\n\"Bin\"=hex:41,00\r\n");
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  for (const char* name : {"Install Folder", "Bin"})
    ExpectRaises<ERegistryException>([&] { reg.ReadString(name); }, std::string("Invalid data type for '") + name + "'");
  EXPECT_EQ(reg.ReadInteger("Install Folder"), 1);
}

struct RightsCase {
  mode_t mode;
  bool exists;      // read rights (0x20009)
  bool openFull;    // KEY_ALL_ACCESS
  bool openRead;    // KEY_READ
};

class RegistryRights : public RegistryStore, public ::testing::WithParamInterface<RightsCase> {};

// The permission bits decide for root too, so these hold whoever runs the tests.
TEST_P(RegistryRights, FollowTheStoreFilePermissions) {
  WriteStore("home", "\"Install Folder\"=\"/opt/st\"\r\n");
  ::chmod(Store("home").c_str(), GetParam().mode);
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_EQ(reg.KeyExists(kKey), GetParam().exists);
  EXPECT_EQ(reg.OpenKey(kKey, false), GetParam().openFull);
  EXPECT_EQ(reg.OpenKeyReadOnly(kKey), GetParam().openRead);
}

INSTANTIATE_TEST_SUITE_P(Modes, RegistryRights,
                         ::testing::Values(RightsCase{0644, true, true, true}, RightsCase{0444, true, false, true},
                                           RightsCase{0200, false, false, false}, RightsCase{0000, false, false, false}));

TEST_F(RegistryStore, FallsBackToTheFirstSystemStoreAndOtherwiseHasNoKeys) {
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  EXPECT_FALSE(reg.KeyExists(kKey));
  WriteStore("etc2", "\"Install Folder\"=\"/two\"\r\n");
  dir_.Write("etc1/tavro/registry.reg", "REGEDIT4\r\n[HKEY_LOCAL_MACHINE\\Other]\r\n");
  EXPECT_EQ(TRegistry::StoreFileName(), Store("etc1"));
  EXPECT_FALSE(reg.KeyExists(kKey));
  WriteStore("home", "\"Install Folder\"=\"/home\"\r\n");
  ASSERT_TRUE(reg.OpenKey(kKey, false));
  EXPECT_EQ(reg.ReadString("install folder"), "/home");
}

TEST_F(RegistryStore, RelativeKeysOpenBelowTheCurrentKeyAndKeysAreNeverCreated) {
  WriteStore("home", "\"v\"=\"1\"\r\n");
  TRegistry reg;
  reg.SetRootKey(HKEY_LOCAL_MACHINE);
  ASSERT_TRUE(reg.OpenKey("\\Software\\SigmaTel", false));
  EXPECT_EQ(reg.CurrentPath(), "Software\\SigmaTel");
  ASSERT_TRUE(reg.OpenKey("SigmaTel MSCN Audio Player\\Params", false));
  EXPECT_EQ(reg.ReadString("V"), "1");
  EXPECT_FALSE(reg.OpenKey("\\Software\\New", true));
  EXPECT_FALSE(reg.KeyExists("\\Software\\New"));
}
