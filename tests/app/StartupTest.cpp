// Start-up: the single-instance guard, the build version, the prerequisite check and
// the catalogue fetch, and the whole entry run in-process.
#include <gtest/gtest.h>

#include <filesystem>

#include <QTimer>
#include <chrono>
#include <functional>
#include <thread>
#include <unistd.h>

#include "AppTestSupport.h"
#include "job/Catalogue.h"
#include "job/Site.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramInfo.h"
#include "support/MinisignTool.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Timer.h"

namespace {

const QString kNotice = QString::fromUtf8("Tavro MP3 LiveUpdate 提示");

bool WaitForFile(const TempDir& dir, const std::string& name, int ms) {
  for (int waited = 0; waited < ms; waited += 20) {
    if (dir.Exists(name)) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  return dir.Exists(name);
}

class StartupTest : public AppTest {
 protected:
  // A setup program stand-in in the program folder that leaves a marker when started.
  void InstallSetupStandIn() {
    program_.Write("SigmaTelSetup.exe", "#!/bin/sh\ntouch \"" + program_.Path() + "setup-started\"\n");
    chmod((program_.Path() + "SigmaTelSetup.exe").c_str(), 0755);
  }
};

TEST(BuildVersion, IsTheThirdAndFourthPartOfTheFileVersion) {
  EXPECT_EQ(ReadBuildVersion(), "10.19");
  SetProgramFileVersionForTesting(true, {1, 2005, 0, 7});
  EXPECT_EQ(ReadBuildVersion(), "0.7");
  SetProgramFileVersionForTesting(true, {1, 2, 65535, 65535});
  EXPECT_EQ(ReadBuildVersion(), "65535.65535");
  SetProgramFileVersionForTesting(false);
  EXPECT_EQ(ReadBuildVersion(), "0.0.0.0");
  ResetProgramFileVersionForTesting();
}

TEST_F(StartupTest, SplashShowsTheVersionAndTheDesignedFrame) {
  auto form1 = MakeForm1();
  EXPECT_EQ(form1->Label2->Caption(), QString::fromUtf8("版本:10.19"));
  EXPECT_EQ(form1->size(), QSize(504, 275));
  EXPECT_TRUE(form1->windowFlags() & Qt::FramelessWindowHint);
  EXPECT_EQ(form1->Label2->geometry(), QRect(424, 8, 65, 13));
}

// Removes a file when the test ends, however it ends.
struct TRemoveAtEnd {
  std::string path;
  ~TRemoveAtEnd() { std::filesystem::remove(path); }
};

TEST_F(StartupTest, SecondInstanceIsToldOnceAndEndsWhetherOrNotTheFirstIsFound) {
  const AnsiString name = "RunOnlyOnce_TavroTest" + std::to_string(getpid());
  TNamedMutex first(name);
  const TRemoveAtEnd lockFile{first.LockFileName()};  // a name of its own each run: not left behind
  EXPECT_FALSE(SecondInstance(first));
  EXPECT_TRUE(Boxes().empty());

  TNamedMutex second(name);
  EXPECT_TRUE(SecondInstance(second));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text,
            "Another instance of this program is already running.\r"
            "Please wait for the other instance to finish and then try again.");
  EXPECT_EQ(Boxes()[0].Caption, "Tavro MP3 LiveUpdate");
  EXPECT_EQ(Boxes()[0].Style, 0x30);
  EXPECT_EQ(Boxes()[0].Owner, nullptr);
  EXPECT_EQ(Application->Title(), "destroy Tavro");
  EXPECT_FALSE(Application->ShowMainForm());
  EXPECT_TRUE(Application->Terminated());
}

TEST_F(StartupTest, MissingPlayerSoftwareWithCancelEndsWithoutSetupOrFetch) {
  WriteRegistry(false);
  InstallSetupStandIn();
  AnswerBoxes(IDCANCEL);
  auto form1 = MakeForm1();
  form1->FormAc(form1.get());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("请首先安装SigmaTel MSCN Audio Player软件，然后再运行本程序。\r"
                                                "单击[确定]立刻开始安装，[取消]为退出本程序。"));
  EXPECT_EQ(Boxes()[0].Caption, kNotice);
  EXPECT_EQ(Boxes()[0].Style, 0x31);
  EXPECT_EQ(Boxes()[0].Owner, form1.get());
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(WaitForFile(program_, "setup-started", 300));
  EXPECT_EQ(server_.AcceptedCount(), 0u);
}

TEST_F(StartupTest, MissingPlayerSoftwareWithOkStartsTheSetupAndEnds) {
  WriteRegistry(false);
  InstallSetupStandIn();
  auto form1 = MakeForm1();
  form1->FormAc(form1.get());
  EXPECT_TRUE(Application->Terminated());
  EXPECT_TRUE(WaitForFile(program_, "setup-started", 5000));
  EXPECT_EQ(server_.AcceptedCount(), 0u);
}

TEST_F(StartupTest, FreshCatalogueReplacesTheOldOneByteForByte) {
  WriteRegistry(true, "\"Install Folder\"=\"C:\\\\Player\\\\\"");
  program_.Write("TavroMP3LiveUpdate.ini", "[Old]\r\n");
  const std::string fresh = Gbk("[型号一]\r\n1.0=\r\n") + std::string("\0\xff", 2);
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply(fresh)).Close());
  auto form1 = MakeForm1();
  form1->FormAc(form1.get());
  EXPECT_TRUE(Boxes().empty());
  EXPECT_FALSE(Application->Terminated());
  // A drive path of the program's own registry file names a folder in the Wine prefix.
  EXPECT_EQ(form1->InstallFolder, config_.Path() + "wineprefix/drive_c/Player");
  EXPECT_EQ(program_.Read("TavroMP3LiveUpdate.ini"), fresh);
  EXPECT_EQ(server_.Request(0, 0).substr(0, 49), "GET /TavroMP3LiveUpdate2/TavroMP3LiveUpdate.ini H");
}

TEST_F(StartupTest, KeyWithoutInstallFolderGoesOnWithAnEmptyFolder) {
  WriteRegistry(true);
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("[M]\r\n")).Close());
  auto form1 = MakeForm1("stale");
  form1->InstallFolder.clear();
  form1->FormAc(form1.get());
  EXPECT_TRUE(form1->InstallFolder.empty());
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(program_.Exists("TavroMP3LiveUpdate.ini"));
}

TEST_F(StartupTest, NonTextInstallFolderIsReportedAndSkipsTheFetch) {
  WriteRegistry(true, "\"Install Folder\"=dword:00000001");
  auto form1 = MakeForm1();
  EXPECT_FALSE(RunGuarded([&] { form1->FormAc(form1.get()); }));
  ASSERT_EQ(Boxes().size(), 1u);
  // "'" sorts before ".": no full stop is added.
  EXPECT_EQ(Boxes()[0].Text, "Invalid data type for 'Install Folder'");
  EXPECT_EQ(Boxes()[0].Caption, "Tavro");
  EXPECT_EQ(Boxes()[0].Style, 0x10);
  EXPECT_FALSE(Application->Terminated());
  EXPECT_EQ(server_.AcceptedCount(), 0u);
}

struct FailedFetchCase {
  const char* name;
  bool olderCatalogue;
  enum { kNobodyListens, kErrorStatus, kSilentPastTheLimit, kUnreadableProxy } server;
};

void PrintTo(const FailedFetchCase& c, std::ostream* os) { *os << c.name; }

class FailedCatalogueFetch : public StartupTest, public ::testing::WithParamInterface<FailedFetchCase> {};

TEST_P(FailedCatalogueFetch, WarnsAndGoesOnWithAnOlderCatalogueElseStopsTheProgram) {
  WriteRegistry(true, "\"Install Folder\"=\"/p\"");
  if (GetParam().olderCatalogue) program_.Write("TavroMP3LiveUpdate.ini", "[Old]\r\n");
  TAppSettings settings{"127.0.0.1:1", program_.Path()};
  if (GetParam().server == FailedFetchCase::kErrorStatus)
    server_.AddConnection(
        ConnectionScript().ExpectRequest().Send(HttpReply("<html>missing</html>", "404 Not Found")).Close());
  // Answers well, but only long after the fetch's limit.
  if (GetParam().server == FailedFetchCase::kSilentPastTheLimit)
    server_.AddConnection(ConnectionScript().ExpectRequest().Pause(3000).Send(HttpReply("[New]\r\n")).Close());
  if (GetParam().server != FailedFetchCase::kNobodyListens) settings = Settings();
  settings.FetchTimeoutMs = 300;
  TForm1 form1(settings);
  form1.Timer1->SetEnabled(false);
  if (GetParam().server == FailedFetchCase::kUnreadableProxy) ::setenv("http_proxy", "http://[::1]:99999", 1);
  form1.FormAc(&form1);
  ::unsetenv("http_proxy");
  ASSERT_EQ(Boxes().size(), 1u);
  if (GetParam().server == FailedFetchCase::kUnreadableProxy) {
    // The setting is named, not the network; nothing was sent, directly or otherwise.
    EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("代理设置http_proxy=http://[::1]:99999无法使用：its port is not a number "
                                                  "from 1 to 65535\r请更正或删除该环境变量后再试。"));
    EXPECT_EQ(Application->Terminated(), !GetParam().olderCatalogue);
    EXPECT_EQ(server_.AcceptedCount(), 0u);
  } else if (GetParam().olderCatalogue) {
    EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("无法从服务器下载最新的配置文件，继续使用上次更新的配置文件\r"
                                                  "请检查网络是否连接正常！"));
    EXPECT_EQ(Boxes()[0].Caption, QString::fromUtf8("下载配置文件时出错!"));
    EXPECT_EQ(Boxes()[0].Style, 0x30);
    EXPECT_FALSE(Application->Terminated());
    EXPECT_EQ(program_.Read("TavroMP3LiveUpdate.ini"), "[Old]\r\n");
  } else {
    EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("从服务器下载配置文件时出错,未能从本地找到可用的配置文件。\r"
                                                  "请检查网络是否连接正常！单击[确定]退出本程序。"));
    EXPECT_EQ(Boxes()[0].Caption, QString::fromUtf8("无可用的配置文件!"));
    EXPECT_EQ(Boxes()[0].Style, 0x10);
    EXPECT_TRUE(Application->Terminated());
    EXPECT_FALSE(program_.Exists("TavroMP3LiveUpdate.ini"));
  }
}

INSTANTIATE_TEST_SUITE_P(Cases, FailedCatalogueFetch,
                         ::testing::Values(FailedFetchCase{"UnreachableWithOlder", true, FailedFetchCase::kNobodyListens},
                                           FailedFetchCase{"UnreachableFirstRun", false, FailedFetchCase::kNobodyListens},
                                           FailedFetchCase{"ErrorStatusWithOlder", true, FailedFetchCase::kErrorStatus},
                                           FailedFetchCase{"ErrorStatusFirstRun", false, FailedFetchCase::kErrorStatus},
                                           FailedFetchCase{"SilentWithOlder", true, FailedFetchCase::kSilentPastTheLimit},
                                           FailedFetchCase{"SilentFirstRun", false, FailedFetchCase::kSilentPastTheLimit},
                                           FailedFetchCase{"UnreadableProxyWithOlder", true, FailedFetchCase::kUnreadableProxy},
                                           FailedFetchCase{"UnreadableProxyFirstRun", false, FailedFetchCase::kUnreadableProxy}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(StartupTest, CatalogueCutShortByTheServerLeavesTheOlderOne) {
  WriteRegistry(true);
  program_.Write("TavroMP3LiveUpdate.ini", "[Old]\r\n");
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(100) + "[New]\r\n").Close());
  auto form1 = MakeForm1();
  EXPECT_FALSE(form1->DownloadToFile(Catalogue::CatalogueUrl(form1->Settings().Host), program_.Path() + "TavroMP3LiveUpdate.ini"));
  EXPECT_EQ(program_.Read("TavroMP3LiveUpdate.ini"), "[Old]\r\n");
}

TEST_F(StartupTest, UnwritableProgramFolderIsReportedWithoutTheCatalogueBoxes) {
  WriteRegistry(true);
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("[M]\r\n")).Close());
  TAppSettings settings = Settings();
  settings.ProgramFolder = program_.Path() + "missing/";
  TForm1 form1(settings);
  form1.Timer1->SetEnabled(false);
  EXPECT_FALSE(RunGuarded([&] { form1.FormAc(&form1); }));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_TRUE(Boxes()[0].Text.startsWith("Cannot create file \"" + QString::fromStdString(settings.ProgramFolder) +
                                         "TavroMP3LiveUpdate.ini\". "));
  EXPECT_EQ(Boxes()[0].Style, 0x10);
  EXPECT_FALSE(Application->Terminated());
}

TEST_F(StartupTest, EntryRunsSplashCheckMainWindowAndSavesTheChoiceOnClose) {
  WriteRegistry(true, "\"Install Folder\"=\"/p\"");
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply(kCatalogue)).Close());
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("notes")).Close());
  const TAppSettings settings = Settings();
  // Closes the main window once the message loop runs it.
  QTimer closer;
  QObject::connect(&closer, &QTimer::timeout, [&] {
    if (Application->MainForm() && Application->MainForm()->isVisible()) Application->MainForm()->close();
  });
  closer.start(50);
  RunProgram(settings);
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(Application->Title(), "Tavro");
  EXPECT_EQ(program_.Read("TavroMP3LiveUpdate.ini"), kCatalogue);
  EXPECT_EQ(program_.Read("FirmwareBack/ModelB_2.00.htm"), "notes");
  EXPECT_EQ(program_.Read("user.ini"), "[Main02]\r\nComboBox1=0\r\nComboBox2=0\r\n");
}

TEST_F(StartupTest, EntryEndsWithoutMainWindowWhenThereIsNoCatalogue) {
  WriteRegistry(true);
  RunProgram({"127.0.0.1:1", program_.Path()});
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Style, 0x10);
  EXPECT_EQ(Application->MainForm(), nullptr);
  EXPECT_FALSE(program_.Exists("FirmwareBack"));
}

}  // namespace

namespace {

const std::string kFresh = "[New]\r\n1.0=\r\n";
const char* const kTimeFile = "TavroMP3LiveUpdate.time";

// The catalogue fetch against a hostile server: with the maker's key trusted (signature
// first, then the catalogue), and without keys (the cap alone).
class CatalogueFetch : public StartupTest {
 public:
  // The catalogue's signature with this trusted comment (minisign's own when empty),
  // signed as a file of this name.
  std::string SignatureOf(const std::string& comment, const std::string& name = "TavroMP3LiveUpdate.ini") {
    keys_.Write(name, kFresh);
    return pair_.Sign(keys_ / name, false, comment);
  }
  static std::string Comment(int64_t timestamp, const std::string& more = "") {
    return "timestamp:" + std::to_string(timestamp) + "\tfile:TavroMP3LiveUpdate.ini" + more + "\thashed";
  }
  // A case's signature: the catalogue's, signed at `timestamp` with the further fields.
  static std::function<std::string(CatalogueFetch&)> SignedAt(int64_t timestamp, const std::string& more = "") {
    return [=](CatalogueFetch& t) { return t.SignatureOf(Comment(timestamp, more)); };
  }

 protected:
  void SetUp() override {
    if (!HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    StartupTest::SetUp();
    pair_ = MakeMinisignPair(keys_ / "maker");
    StartTestLog();
  }
  TempDir keys_;
  TMinisignPair pair_;
};

struct CatalogueCase {
  const char* name;
  bool keys;
  int64_t remembered;  // the signing time already trusted (-1: none)
  std::function<std::string(CatalogueFetch&)> signature;  // with keys: the signature file served
  std::string catalogue;  // the answer to the catalogue's request; empty: never asked for
  const char* refusal;    // the reason in the log; nullptr: the catalogue is taken
  int64_t rememberedAfter = -1;  // -2: whatever minisign signed with
};

class HostileCatalogue : public CatalogueFetch, public ::testing::WithParamInterface<CatalogueCase> {};

std::string TimeText(int64_t t) { return "timestamp:" + std::to_string(t) + "\r\n"; }

}  // namespace

TEST_P(HostileCatalogue, IsTakenOnlyWhenCurrentForThisFileAndWithinItsSize) {
  const CatalogueCase& c = GetParam();
  if (c.keys) trustedKeys_.AddText(pair_.PublicText(), "maker.pub");
  program_.Write("TavroMP3LiveUpdate.ini", "[Old]\r\n");
  if (c.remembered >= 0) program_.Write(kTimeFile, TimeText(c.remembered));
  if (c.keys) server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply(c.signature(*this))).Close());
  if (!c.catalogue.empty()) server_.AddConnection(ConnectionScript().ExpectRequest().Send(c.catalogue, 65536).Close());
  auto form1 = MakeForm1();
  TSite site(form1->Settings(), *form1->NetHTTP1);
  const bool taken = site.DownloadToFile(Catalogue::CatalogueUrl(form1->Settings().Host),
                                         program_.Path() + "TavroMP3LiveUpdate.ini", true);
  EXPECT_EQ(server_.AcceptedCount(), (c.keys ? 1u : 0u) + (c.catalogue.empty() ? 0u : 1u));
  // A refusal by a check is told as one (the commands exit 3), not as a failed fetch.
  EXPECT_EQ(site.Refused(), c.keys && c.refusal != nullptr);
  if (!c.refusal) {
    EXPECT_TRUE(taken);
    EXPECT_EQ(program_.Read("TavroMP3LiveUpdate.ini"), kFresh);
    if (c.rememberedAfter == -2) {
      EXPECT_TRUE(program_.Exists(kTimeFile));
    } else if (c.rememberedAfter >= 0) {
      EXPECT_EQ(program_.Read(kTimeFile), TimeText(c.rememberedAfter));
    }
    return;
  }
  EXPECT_FALSE(taken);
  EXPECT_EQ(program_.Read("TavroMP3LiveUpdate.ini"), "[Old]\r\n");
  if (c.remembered >= 0) {
    EXPECT_EQ(program_.Read(kTimeFile), TimeText(c.remembered));
  } else {
    EXPECT_FALSE(program_.Exists(kTimeFile));
  }
  EXPECT_NE(LogText().find(std::string("TavroMP3LiveUpdate.ini refused: ") + c.refusal), std::string::npos)
      << LogText();
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, HostileCatalogue,
    ::testing::Values(
        CatalogueCase{"PlainMinisignSignature", true, -1, [](CatalogueFetch& t) { return t.SignatureOf(""); },
                      HttpReply(kFresh), nullptr, -2},
        // Rollback
        CatalogueCase{"NewerThanTrusted", true, 1796000000,
                      CatalogueFetch::SignedAt(1796704487),
                      HttpReply(kFresh), nullptr, 1796704487},
        CatalogueCase{"AsOldAsTrusted", true, 1796704487,
                      CatalogueFetch::SignedAt(1796704487),
                      HttpReply(kFresh), nullptr, 1796704487},
        CatalogueCase{"OlderThanTrusted", true, 1796704487,
                      CatalogueFetch::SignedAt(1793000000), "",
                      "it is older than the catalogue already trusted (signed 2026-10-26, trusted 2026-12-08)"},
        CatalogueCase{"WithoutTimeWhenOneIsTrusted", true, 1796704487,
                      [](CatalogueFetch& t) { return t.SignatureOf("file:TavroMP3LiveUpdate.ini\thashed"); }, "",
                      "it carries no signing time, and a catalogue signed 2026-12-08 is already trusted"},
        // Freeze
        CatalogueCase{"Expired", true, -1,
                      CatalogueFetch::SignedAt(1790000000, "\texpires:1796000000"),
                      "", "it expired on 2026-11-30"},
        CatalogueCase{"NotYetExpired", true, -1,
                      CatalogueFetch::SignedAt(1790000000, "\texpires:4000000000"),
                      HttpReply(kFresh), nullptr, 1790000000},
        // Wrong file
        CatalogueCase{"SignedForAnotherFile", true, -1,
                      [](CatalogueFetch& t) { return t.SignatureOf("", "ModelB_2.00.zip"); }, "",
                      "it is signed for ModelB_2.00.zip"},
        // Endless data
        CatalogueCase{"SignatureFilePastItsCap", true, -1,
                      [](CatalogueFetch& t) { return t.SignatureOf("") + std::string(1 << 20, 'j'); }, "",
                      "its signature file went past the cap of 4096 bytes"},
        CatalogueCase{"LongerThanItsSignedSize", true, -1,
                      CatalogueFetch::SignedAt(1790000000, "\tsize:5"),
                      HttpReply(kFresh), "the body went past its signed size of 5 bytes"},
        CatalogueCase{"LongerThanItsSignedSizeWithoutLength", true, -1,
                      CatalogueFetch::SignedAt(1790000000, "\tsize:5"),
                      CloseDelimitedReply(kFresh), "the body went past its signed size of 5 bytes"},
        CatalogueCase{"EndlessWithoutKeys", false, -1, nullptr, ChunkedReply(std::string(3 << 20, 'x'), 65536),
                      "it went past the cap of 1048576 bytes"},
        CatalogueCase{"EndlessWithoutLengthWithoutKeys", false, -1, nullptr,
                      CloseDelimitedReply(std::string(3 << 20, 'x')), "it went past the cap of 1048576 bytes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(CatalogueFetch, RememberedTimeOutlivesTheCatalogueAndReleaseNotesHaveTheirCap) {
  WriteRegistry(true, "\"Install Folder\"=\"/p\"");
  trustedKeys_.AddText(pair_.PublicText(), "maker.pub");
  program_.Write(kTimeFile, TimeText(1796704487));
  server_.AddConnection(
      ConnectionScript().ExpectRequest().Send(HttpReply(SignatureOf(CatalogueFetch::Comment(1793000000)))).Close());
  auto form1 = MakeForm1();
  form1->FormAc(form1.get());  // no catalogue at all: a refused one is not taken either
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(program_.Exists("TavroMP3LiveUpdate.ini"));
  // Endless notes, in chunks or with no length at all.
  const std::string endless(5 << 20, 'n');
  const std::string refused = "M_1.asp refused: it went past the cap of 4194304 bytes";
  size_t refusals = 0;
  for (const std::string& reply : {ChunkedReply(endless, 65536), CloseDelimitedReply(endless)}) {
    server_.AddConnection(ConnectionScript().ExpectRequest().Send(reply, 65536).Close());
    EXPECT_FALSE(form1->DownloadToFile(Catalogue::ReleaseNotesUrl(form1->Settings().Host, "M", "M_1"),
                                       program_.Path() + "notes.htm"));
    EXPECT_FALSE(program_.Exists("notes.htm"));
    const std::string log = LogText();
    size_t count = 0;
    for (size_t at = log.find(refused); at != std::string::npos; at = log.find(refused, at + 1)) ++count;
    EXPECT_EQ(count, ++refusals) << log;
  }
}
