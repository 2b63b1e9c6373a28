#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>

#include "runtime/Exception.h"
#include "runtime/FileUtils.h"
#include "runtime/MemoryStream.h"
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

TEST(FileUtils, ReplaceKeepsOldFileWhenTheFolderIsReadOnly) {
  if (::geteuid() == 0) GTEST_SKIP() << "root ignores folder permissions";
  TempDir dir;
  dir.Write("sub/a.txt", "old");
  ::chmod((dir / "sub").c_str(), 0555);
  EXPECT_THROW(ReplaceFileContent(dir / "sub/a.txt", "new", 3), EFCreateError);
  EXPECT_EQ(dir.Read("sub/a.txt"), "old");
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
  try {
    ReplaceFileContent(dir / "missing/a.txt", "x", 1);
    FAIL();
  } catch (const EFCreateError& e) {
    EXPECT_EQ(e.Message(), "Cannot create file \"" + (dir / "missing/a.txt") + "\". No such file or directory");
  }
}
