// The commands as a script runs them: arguments in; standard output, standard error, exit
// status and the store's files out. Each run is a child process (its signal handler, its
// log and its locks are its own) against a scripted update site on 127.0.0.1.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QRegularExpression>
#include <atomic>
#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <sstream>

#include "cli/Commands.h"
#include "cli/Terminal.h"
#include "job/Store.h"
#include "platform/NamedMutex.h"
#include "runtime/CodePage.h"
#include "support/HttpReplies.h"
#include "support/MinisignTool.h"
#include "support/ScriptedServer.h"
#include "support/TempDir.h"

namespace {
const std::string kSite = "/TavroMP3LiveUpdate2/";
// TA-100's newest is 1.10, which stands neither first nor last; its 0.9 is not on the server.
const std::string kCatalogue = "[TA-100]\r\n1.9=\r\n1.10=\r\n1.2=\r\n0.9=\r\n[Model X]\r\n2.0=\r\n[Back\\slash \"Q\"]\r\n1.0=\r\n";
const std::string kPackage(100000, 'p');

// What is there before the command runs.
enum TBefore {
  bNone = 0,
  bStored = 1,          // TA-100 1.2 (with its notes) and Model X 2.0 in the store
  bCatalogue = 2,       // the catalogue stored by an earlier run
  bSigned = 4,          // the site is signed and its key trusted
  bSpoiled = 8,         // the server's TA-100 1.10 is not the one its signature is for
  bLocked = 16,         // a window of this program folder runs
  bLockedElsewhere = 32,// a window of another program folder runs
  bInterrupt = 64,      // Ctrl-C in the middle of TA-100 1.10's body
  bNoSite = 128,        // the server has no catalogue
  bBadProxy = 256,      // http_proxy cannot be read
};

struct TCase {
  const char* Name;
  std::vector<std::string> Args;
  int Code;
  std::string Out;  // standard output as it must be ("{store}": the store folder); "~text": contains it
  const char* Err;  // a pattern standard error must hold ("^$": nothing at all)
  std::vector<std::string> Store;  // the store's files afterwards, sorted
  int Before = bNone;
  std::string Input = "";  // standard input (the answers to questions)
};

std::string Replaced(std::string text, const std::string& from, const std::string& to) {
  for (size_t at = 0; (at = text.find(from, at)) != std::string::npos; at += to.size()) text.replace(at, from.size(), to);
  return text;
}

class Command : public ::testing::TestWithParam<TCase> {
 protected:
  void SetUp() override {
    for (const char* name : {"XDG_STATE_HOME", "XDG_RUNTIME_DIR", "XDG_CONFIG_HOME", "HOME"})
      setenv(name, state_.Path().c_str(), 1);
    for (const char* name : {"TERM", "COLUMNS", "http_proxy", "no_proxy"}) unsetenv(name);
    const int before = GetParam().Before;
    if (before & bBadProxy) setenv("http_proxy", "http://[::1]:99999", 1);
    if (!(before & bNoSite)) site_[kSite + "TavroMP3LiveUpdate.ini"] = kCatalogue;
    if (before & bCatalogue) program_.Write("TavroMP3LiveUpdate.ini", kCatalogue);
    for (const char* version : {"1.9", "1.10", "1.2"}) site_[kSite + "Firmware/TA-100/TA-100_" + version + ".zip"] = kPackage;
    site_[kSite + "Firmware/TA-100/TA-100_1.10.asp"] = "<html><p>Fixed &amp; faster</p></html>";
    if (before & bSigned) Sign(before & bSpoiled);
    if (before & bStored)
      for (const char* file : {"TA-100_1.2.zip", "TA-100_1.2.htm", "Model X_2.0.zip"})
        program_.Write(std::string("FirmwareBack/") + file, kPackage);
    for (int i = 0; i < 12; ++i) server_.AddConnection(SiteAnswer(before & bInterrupt));
    server_.Start();
    settings_ = {"127.0.0.1:" + std::to_string(server_.Port()), program_.Path()};
    settings_.FetchTimeoutMs = 5000;
    settings_.TrustedKeys = keys_;
    if (before & bLocked) lock_ = std::make_unique<TNamedMutex>(StoreMutexName(program_.Path()));
    if (before & bLockedElsewhere) lock_ = std::make_unique<TNamedMutex>(StoreMutexName(state_.Path()));
  }
  void TearDown() override {
    server_.Stop();
    unsetenv("http_proxy");
  }

  void Sign(bool spoiled) {
    if (!HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    const TMinisignPair pair = MakeMinisignPair(signing_ / "maker");
    keys_.AddText(pair.PublicText(), "maker.pub");
    for (auto& [path, bytes] : std::map<std::string, std::string>(site_)) {
      const std::string file = path.substr(path.rfind('/') + 1);
      signing_.Write(file, bytes);
      site_[path + ".minisig"] = pair.Sign(signing_ / file);
    }
    if (spoiled) site_[kSite + "Firmware/TA-100/TA-100_1.10.zip"] = std::string(kPackage.size(), 'q');
  }

  // Answers a request with the site's file for its path (404 without one); with interrupt,
  // TA-100 1.10's body breaks off half way for a Ctrl-C to the command.
  ConnectionScript SiteAnswer(bool interrupt) {
    return ConnectionScript().Run([this, interrupt](int fd) {
      const std::string head = ReadRequestHead(fd);
      std::string path = head.substr(head.find(' ') + 1);
      path = Replaced(path.substr(0, path.find(' ')), "%20", " ");
      const auto file = site_.find(path);
      std::string reply = file == site_.end() ? HttpReply("none", "404 Not Found") : HttpReply(file->second);
      const bool cut = interrupt && path.find("_1.10.zip") == path.size() - 9;
      if (cut) reply = HttpHead(kPackage.size()) + kPackage.substr(0, kPackage.size() / 2);
      ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
      if (!cut) return;
      ::kill(child_, SIGINT);
      char c;
      while (::recv(fd, &c, 1, 0) > 0) {
      }
    });
  }

  struct TRun {
    int Code;
    std::string Out, Err;
  };
  TRun Run(const std::vector<std::string>& args, const std::string& input) {
    work_.Write("in", input);
    std::cout.flush();
    std::fflush(nullptr);
    const pid_t pid = fork();
    if (pid == 0) {
      const std::pair<int, const char*> streams[] = {{0, "in"}, {1, "out"}, {2, "err"}};
      for (const auto& [fd, name] : streams)
        ::dup2(::open((work_ / name).c_str(), fd == 0 ? O_RDONLY : O_WRONLY | O_CREAT | O_TRUNC, 0600), fd);
      const int code = RunCommand(CommandArguments(args), [this] { return settings_; });
      std::cout.flush();
      std::fflush(nullptr);
      ::_exit(code);
    }
    child_ = pid;
    int status = 0;
    ::waitpid(pid, &status, 0);
    return {WIFEXITED(status) ? WEXITSTATUS(status) : 1000 + WTERMSIG(status), work_.Read("out"), work_.Read("err")};
  }

  std::vector<std::string> StoreFiles() const {
    std::vector<std::string> files;
    if (program_.Exists("FirmwareBack"))
      for (const auto& entry : std::filesystem::directory_iterator(program_ / "FirmwareBack"))
        files.push_back(entry.path().filename().string());
    std::sort(files.begin(), files.end());
    return files;
  }

  TempDir program_, state_, work_, signing_;
  ScriptedServer server_;
  std::map<std::string, std::string> site_;
  TTrustedKeys keys_;
  TAppSettings settings_;
  std::unique_ptr<TNamedMutex> lock_;
  std::atomic<pid_t> child_{0};
};

bool IsJson(const std::string& text) { return !QJsonDocument::fromJson(QByteArray::fromStdString(text)).isNull(); }
}  // namespace

TEST_P(Command, AnswersAsAScriptExpects) {
  const TCase& c = GetParam();
  const TRun run = Run(c.Args, c.Input);
  const std::string out = Replaced(c.Out, "{store}", program_.Path() + "FirmwareBack");
  EXPECT_EQ(run.Code, c.Code) << run.Err;
  if (out.rfind('~', 0) == 0) EXPECT_NE(run.Out.find(out.substr(1)), std::string::npos) << run.Out;
  else EXPECT_EQ(run.Out, out);
  EXPECT_TRUE(QRegularExpression(c.Err).match(QString::fromStdString(run.Err)).hasMatch()) << run.Err;
  EXPECT_EQ(StoreFiles(), c.Store);
  const auto has = [&](const char* option) { return std::find(c.Args.begin(), c.Args.end(), option) != c.Args.end(); };
  if (has("--json") && c.Code == 0) {
    EXPECT_TRUE(IsJson(run.Out)) << run.Out;
  }
  std::istringstream lines(run.Err);
  for (std::string line; has("--progress-json") && std::getline(lines, line);) EXPECT_TRUE(IsJson(line)) << line;
}

const std::vector<std::string> kStored = {"Model X_2.0.zip", "TA-100_1.2.htm", "TA-100_1.2.zip"};

INSTANTIATE_TEST_SUITE_P(
    Cases, Command,
    ::testing::Values(
        // Options as people type them
        TCase{"UsageMissingOperandExits2", {"fetch"}, 2, "", "缺少操作对象", {}},
        TCase{"UsageExtraOperandExits2", {"notes", "A", "B", "C"}, 2, "", "多余的操作对象“C”", {}},
        TCase{"UsageUnknownOptionExits2", {"list", "--bogus"}, 2, "", "无法识别的选项“--bogus”", {}},
        TCase{"UsageOtherCommandsOptionExits2", {"notes", "-y", "A", "B"}, 2, "", "无法识别的选项“-y”", {}},
        TCase{"UsageValueOfAFlagExits2", {"list", "--json=1"}, 2, "", "不接受参数", {}},
        TCase{"DoubleDashEndsTheOptions", {"fetch", "--", "-1"}, 1, "", "配置文件中没有此型号：-1", {}},
        TCase{"HelpOfEachCommand", {"clean", "--help"}, 0, "~用法：tavro clean [型号 [版本]]", "^$", {}},
        TCase{"LogStderrBeforeTheCommand", {"--log-stderr", "list", "--offline"}, 0, "~TA-100\n", "command: list", {},
              bCatalogue},
        TCase{"VerboseShowsTheLog", {"fetch", "-v", "TA-100", "1.2"}, 0, "{store}/TA-100_1.2.zip\n",
              "TA-100_1.2.zip", {"TA-100_1.2.zip"}},
        TCase{"QuietLeavesOutNoticesAndProgress", {"-q", "fetch", "TA-100", "1.2"}, 0, "{store}/TA-100_1.2.zip\n",
              "^$", {"TA-100_1.2.zip"}, bCatalogue | bNoSite},
        // Progress, defaults and results a script reads
        TCase{"FetchTakesTheNewestVersionWithPlainProgress", {"fetch", "TA-100"}, 0, "{store}/TA-100_1.10.zip\n",
              "^(\\d+% \\d+/100000 bytes\n)*100% 100000/100000 bytes\n$", {"TA-100_1.10.zip"}},
        TCase{"FetchJson", {"fetch", "--json", "TA-100", "1.2"}, 0,
              "{\"file\": \"{store}/TA-100_1.2.zip\", \"model\": \"TA-100\", \"version\": \"1.2\", \"size\": 100000, "
              "\"signer\": \"\", \"done\": \"fetched\"}\n",
              "", {"TA-100_1.2.zip"}},
        TCase{"ProgressJsonLines", {"fetch", "--progress-json", "-q", "TA-100", "1.2"}, 0, "{store}/TA-100_1.2.zip\n",
              "\\{\"bytes\": 100000, \"total\": 100000, \"speed\": \\d+\\}\n$", {"TA-100_1.2.zip"}},
        TCase{"ProgressJsonToAClosedDescriptorExits2", {"fetch", "--progress-json=99", "TA-100"}, 2, "",
              "“99”不是已打开的文件描述符", {}},
        TCase{"FetchOfAnUnknownVersionExits1", {"fetch", "TA-100", "9"}, 1, "", "没有该型号的此版本：9", {}},
        TCase{"NotesAsPlainText", {"notes", "TA-100", "1.10"}, 0, "Fixed & faster\n", "^$", {}},
        TCase{"NotesOfAnUnknownModelExits1", {"notes", "TA-999", "1.0"}, 1, "", "配置文件中没有此型号：TA-999", {},
              bCatalogue},
        TCase{"ListJsonEscapesQuotesAndBackslashes", {"list", "--json"}, 0,
              "~{\"model\": \"Back\\\\slash \\\"Q\\\"\", \"versions\": [{\"version\": \"1.0\", \"stored\": false}]}", "",
              {}},
        TCase{"NoCatalogueAnywhereExits4", {"list"}, 4, "", "无可用的配置文件", {}, bNoSite},
        TCase{"PackageTheServerDoesNotHaveExits4", {"fetch", "TA-100", "0.9"}, 4, "", "tavro: 404 Not Found\n$", {}},
        TCase{"UnreadableProxyVariableExits2", {"list"}, 2, "", "http_proxy=http://\\[::1\\]:99999", {}, bBadProxy},
        // What is stored, and tidying it
        TCase{"ListStored", {"list", "--stored"}, 0, "Model X\t2.0\t100000\t未校验\nTA-100\t1.2\t100000\t未校验\n", "^$",
              kStored, bStored},
        TCase{"ListStoredJsonSaysWhatVerifies", {"list", "--stored", "--json"}, 0,
              "~\"model\": \"TA-100\", \"version\": \"1.2\"", "", kStored, bStored | bSigned},
        TCase{"CleanAsksAndKeepsEverythingOnNo", {"clean"}, 1, "", "删除这 2 个固件包（共 200000 字节）？", kStored,
              bStored, "n\n"},
        TCase{"CleanOfAModelWithYes", {"clean", "-y", "TA-100"}, 0, "{store}/TA-100_1.2.zip\n", "^$",
              {"Model X_2.0.zip"}, bStored},
        TCase{"CleanOfAVersionAnsweredY", {"clean", "Model X", "2.0"}, 0, "{store}/Model X_2.0.zip\n", "Model X_2.0",
              {"TA-100_1.2.htm", "TA-100_1.2.zip"}, bStored, "y\n"},
        TCase{"CleanOfNothingStoredExits1", {"clean", "-y", "TA-500"}, 1, "", "没有匹配的固件包", kStored, bStored},
        // Refusals, the store's one writer and Ctrl-C
        TCase{"FetchRefusedBySignatureExits3", {"fetch", "TA-100", "1.10"}, 3, "", "固件包签名校验失败", {},
              bSigned | bSpoiled},
        TCase{"FetchBesideTheWindowExits1", {"fetch", "TA-100"}, 1, "", "另一个实例正在运行", {}, bLocked},
        TCase{"CleanBesideTheWindowExits1", {"clean", "-y"}, 1, "", "另一个实例正在运行", kStored, bStored | bLocked},
        TCase{"FetchBesideTheWindowOfAnotherFolder", {"fetch", "TA-100", "1.2"}, 0, "{store}/TA-100_1.2.zip\n", "",
              {"TA-100_1.2.zip"}, bLockedElsewhere},
        TCase{"CtrlCDuringAFetchExits130", {"fetch", "TA-100", "1.10"}, 130, "", "已取消。", {}, bInterrupt},
        TCase{"InstallOfAPackageNotStoredExits1", {"install", "TA-100", "1.9"}, 1, "", "固件库中没有此固件包", {}}),
    [](const ::testing::TestParamInfo<TCase>& info) { return std::string(info.param.Name); });

// The bar never reaches the terminal's last column (a redraw there wraps and leaves a stale
// row), and gives up its parts from the right as the terminal narrows.
struct TBarCase {
  int Width;
  const char* Line;
};
class ProgressBar : public ::testing::TestWithParam<TBarCase> {};

TEST_P(ProgressBar, FitsTheTerminal) {
  const std::string line = ProgressBarLine(3 << 20, 8 << 20, 1 << 20, GetParam().Width);
  EXPECT_EQ(line, GetParam().Line);
  EXPECT_LT(static_cast<int>(line.size()), GetParam().Width);
}

INSTANTIATE_TEST_SUITE_P(
    Widths, ProgressBar,
    ::testing::Values(TBarCase{80, " 37% [###########...................] 3.0 MB / 8.0 MB  1.0 MB/s  0:05 left"},
                      TBarCase{60, " 37% [#####..........] 3.0 MB / 8.0 MB  1.0 MB/s  0:05 left"},
                      TBarCase{40, " 37% [#####...........] 3.0 MB / 8.0 MB"},
                      TBarCase{20, " 37% [####........]"}, TBarCase{12, " 37%"}));
