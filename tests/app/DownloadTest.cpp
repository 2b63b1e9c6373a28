// The package download: progress labels and speed, storing only a whole package,
// failures, cancel, large, unsized and chunked bodies, and closing mid-download.
#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>

#include <sys/socket.h>

#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <functional>
#include <mutex>
#include <set>

#include "AppTestSupport.h"
#include "support/FileSizeLimit.h"
#include "support/MinisignTool.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "http/NetHTTP.h"
#include "job/PackageDownload.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Timer.h"
#include "zip/ZipArchiver.h"

namespace {

std::string PackageBytes(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7919) >> 3);
  return bytes;
}

class DownloadTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    program_.Write("TavroMP3LiveUpdate.ini", kCatalogue);
    server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("notes")).Close());
    form1_ = MakeForm1("/player");
    form2_ = MakeForm2(*form1_);
  }
  // Calls test code after every OnWork of the main window's client.
  void OnEveryWork(std::function<void(int32_t)> action) {
    auto original = form2_->NetHTTP1->OnWork;
    form2_->NetHTTP1->OnWork = [original, action](TObject* sender, TWorkMode mode, int32_t count) {
      original(sender, mode, count);
      action(count);
    };
  }
  bool Shown(QWidget* control) { return control->isVisibleTo(form2_.get()); }
  void ExpectIdle() {
    EXPECT_TRUE(form2_->ComboBox1->isEnabled());
    EXPECT_TRUE(form2_->ComboBox2->isEnabled());
    EXPECT_TRUE(Shown(form2_->Button1));
    EXPECT_FALSE(Shown(form2_->Button3));
    EXPECT_FALSE(Shown(form2_->Panel2));
    EXPECT_FALSE(form2_->Timer1->Enabled());
  }
  std::string Package() { return program_.Read("FirmwareBack/ModelB_2.00.zip"); }
  bool HasPackage() { return program_.Exists("FirmwareBack/ModelB_2.00.zip"); }
  // The body is written into a temporary file beside the package while it arrives.
  bool HasTemporaryFile() {
    for (const auto& entry : std::filesystem::directory_iterator(program_.Path() + "FirmwareBack"))
      if (entry.path().filename().string().find(".part") != std::string::npos &&
          entry.path().filename().string().find(".partial") == std::string::npos)
        return true;
    return false;
  }

  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
};

TEST_F(DownloadTest, WorkedExampleShowsSizePercentReceivedAndAverageSpeed) {
  form2_->NetHTTP1WorkBegin(nullptr, wmRead, 1234567);
  EXPECT_EQ(form2_->Label1->Caption(), "1205 KB");
  EXPECT_TRUE(form2_->Timer1->Enabled());
  form2_->NetHTTP1Work(nullptr, wmRead, 617283);
  EXPECT_EQ(form2_->Label4->Caption(), "49%");
  EXPECT_EQ(form2_->ProgressBar1->Position(), 49);
  EXPECT_EQ(form2_->Label5->Caption(), "602 KB");
  for (int tick = 0; tick < 3; ++tick) form2_->Timer1->Tick();
  EXPECT_EQ(form2_->Label10->Caption(), "200 KB");
}

struct PercentCase {
  int32_t announced;
  int32_t count;
  const char* shown;
};

class DownloadPercent : public DownloadTest, public ::testing::WithParamInterface<PercentCase> {};

TEST_P(DownloadPercent, IsRightForEveryPackageSizeAndZeroWithoutOne) {
  form2_->NetHTTP1WorkBegin(nullptr, wmRead, GetParam().announced);
  form2_->NetHTTP1Work(nullptr, wmRead, GetParam().count);
  EXPECT_EQ(form2_->Label4->Caption(), GetParam().shown);
  EXPECT_EQ(form2_->ProgressBar1->Position(), QString(GetParam().shown).chopped(1).toInt());
}

INSTANTIATE_TEST_SUITE_P(Sizes, DownloadPercent,
                         ::testing::Values(PercentCase{21474836, 21474836, "100%"},
                                           PercentCase{30000000, 25000000, "83%"},
                                           PercentCase{2147483647, 1073741823, "49%"},
                                           PercentCase{2147483647, 2147483647, "100%"},
                                           PercentCase{0, 5000, "0%"}));

TEST_F(DownloadTest, CompletePackageIsStoredByteForByteAndOfferedForFlashing) {
  const std::string body = PackageBytes(300000);
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body, 16384, 2).Close());
  // With the keyboard: the focus goes to Cancel, which takes the button's place, and to the
  // upgrade button once the package is ready.
  ShowActive(form2_.get(), form2_->Button1);
  QWidget* focusDuring = nullptr;
  const QImage enabledLook = form2_->ComboBox2->grab().toImage();
  QImage disabledLook;
  int workEvents = 0;
  OnEveryWork([&](int32_t) {
    ++workEvents;
    focusDuring = QApplication::focusWidget();
    disabledLook = form2_->ComboBox2->grab().toImage();
  });
  form2_->Button1->click();
  EXPECT_EQ(focusDuring, form2_->Button3);
  EXPECT_EQ(QApplication::focusWidget(), form2_->Button2);
  // The lists, disabled meanwhile, look it: the text's darkest ink is lighter than black.
  const auto darkest = [](const QImage& image) {
    int least = 255;
    for (int y = 0; y < image.height(); ++y)
      for (int x = 0; x < image.width(); ++x) least = std::min(least, qGray(image.pixel(x, y)));
    return least;
  };
  EXPECT_GT(darkest(disabledLook), darkest(enabledLook) + 50) << "a disabled list looks like an enabled one";
  EXPECT_EQ(server_.Request(1, 0).substr(0, 65), "GET /TavroMP3LiveUpdate2/Firmware/ModelB/ModelB_2.00.zip HTTP/1.1");
  EXPECT_EQ(Package(), body);
  // What the person sees follows the bytes: at least one event per 32 KiB that came.
  EXPECT_GE(workEvents, static_cast<int>(body.size() / 32768));
  EXPECT_EQ(form2_->Label1->Caption(), "292 KB");
  EXPECT_EQ(form2_->Label5->Caption(), "292 KB");
  EXPECT_EQ(form2_->Label4->Caption(), "100%");
  ExpectIdle();
  EXPECT_TRUE(Shown(form2_->Panel3));
  EXPECT_EQ(form2_->Button1->Caption(), QString::fromUtf8("重新下载"));
  EXPECT_EQ(form2_->Label11->Caption(), QString::fromUtf8("ModelB 的 2.00 固件包已经准备好！"));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(DownloadTest, MissingPackageShowsOneBoxWritesNothingAndKeepsThePreviousState) {
  program_.Write("FirmwareBack/ModelB_2.00.zip", "older");
  server_.AddConnection(
      ConnectionScript().ExpectRequest().Send(HttpReply("<html>no</html>", "404 Not Found")).Close());
  ShowActive(form2_.get(), form2_->Button1);
  form2_->Button1->click();
  EXPECT_EQ(QApplication::focusWidget(), form2_->Button1);  // back where it was, not in a page
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("从服务器下载固件包时出错。\r请检查网络设置是否连接正常！"));
  EXPECT_EQ(Boxes()[0].Caption, QString::fromUtf8("Tavro MP3 LiveUpdate 提示"));
  EXPECT_EQ(Boxes()[0].Style, 0x30);
  EXPECT_EQ(Boxes()[0].Owner, form2_.get());
  EXPECT_EQ(Package(), "older");
  EXPECT_FALSE(HasTemporaryFile());
  // The error page is neither shown nor counted as the package's progress.
  EXPECT_EQ(form2_->AnnouncedSize(), 0);
  EXPECT_EQ(form2_->Download->Received(), 0);
  ExpectIdle();
  EXPECT_TRUE(Shown(form2_->Panel3));
}

TEST_F(DownloadTest, CancelAfterPartOfTheBodyStoresNothingAndKeepsTheOlderPackage) {
  program_.Write("FirmwareBack/ModelB_2.00.zip", "older");
  const std::string body = PackageBytes(400000);
  server_.AddConnection(
      ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body.substr(0, 100000)).WaitClientClose());
  bool clicked = false;
  OnEveryWork([&](int32_t) {
    if (!clicked) QTimer::singleShot(0, form2_->Button3, &QPushButton::click);
    clicked = true;
  });
  form2_->Button1->click();
  EXPECT_TRUE(clicked);
  EXPECT_EQ(Package(), "older");
  EXPECT_FALSE(HasTemporaryFile());
  ExpectIdle();
  EXPECT_EQ(form2_->ProgressBar1->Position(), 0);
}

TEST_F(DownloadTest, CancelWhileTheServerKeepsSendingEndsTheDownloadAtOnce) {
  const std::string body = PackageBytes(4000000);
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body, 16384, 30).Close());
  bool clicked = false;
  int32_t lastCount = 0;
  OnEveryWork([&](int32_t count) {
    lastCount = count;
    if (count > 500000 && !clicked) {
      clicked = true;
      QTimer::singleShot(0, form2_->Button3, &QPushButton::click);
    }
  });
  form2_->Button1->click();
  EXPECT_TRUE(clicked);
  EXPECT_LT(lastCount, 1000000);
  EXPECT_FALSE(HasPackage());
  EXPECT_FALSE(HasTemporaryFile());
  ExpectIdle();
}

TEST_F(DownloadTest, RedownloadReplacesTheOlderPackageOnlyWhenTheNewOneIsWhole) {
  program_.Write("FirmwareBack/ModelB_2.00.zip", "older");
  const std::string body = PackageBytes(50000);
  // The server closes early: the body is short although the exchange ends normally,
  // and without retries that is reported at once.
  form2_->RetryWaitsMs.clear();
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body.substr(0, 20000)).Close());
  form2_->Button1->click();
  EXPECT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Package(), "older");
  EXPECT_FALSE(HasTemporaryFile());
  EXPECT_TRUE(Shown(form2_->Panel3));
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body).Close());
  form2_->Button1->click();
  EXPECT_EQ(Package(), body);
}

// A full disk: every write past n bytes fails.
class DownloadOnFullDisk : public DownloadTest, public ::testing::WithParamInterface<rlim_t> {};

TEST_P(DownloadOnFullDisk, IsReportedAndLeavesTheStoreAsItWas) {
  const std::string body = PackageBytes(300000);
  const auto storeNames = [this] {
    std::set<std::string> names;
    for (const auto& e : std::filesystem::directory_iterator(program_ / "FirmwareBack"))
      names.insert(e.path().filename().string());
    return names;
  };
  for (const bool older : {false, true}) {
    if (older) program_.Write("FirmwareBack/ModelB_2.00.zip", "older");
    const std::set<std::string> before = storeNames();
    TDialogSeam::Reset();
    AnswerBoxes(IDOK);
    server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body).Close());
    {
      FileSizeLimit full(GetParam());
      form2_->Button1->click();
    }
    ASSERT_EQ(Boxes().size(), 1u) << older;
    // The store's own failure, not the network's: the folder and the system's reason.
    EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("无法写入文件夹" + program_.Path() + "FirmwareBack：File too large\r"
                                                 "固件包未保存。请检查磁盘空间和文件夹的权限。"));
    // No package where there was none, the older one as it was, and no temporary file.
    EXPECT_EQ(storeNames(), before);
    if (older) {
      EXPECT_EQ(Package(), "older");
    }
    ExpectIdle();
  }
}

INSTANTIATE_TEST_SUITE_P(Limits, DownloadOnFullDisk, ::testing::Values(0, 1, 16384, 262144, 299999));

// A download whose body breaks off is tried again, resuming where the bytes so far end
// when the first answer's validator vouches for the rest. Each answer is made from the
// offset its request asks for (-1: no range).
using Answer = std::function<std::string(int64_t from)>;
struct ResumeCase {
  const char* name;
  std::vector<Answer> answers;  // one connection each, closed after the answer
  // Per request: text its head must hold ("" none), and whether it asks for a range.
  std::vector<std::pair<std::string, bool>> requests;
  bool stored;
  // Answers cut short leave the connection open and silent; the times the download notices.
  int silences = 0;
};

const std::string kResumeBody = PackageBytes(100000);
const std::string kETag = "ETag: \"v1\"\r\n";
const std::string kDate = "Last-Modified: Tue, 01 Dec 2026 10:00:00 GMT\r\n";
const std::string kWeakETag = "ETag: W/\"v1\"\r\n";  // says "equivalent", not "the same bytes": never a range's validator

std::string Reply(const std::string& status, const std::string& headers, size_t from, size_t to) {
  return "HTTP/1.1 " + status + "\r\nConnection: close\r\n" + headers + "\r\n" + kResumeBody.substr(from, to - from);
}
// The whole package, or its first upTo bytes before the server closes.
Answer Whole(const std::string& validator, size_t upTo = 100000) {
  return [=](int64_t) { return Reply("200 OK", "Content-Length: 100000\r\n" + validator, 0, upTo); };
}
// Takes the request and answers nothing.
Answer Nothing() {
  return [](int64_t) { return std::string(); };
}
// The rest from the asked offset moved by shift, as a 206.
Answer Rest(const std::string& validator, int64_t shift = 0) {
  return [=](int64_t from) {
    const size_t at = static_cast<size_t>(from + shift);
    return Reply("206 Partial Content",
                 "Content-Range: bytes " + std::to_string(at) + "-99999/100000\r\nContent-Length: " +
                     std::to_string(100000 - at) + "\r\n" + validator,
                 at, 100000);
  };
}

class DownloadResume : public DownloadTest, public ::testing::WithParamInterface<ResumeCase> {
 protected:
  // Reads the request head, keeps it, sends the answer for its range and closes.
  ConnectionScript Answering(Answer answer) {
    ConnectionScript script;
    script.Run([this, answer](int fd) {
          const std::string head = ReadRequestHead(fd);
          const size_t range = head.find("Range: bytes=");
          const std::string reply = answer(range == std::string::npos ? -1 : std::stoll(head.substr(range + 13)));
          {
            std::lock_guard<std::mutex> lock(mutex_);
            heads_.push_back(head);
          }
          ::send(fd, reply.data(), reply.size(), MSG_NOSIGNAL);
        });
    if (GetParam().silences > 0) script.WaitClientClose();
    return script.Close();
  }
  std::mutex mutex_;
  std::vector<std::string> heads_;
};

TEST_P(DownloadResume, StoresTheWholePackageOnlyAndNeverMixesTwoVersions) {
  StartTestLog();
  form2_->RetryWaitsMs = {5, 5, 5};
  form2_->Download->SilenceMinBytes = 1024;
  form2_->Download->SilenceMs = 150;
  for (const Answer& answer : GetParam().answers) server_.AddConnection(Answering(answer));
  std::vector<int> percents;
  OnEveryWork([&](int32_t) { percents.push_back(form2_->ProgressBar1->Position()); });
  form2_->Button1->click();
  std::lock_guard<std::mutex> lock(mutex_);
  ASSERT_EQ(heads_.size(), GetParam().requests.size());
  for (size_t i = 0; i < heads_.size(); ++i) {
    EXPECT_NE(heads_[i].find(GetParam().requests[i].first), std::string::npos) << heads_[i];
    EXPECT_EQ(heads_[i].find("Range: bytes=") != std::string::npos, GetParam().requests[i].second) << heads_[i];
  }
  EXPECT_EQ(HasPackage(), GetParam().stored);
  if (GetParam().stored) {
    EXPECT_TRUE(Package() == kResumeBody);  // (not printed: 100,000 bytes)
  }
  EXPECT_EQ(Boxes().size(), GetParam().stored ? 0u : 1u);
  EXPECT_FALSE(HasTemporaryFile());
  EXPECT_EQ(percents.empty(), !GetParam().stored && GetParam().answers.size() == 1);  // no byte, no progress
  const std::string log = LogText();
  int silences = 0;
  for (size_t at = log.find("went silent"); at != std::string::npos; at = log.find("went silent", at + 1))
    ++silences;
  EXPECT_EQ(silences, GetParam().silences) << log;
  EXPECT_TRUE(std::all_of(percents.begin(), percents.end(), [](int percent) { return percent <= 100; }));
  // An appended rest counts on from where the first attempt stopped.
  if (GetParam().requests.size() == 2 && GetParam().requests[1].second) {
    EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  }
  ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Cases, DownloadResume,
    ::testing::Values(
        // Every byte before the break is kept: the rest is asked for right after it.
        ResumeCase{"CutAt40PercentThenTheRest", {Whole(kETag, 40000), Rest(kETag)},
                   {{"", false}, {"Range: bytes=40000-\r\n", true}}, true},
        ResumeCase{"SilentAt40PercentThenTheRest", {Whole(kETag, 40000), Rest(kETag)},
                   {{"", false}, {"Range: bytes=40000-\r\n", true}}, true, 1},
        ResumeCase{"SilentBeforeTheHeadOfARetry", {Whole(kETag, 40000), Nothing(), Rest(kETag)},
                   {{"", false}, {"If-Range: \"v1\"\r\n", true}, {"If-Range: \"v1\"\r\n", true}}, true, 2},
        ResumeCase{"SilentBeforeAnyByte", {Nothing()}, {{"", false}}, false, 1},
        ResumeCase{"SilentOnEveryRetry",
                   {Whole(kETag, 40000), Whole(kETag, 40000), Whole(kETag, 40000), Whole(kETag, 40000)},
                   {{"", false}, {"", true}, {"", true}, {"", true}}, false, 4},
        ResumeCase{"LastModifiedWithoutETag", {Whole(kDate, 40000), Rest("")},
                   {{"", false}, {"If-Range: Tue, 01 Dec 2026 10:00:00 GMT\r\n", true}}, true},
        ResumeCase{"RangeAnsweredWithTheWhole", {Whole(kETag, 40000), Whole(kETag)}, {{"", false}, {"", true}}, true},
        ResumeCase{"ETagChangedStartsOver", {Whole(kETag, 40000), Rest("ETag: \"v2\"\r\n"), Whole(kETag)},
                   {{"", false}, {"", true}, {"", false}}, true},
        ResumeCase{"RangeStartingElsewhereStartsOver", {Whole(kETag, 40000), Rest(kETag, -1000), Whole(kETag)},
                   {{"", false}, {"", true}, {"", false}}, true},
        ResumeCase{"NoValidatorNeverResumes", {Whole("", 40000), Whole("")}, {{"", false}, {"", false}}, true},
        ResumeCase{"WeakETagResumesOnLastModified", {Whole(kWeakETag + kDate, 40000), Rest(kWeakETag)},
                   {{"", false}, {"If-Range: Tue, 01 Dec 2026 10:00:00 GMT\r\n", true}}, true},
        ResumeCase{"WeakETagAloneNeverResumes", {Whole(kWeakETag, 40000), Whole(kWeakETag)},
                   {{"", false}, {"", false}}, true},
        ResumeCase{"FourCutsShowTheFailureBox",
                   {Whole(kETag, 40000), Whole(kETag, 40000), Whole(kETag, 40000), Whole(kETag, 40000)},
                   {{"", false}, {"", true}, {"", true}, {"", true}}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(DownloadTest, CancelDuringTheWaitBeforeARetryStoresNothingAndTheNextDownloadResumes) {
  form2_->RetryWaitsMs = {20000};
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(Whole(kETag, 40000)(-1)).Close());
  bool posted = false;
  OnEveryWork([&](int32_t) {
    if (!posted) QTimer::singleShot(300, form2_->Button3, &QPushButton::click);
    posted = true;
  });
  form2_->Button1->click();
  EXPECT_EQ(server_.AcceptedCount(), 2u);
  EXPECT_FALSE(HasPackage());
  EXPECT_FALSE(HasTemporaryFile());
  EXPECT_TRUE(Boxes().empty());
  ExpectIdle();
  // The bytes so far are kept beside the package (never taken for it), and the next download
  // asks only for the rest, on the validator of the answer they came with.
  EXPECT_EQ(program_.Read("FirmwareBack/ModelB_2.00.zip.partial"), kResumeBody.substr(0, 40000));
  // A download that takes them up and fails otherwise leaves them for the next one.
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("busy", "503 Service Unavailable")).Close());
  form2_->Button1->click();
  EXPECT_EQ(program_.Read("FirmwareBack/ModelB_2.00.zip.partial"), kResumeBody.substr(0, 40000));
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(Rest(kETag)(40000)).Close());
  form2_->Button1->click();
  for (const char* line : {"Range: bytes=40000-\r\n", "If-Range: \"v1\"\r\n"})
    EXPECT_NE(server_.Request(3, 0).find(line), std::string::npos) << server_.Request(3, 0);
  EXPECT_TRUE(Package() == kResumeBody);
  EXPECT_FALSE(program_.Exists("FirmwareBack/ModelB_2.00.zip.partial"));
  EXPECT_FALSE(program_.Exists("FirmwareBack/ModelB_2.00.zip.partial.id"));
}

TEST_F(DownloadTest, PackageAbove21MBShowsRisingPercentagesUpTo100) {
  const uint64_t size = 22000000;
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(size)).SendPattern(0, size).Close());
  std::vector<int> percents;
  OnEveryWork([&](int32_t) { percents.push_back(form2_->ProgressBar1->Position()); });
  form2_->Button1->click();
  ASSERT_FALSE(percents.empty());
  EXPECT_TRUE(std::is_sorted(percents.begin(), percents.end()));
  EXPECT_GE(percents.front(), 0);
  EXPECT_EQ(percents.back(), 100);
  EXPECT_EQ(form2_->Label4->Caption(), "100%");
  const std::string stored = Package();
  ASSERT_EQ(stored.size(), size);
  EXPECT_EQ(stored[size - 1], ConnectionScript::PatternByte(size - 1));
}

TEST_F(DownloadTest, BodyWithoutLengthIsReadToTheCloseAndStored) {
  const std::string body = PackageBytes(70000);
  server_.AddConnection(ConnectionScript()
                            .ExpectRequest()
                            .Send("HTTP/1.1 200 OK\r\nConnection: close\r\n\r\n" + body, 8192, 2)
                            .Close());
  form2_->Button1->click();
  EXPECT_EQ(Package(), body);
  EXPECT_EQ(form2_->Label4->Caption(), "0%");
  // The received amount counts on (the tail that comes with the close has no work event).
  EXPECT_FALSE(form2_->Label5->Caption().isEmpty());
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(DownloadTest, ChunkedBodyIsStoredWholeWithTheProgressPanelUpThroughout) {
  const std::string body = PackageBytes(90000);
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(ChunkedReply(body, 30000), 10000, 5).Close());
  bool panelAlwaysUp = true;
  OnEveryWork([&](int32_t) { panelAlwaysUp = panelAlwaysUp && Shown(form2_->Panel2) && Shown(form2_->Button3); });
  form2_->Button1->click();
  EXPECT_TRUE(panelAlwaysUp);
  EXPECT_EQ(Package(), body);
  ExpectIdle();
}

TEST_F(DownloadTest, ClosingMidDownloadCancelsSavesTheChoiceAndEndsAfterTheHandler) {
  const std::string body = PackageBytes(400000);
  server_.AddConnection(
      ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body.substr(0, 100000)).WaitClientClose());
  Application->CreateForm(form2_.get());
  form2_->show();
  bool closeAsked = false;
  bool stillOpenAfterAsking = false;
  OnEveryWork([&](int32_t) {
    if (closeAsked) return;
    closeAsked = true;
    form2_->close();
    stillOpenAfterAsking = form2_->isVisible();
  });
  form2_->Button1->click();
  EXPECT_TRUE(closeAsked);
  EXPECT_TRUE(stillOpenAfterAsking);
  EXPECT_FALSE(Application->Terminated());
  ProcessEvents();
  EXPECT_FALSE(form2_->isVisible());
  EXPECT_TRUE(Application->Terminated());
  EXPECT_FALSE(HasPackage());
  EXPECT_FALSE(HasTemporaryFile());
  EXPECT_EQ(program_.Read("user.ini"), "[Main02]\r\nComboBox1=0\r\nComboBox2=0\r\n");
  EXPECT_TRUE(Boxes().empty());
}

}  // namespace

namespace {

// With a trusted key: the package's signature, fetched and judged before the package is
// asked for, decides whether the package is fetched and stored, and the stored signature is
// checked again at the firmware upgrade button.
class SignedDownload : public DownloadTest {
 public:
  // The signature of bytes published as `name` (minisign's own trusted comment names it),
  // or with a trusted comment of its own.
  std::string SignatureOf(const std::string& bytes, const std::string& comment = "",
                          const std::string& name = "ModelB_2.00.zip") {
    keys_.Write(name, bytes);
    return pair_.Sign(keys_ / name, false, comment);
  }
  // A trusted comment as the publisher writes it for a package of this size.
  static std::string Sized(int64_t size, const std::string& name = "ModelB_2.00.zip") {
    return "timestamp:1796704487\tfile:" + name + "\tsize:" + std::to_string(size) + "\thashed";
  }

 protected:
  void SetUp() override {
    if (!HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
    pair_ = MakeMinisignPair(keys_ / "maker");
    trustedKeys_.AddText(pair_.PublicText(), "maker.pub");
    DownloadTest::SetUp();
    StartTestLog();
  }
  // Downloads the package: the signature's answer first, then (when given) the package's.
  void Download(const std::string& signatureReply, const std::string& packageReply = "", bool silent = false) {
    form2_->Download->SilenceMs = 150;
    ConnectionScript signature = ConnectionScript().ExpectRequest().Send(signatureReply);
    if (silent) signature.WaitClientClose();
    server_.AddConnection(signature.Close());
    if (!packageReply.empty()) server_.AddConnection(ConnectionScript().ExpectRequest().Send(packageReply, 65536).Close());
    form2_->Button1->click();
  }
  std::string StoredSignature() { return program_.Read("FirmwareBack/ModelB_2.00.zip.minisig"); }

  TempDir keys_;
  TMinisignPair pair_;
};

const std::string kBody = PackageBytes(100000);

// One attack on the package download (or none), as a hostile server would make it.
struct SignedCase {
  const char* name;
  std::function<std::string(SignedDownload&)> signature;  // the answer to the signature's request
  std::string package;      // the answer to the package's request; empty: it is never asked for
  const char* refusal;      // in the log's refusal line; nullptr: the package is stored
  int32_t shownSize = 0;    // the package size the progress display shows, when checked
  const char* failure = nullptr;  // a network failure, not a refusal: the log's "failed:" reason
  bool silent = false;             // the signature's server keeps the connection open after its answer
};

class SignedPackage : public SignedDownload, public ::testing::WithParamInterface<SignedCase> {};

std::string Endless(const std::string& body) { return ChunkedReply(body + std::string(8 << 20, 'x'), 65536); }

}  // namespace

TEST_P(SignedPackage, IsFetchedAndStoredOnlyWhenItsSignatureIsForItAndItKeepsToIt) {
  const SignedCase& c = GetParam();
  program_.Write("FirmwareBack/ModelB_2.00.zip", "older");
  // Made once: a signature made again may fall in the next second and differ.
  const std::string reply = c.signature(*this);
  Download(reply, c.package, c.silent);
  const std::string request = "GET /TavroMP3LiveUpdate2/Firmware/ModelB/ModelB_2.00.zip.minisig HTTP/1.1\r\n";
  EXPECT_EQ(server_.Request(1, 0).substr(0, request.size()), request);
  EXPECT_EQ(server_.AcceptedCount(), c.package.empty() ? 2u : 3u) << "the package was asked for";
  ExpectIdle();
  EXPECT_TRUE(Shown(form2_->Panel3));
  EXPECT_FALSE(HasTemporaryFile());
  if (c.shownSize) {
    EXPECT_EQ(form2_->AnnouncedSize(), c.shownSize);
  }
  if (c.failure) {
    EXPECT_EQ(Package(), "older");
    ASSERT_EQ(Boxes().size(), 1u);
    EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("从服务器下载固件包时出错。\r请检查网络设置是否连接正常！"));
    EXPECT_NE(LogText().find(std::string("download ended: failed: ") + c.failure), std::string::npos) << LogText();
    EXPECT_EQ(LogText().find(" refused"), std::string::npos) << LogText();
    // An error page is not the package: none of it shown or counted as progress.
    EXPECT_EQ(form2_->Download->Received(), 0);
    EXPECT_EQ(form2_->AnnouncedSize(), 0);
    return;
  }
  if (!c.refusal) {
    EXPECT_EQ(Package(), kBody);
    EXPECT_EQ(StoredSignature(), reply.substr(reply.size() - StoredSignature().size()));
    EXPECT_TRUE(Boxes().empty());
    return;
  }
  EXPECT_EQ(Package(), "older");
  EXPECT_FALSE(program_.Exists("FirmwareBack/ModelB_2.00.zip.minisig"));
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("固件包签名校验失败，固件包未保存。\r请稍后重新下载。"));
  EXPECT_EQ(Boxes()[0].Caption, QString::fromUtf8("Tavro MP3 LiveUpdate 提示"));
  EXPECT_EQ(Boxes()[0].Style, 0x30);
  const std::string line = "signature of http://127.0.0.1:" + std::to_string(server_.Port()) +
                           "/TavroMP3LiveUpdate2/Firmware/ModelB/ModelB_2.00.zip refused: " + c.refusal;
  EXPECT_NE(LogText().find(line), std::string::npos) << LogText();
}

INSTANTIATE_TEST_SUITE_P(
    Attacks, SignedPackage,
    ::testing::Values(
        SignedCase{"Verifies", [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody)); },
                   HttpHead(kBody.size()) + kBody, nullptr, 100000},
        SignedCase{"ChunkedWithSignedSizeShowsThatSize",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody, SignedDownload::Sized(100000))); },
                   ChunkedReply(kBody, 16384), nullptr, 100000},
        // Arbitrary package
        SignedCase{"Missing", [](SignedDownload&) { return HttpReply("no", "404 Not Found"); }, "",
                   "cannot fetch it: HTTP/1.1 404 Not Found"},
        // The signature not fetched for the network's or the server's failure: no refusal
        SignedCase{"CutShort", [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody)).substr(0, 150); }, "",
                   nullptr, 0, "the server closed the connection before the end"},
        SignedCase{"NoAnswer", [](SignedDownload&) { return std::string(); }, "", nullptr, 0,
                   "the server closed the connection before the end"},
        SignedCase{"SilentServer", [](SignedDownload&) { return std::string(); }, "", nullptr, 0,
                   "the connection to 127.0.0.1 went silent: fewer than 1024 bytes arrived in 150 ms.", true},
        SignedCase{"ServerFailure", [](SignedDownload&) { return HttpReply("busy", "503 Service Unavailable"); }, "",
                   nullptr, 0, "503 Service Unavailable"},
        // The package itself answered with an error page: the server's no, not a refusal
        SignedCase{"PackageNotFound", [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody)); },
                   HttpReply("<html>not here</html>", "404 Not Found"), nullptr, 0, "404 Not Found"},
        SignedCase{"PackageServerError", [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody)); },
                   HttpReply("<html>broken</html>", "500 Internal Server Error"), nullptr, 0,
                   "500 Internal Server Error"},
        SignedCase{"OfOtherBytes", [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody + "x")); },
                   HttpHead(kBody.size()) + kBody, "the signature does not match the file"},
        // Wrong package: the maker's own package for another model, with its valid signature
        SignedCase{"SignedForAnotherModel",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody, "", "ModelA_1.20.zip")); }, "",
                   "it is signed for ModelA_1.20.zip"},
        SignedCase{"SignedForNoFile",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody, "timestamp:1796704487\thashed")); },
                   "", "it names no file (its trusted comment has no file: field)"},
        // Endless data
        SignedCase{"SignatureFilePastItsCap",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody) + std::string(1 << 20, 'j')); }, "",
                   "its signature file went past the cap of 4096 bytes"},
        SignedCase{"SignatureFileWithoutLengthPastItsCap",
                   [](SignedDownload& t) { return CloseDelimitedReply(t.SignatureOf(kBody) + std::string(1 << 20, 'j')); },
                   "", "its signature file went past the cap of 4096 bytes"},
        SignedCase{"LengthOtherThanSigned",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody, SignedDownload::Sized(100000))); },
                   HttpHead(kBody.size() + 1) + kBody + "x",
                   "the server announces 100001 bytes, not its signed size of 100000 bytes"},
        SignedCase{"EndlessChunkedBody",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody, SignedDownload::Sized(100000))); },
                   Endless(kBody), "the body went past its signed size of 100000 bytes"},
        SignedCase{"EndlessBodyWithoutLength",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody, SignedDownload::Sized(100000))); },
                   CloseDelimitedReply(kBody + std::string(8 << 20, 'x')),
                   "the body went past its signed size of 100000 bytes"},
        SignedCase{"ChunkedBodyShortOfSignedSize",
                   [](SignedDownload& t) { return HttpReply(t.SignatureOf(kBody, SignedDownload::Sized(100001))); },
                   ChunkedReply(kBody, 16384), "it ended after 100000 bytes, short of its signed size of 100001 bytes"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(SignedDownload, UpgradeRefusesAStoredPackageThatNoLongerVerifiesOrIsAnothers) {
  const std::string other = PackageBytes(50000);
  const std::string othersSignature = SignatureOf(other, "", "ModelA_1.20.zip");
  for (const char* change : {"changed", "unsigned", "another model's"}) {
    TDialogSeam::Reset();
    AnswerBoxes(IDOK);
    Download(HttpReply(SignatureOf(kBody)), HttpHead(kBody.size()) + kBody);
    ASSERT_EQ(Package(), kBody);
    ASSERT_TRUE(Shown(form2_->Panel3));
    const std::string how = change;
    if (how == "changed") program_.Write("FirmwareBack/ModelB_2.00.zip", kBody + "x");
    if (how == "unsigned") std::filesystem::remove(program_ / "FirmwareBack/ModelB_2.00.zip.minisig");
    if (how == "another model's") {
      program_.Write("FirmwareBack/ModelB_2.00.zip", other);
      program_.Write("FirmwareBack/ModelB_2.00.zip.minisig", othersSignature);
    }
    form2_->Button2->click();
    ASSERT_EQ(Boxes().size(), 1u) << change;
    EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("固件包校验失败，请重新下载固件包后再试。"));
    EXPECT_EQ(Boxes()[0].Style, 0x30);
    EXPECT_FALSE(Shown(form2_->Panel3)) << change;
    EXPECT_TRUE(form2_->Archiver->FileName().empty()) << "the refused package was opened";
  }
  EXPECT_NE(LogText().find("ModelB_2.00.zip refused: it is signed for ModelA_1.20.zip"), std::string::npos);
}

TEST_F(SignedDownload, ResumesABrokenBodyWithinItsSignedSize) {
  form2_->RetryWaitsMs = {5};
  const std::string head = "Connection: close\r\nETag: \"v1\"\r\n";
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply(SignatureOf(kBody, Sized(100000)))).Close());
  server_.AddConnection(ConnectionScript()
                            .ExpectRequest()
                            .Send("HTTP/1.1 200 OK\r\nContent-Length: 100000\r\n" + head + "\r\n" + kBody.substr(0, 40000))
                            .Close());
  server_.AddConnection(ConnectionScript()
                            .ExpectRequest()
                            .Send("HTTP/1.1 206 Partial Content\r\nContent-Range: bytes 40000-99999/100000\r\n"
                                  "Content-Length: 60000\r\n" + head + "\r\n" + kBody.substr(40000))
                            .Close());
  form2_->Button1->click();
  EXPECT_NE(server_.Request(3, 0).find("Range: bytes=40000-"), std::string::npos);
  EXPECT_TRUE(Package() == kBody);  // (not printed: 100,000 bytes)
  EXPECT_TRUE(Boxes().empty());
}
