// Archives made by real tools, extracted by the archiver and by Info-ZIP unzip, must
// give the same files: bytes, times (2-second resolution) and the read-only bit.
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <random>

#include "runtime/FileUtils.h"
#include "support/TempDir.h"
#include "support/ZipTools.h"
#include "ZipTestUtil.h"

namespace {

struct ToolRecipe {
  const char* label;
  const char* command;     // run in the work folder: source tree "d", archive "a.zip"
  const char* password;
  bool readOnlyBit;        // the tool records the DOS read-only bit
  bool withoutDirectory = false;  // cut the central directory and end record off before extracting
};

// Source files carry a time far from the test run, so a file that did not get the
// entry's time shows.
constexpr int32_t kSourceTime = 0x4ECF528F;  // 2019-06-15 10:20:30

// Truncates an archive (without a comment) where its central directory starts.
void CutDirectory(const std::string& archive) {
  const std::uintmax_t size = std::filesystem::file_size(archive);
  std::ifstream in(archive, std::ios::binary);
  in.seekg(static_cast<std::streamoff>(size - 22 + 16));
  unsigned char offset[4] = {};
  in.read(reinterpret_cast<char*>(offset), 4);
  std::filesystem::resize_file(archive, offset[0] | offset[1] << 8 | offset[2] << 16 | uint32_t{offset[3]} << 24);
}

std::string Random(size_t size, unsigned seed) {
  std::mt19937 gen(seed);
  std::string s(size, '\0');
  for (char& c : s) c = static_cast<char>(gen());
  return s;
}

void MakeSourceTree(const TempDir& work, bool withReadOnly) {
  work.Write("d/readme", "no dot in this name\n");
  work.Write("d/a.txt", "hello, archive\n");
  work.Write("d/sub/b.bin", Random(300000, 1));
  std::string text;
  for (int i = 0; i < 100000; ++i) text += "line " + std::to_string(i) + " of a compressible file\n";
  work.Write("d/sub/deep/c.dat", text);
  work.Write("d/empty", "");
  std::filesystem::create_directories(work / "d/emptydir");
  if (withReadOnly) {
    work.Write("d/ro.txt", "read only\n");
    std::filesystem::permissions(work / "d/ro.txt", std::filesystem::perms::owner_read |
                                                        std::filesystem::perms::group_read |
                                                        std::filesystem::perms::others_read);
  }
  for (auto& e : std::filesystem::recursive_directory_iterator(work / "d"))
    if (e.is_regular_file()) FileSetDate(e.path().string(), kSourceTime);
}

class RealToolArchive : public ::testing::TestWithParam<ToolRecipe> {};

TEST_P(RealToolArchive, ExtractsTheSameFilesAsUnzip) {
  const ToolRecipe& r = GetParam();
  TempDir work;
  MakeSourceTree(work, r.readOnlyBit);
  ASSERT_EQ(0, RunTool("cd " + ShellQuote(work.Path()) + " && (" + r.command + ") >/dev/null")) << r.command;
  const std::string archive = work / "a.zip";
  const std::string unzipArgs = *r.password ? std::string("-P ") + r.password + " " : std::string();
  // unzip warns (status 1) about the foreign bytes in front of prefixed archives.
  ASSERT_LE(RunTool("LC_ALL=C.UTF-8 unzip -o -q " + unzipArgs + ShellQuote(archive) + " -d " +
                    ShellQuote(work / "want") + " 2>/dev/null"),
            1);
  if (r.withoutDirectory) CutDirectory(archive);

  RecordingArchiver zip;
  zip.archiver.SetPassword(r.password);
  zip.ExtractAll(archive, work / "got");
  EXPECT_TRUE(zip.failures.empty()) << zip.failures.front().message;
  EXPECT_EQ("", CompareTrees(work / "want", work / "got"));
}

// Python's zipfile writing to a stream it cannot seek: every entry's sizes follow its
// data in a data descriptor.
constexpr const char* kPythonStreamingZip =
    "python3 -c \"import zipfile,os,sys\n"
    "class S:\n"
    "  def __init__(s,f): s.f=f\n"
    "  def write(s,b): return s.f.write(b)\n"
    "  def flush(s): s.f.flush()\n"
    "with open('a.zip','wb') as out, zipfile.ZipFile(S(out),'w',zipfile.ZIP_DEFLATED) as z:\n"
    "  for root,dirs,files in os.walk('d'):\n"
    "    for f in files: z.write(os.path.join(root,f))\"";

const ToolRecipe kRecipes[] = {
    {"ZipDeflated", "zip -q -r a.zip d", "", true},
    {"ZipStored", "zip -q -r -0 a.zip d", "", true},
    {"ZipFilesOnly", "zip -q -r -D a.zip d", "", true},
    {"ZipForcedZip64", "zip -q -r -fz a.zip d", "", true},
    {"ZipEncrypted", "zip -q -r -P s3cret a.zip d", "s3cret", true},
    {"ZipWithComment", "zip -q -r a.zip d && echo 'the comment' | zip -q -z a.zip", "", true},
    {"ZipFromStdinWithDescriptor", "cat d/sub/b.bin | zip -q - - > a.zip", "", true},
    {"ZipPrefixedUnadjusted", "zip -q -r z.zip d && head -c 777 /dev/urandom > a.zip && cat z.zip >> a.zip", "",
     true},
    {"ZipPrefixedAdjusted",
     "zip -q -r z.zip d && head -c 777 /dev/urandom > a.zip && cat z.zip >> a.zip && zip -q -A a.zip", "", true},
    {"PythonZip64Forced",
     "python3 -c \"import zipfile,os\n"
     "with zipfile.ZipFile('a.zip','w',zipfile.ZIP_DEFLATED) as z:\n"
     "  for root,dirs,files in os.walk('d'):\n"
     "    for f in files:\n"
     "      p=os.path.join(root,f)\n"
     "      with open(p,'rb') as src, z.open(zipfile.ZipInfo.from_file(p),'w',force_zip64=True) as dst: "
     "dst.write(src.read())\"",
     "", false},
    {"PythonDataDescriptors", kPythonStreamingZip, "", false},
    {"PythonDataDescriptorsWithoutDirectory", kPythonStreamingZip, "", false, true},
    {"PythonUtf8Names",
     "mkdir -p d/中文目录 && printf 'utf8' > d/中文目录/名字.txt && python3 -c \"import zipfile,os\n"
     "with zipfile.ZipFile('a.zip','w',zipfile.ZIP_DEFLATED) as z:\n"
     "  for root,dirs,files in os.walk('d'):\n"
     "    for f in files: z.write(os.path.join(root,f))\"",
     "", false},
    {"SevenZip", "7z a -tzip a.zip d", "", true},
    {"Bsdtar", "bsdtar --format zip -cf a.zip d", "", false},
    {"BsdtarSingleFileWithoutDirectory", "bsdtar --format zip -cf a.zip d/sub/b.bin", "", false, true},
    {"BsdtarOfDotStoresDotSlashNames", "cd d && bsdtar --format zip -cf ../a.zip .", "", false},
    // A native (here Big5) name in the header and the Info-ZIP Unicode Path field
    // (0x7075) beside it, as archivers on Windows write them.
    {"UnicodePathField",
     "python3 -c \"import zipfile,struct,zlib\n"
     "u='名字.txt'.encode(); raw='名字.txt'.encode('big5'); ph=b'N'*(len(raw)-4)+b'.txt'\n"
     "zi=zipfile.ZipInfo(ph.decode(),(2019,6,15,10,20,30))\n"
     "zi.extra=struct.pack('<HHBI',0x7075,5+len(u),1,zlib.crc32(raw))+u\n"
     "with zipfile.ZipFile('a.zip','w') as z: z.writestr(zi,'unicode path')\n"
     "b=open('a.zip','rb').read(); open('a.zip','wb').write(b.replace(ph,raw))\"",
     "", false},
};

INSTANTIATE_TEST_SUITE_P(Tools, RealToolArchive, ::testing::ValuesIn(kRecipes),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(RealToolArchive, CommentIsReadIntoArchiveComment) {
  TempDir work;
  work.Write("f.txt", "x");
  ASSERT_EQ(0, RunTool("cd " + ShellQuote(work.Path()) + " && zip -q a.zip f.txt && printf 'firmware 1.2' | zip -q -z a.zip"));
  TZipArchiver archiver;
  archiver.SetFileName(work / "a.zip");
  archiver.OpenZipFile(fmOpenRead | fmShareDenyWrite);
  EXPECT_EQ("firmware 1.2", archiver.ArchiveComment());
  EXPECT_EQ(1, archiver.FileCount());
}

}  // namespace
