// The package download: progress labels and speed, storing only a whole package,
// failures, cancel, large, unsized and chunked bodies, and closing mid-download.
#include <gtest/gtest.h>

#include <QTimer>
#include <filesystem>

#include "AppTestSupport.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "http/NetHTTP.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Timer.h"

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
      if (entry.path().filename().string().find(".part") != std::string::npos) return true;
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
  form2_->Button1->click();
  EXPECT_EQ(server_.Request(1, 0).substr(0, 65), "GET /TavroMP3LiveUpdate2/Firmware/ModelB/ModelB_2.00.zip HTTP/1.1");
  EXPECT_EQ(Package(), body);
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
  form2_->Button1->click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("从服务器下载固件包时出错。\r请检查网络设置是否连接正常！"));
  EXPECT_EQ(Boxes()[0].Caption, QString::fromUtf8("Tavro MP3 LiveUpdate 提示"));
  EXPECT_EQ(Boxes()[0].Style, 0x30);
  EXPECT_EQ(Boxes()[0].Owner, form2_.get());
  EXPECT_EQ(Package(), "older");
  EXPECT_FALSE(HasTemporaryFile());
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
  // The server closes early: the body is short although the exchange ends normally.
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body.substr(0, 20000)).Close());
  form2_->Button1->click();
  EXPECT_EQ(Package(), "older");
  EXPECT_FALSE(HasTemporaryFile());
  EXPECT_TRUE(Shown(form2_->Panel3));
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpHead(body.size()) + body).Close());
  form2_->Button1->click();
  EXPECT_EQ(Package(), body);
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
  std::string reply = "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nConnection: close\r\n\r\n";
  for (size_t at = 0; at < body.size(); at += 30000) {
    char size[16];
    snprintf(size, sizeof size, "%zx\r\n", std::min<size_t>(30000, body.size() - at));
    reply += size + body.substr(at, 30000) + "\r\n";
  }
  reply += "0\r\n\r\n";
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(reply, 10000, 5).Close());
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
