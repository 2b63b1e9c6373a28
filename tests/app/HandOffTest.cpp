// The hand-off: unpacking the stored package into the player software folder and
// starting the flashing tool with "-s" there, with every way it can go wrong.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <QCoreApplication>
#include <QTimer>
#include <filesystem>
#include <fstream>
#include <thread>

#include "AppTestSupport.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "runtime/Hooks.h"
#include "toolkit/Controls.h"

namespace fs = std::filesystem;

namespace {

class HandOffTest : public AppTest {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    player_ = program_.Path() + "player";
    fs::create_directories(player_);
    // The flashing tool stand-in logs its parameters and working folder.
    const std::string tool = player_ + "/stupdaterapp.exe";
    std::ofstream(tool) << "#!/bin/sh\necho \"$*|$(pwd)\" >> \"" << player_ << "/tool.log\"\n";
    fs::permissions(tool, fs::perms::owner_all);
    program_.Write("TavroMP3LiveUpdate.ini", kCatalogue);
    server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("notes")).Close());
    form1_ = MakeForm1(player_);
    form2_ = MakeForm2(*form1_);
  }

  // Makes the stored package with Python's zipfile: entries name=content; "damage"
  // flips a byte of the named (stored) entry's data so that its checksum fails.
  void MakePackage(const std::vector<std::pair<std::string, std::string>>& entries, const std::string& damage = "") {
    fs::create_directories(program_.Path() + "FirmwareBack");
    std::string script = "import zipfile\np=r'" + PackagePath() + "'\nz=zipfile.ZipFile(p,'w')\n";
    for (const auto& [name, content] : entries)
      script += "z.writestr(zipfile.ZipInfo('" + name + "',(2005,10,19,12,0,0)),b'" + content + "')\n";
    script += "z.close()\n";
    if (!damage.empty())
      script += "z=zipfile.ZipFile(p)\ni=z.getinfo('" + damage +
                "')\nz.close()\nd=bytearray(open(p,'rb').read())\n"
                "import struct\nn,e=struct.unpack('<HH',d[i.header_offset+26:i.header_offset+30])\n"
                "d[i.header_offset+30+n+e]^=0xFF\nopen(p,'wb').write(d)\n";
    program_.Write("make.py", script);
    ASSERT_EQ(std::system(("python3 " + program_.Path() + "make.py").c_str()), 0);
  }
  std::string PackagePath() { return program_.Path() + "FirmwareBack/ModelB_2.00.zip"; }
  // What the tool stand-in logged, once a whole line is there (the shell creates the file
  // before it writes to it) or the wait is over.
  std::string ToolLog(int waitMs) {
    const auto read = [this] {
      std::ifstream in(player_ + "/tool.log");
      return std::string(std::istreambuf_iterator<char>(in), {});
    };
    std::string text = read();
    for (int waited = 0; waited < waitMs && (text.empty() || text.back() != '\n'); waited += 20) {
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
      text = read();
    }
    return text;
  }
  // Boxes answered by kind: the archiver's failure dialog and the connect prompt.
  void Answer(int failureDialog, int connectPrompt) {
    TDialogSeam::Responder = [=](const TShownDialog& dialog) {
      return dialog.Kind == TShownDialog::dkMessageDlg ? failureDialog : connectPrompt;
    };
  }
  std::vector<TShownDialog> MessageBoxes() { return BoxesOfKind(TShownDialog::dkMessageBox); }

  std::string player_;
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
};

const QString kConnectPrompt = QString::fromUtf8("请使用USB连接线将MP3与电脑相连。\r连接好后单击[确定]-[开始]按钮。");

TEST_F(HandOffTest, ValidPackageWithOkUnpacksEverythingThenStartsTheToolOnceWithDashS) {
  MakePackage({{"firmware.sb", "FIRMWARE"}, {"res/readme.txt", "hello"}});
  Answer(mrIgnore, IDOK);
  form2_->Button2->click();
  EXPECT_EQ(program_.Read("player/firmware.sb"), "FIRMWARE");
  EXPECT_EQ(program_.Read("player/res/readme.txt"), "hello");
  ASSERT_EQ(MessageBoxes().size(), 1u);
  EXPECT_EQ(MessageBoxes()[0].Text, kConnectPrompt);
  EXPECT_EQ(MessageBoxes()[0].Caption, QString::fromUtf8("将您的MP3播放器与电脑连接"));
  EXPECT_EQ(MessageBoxes()[0].Style, 0x31);
  EXPECT_EQ(ToolLog(5000), "-s|" + player_ + "\n");
}

TEST_F(HandOffTest, CancelAtTheConnectPromptLeavesTheFilesAndStartsNothing) {
  MakePackage({{"firmware.sb", "FIRMWARE"}});
  Answer(mrIgnore, IDCANCEL);
  form2_->Button2->click();
  EXPECT_EQ(program_.Read("player/firmware.sb"), "FIRMWARE");
  EXPECT_EQ(MessageBoxes().size(), 1u);
  EXPECT_EQ(ToolLog(400), "");
}

TEST_F(HandOffTest, CloseWhileUnpackingFinishesTheUnpackingThenClosesWithoutFlashing) {
  MakePackage({{"firmware.sb", "FIRMWARE"}, {"res/readme.txt", "hello"}});
  Answer(mrIgnore, IDOK);
  form2_->show();
  bool pumped = false;
  // Delivered by the window's pumps while the upgrade button's handler runs.
  QTimer::singleShot(0, form2_.get(), [&] {
    pumped = true;
    EXPECT_FALSE(form2_->Button1->isEnabled() || form2_->Button2->isEnabled() || form2_->ComboBox1->isEnabled());
    form2_->close();
  });
  form2_->Button2->click();
  EXPECT_TRUE(pumped);
  EXPECT_EQ(program_.Read("player/firmware.sb"), "FIRMWARE");
  EXPECT_EQ(program_.Read("player/res/readme.txt"), "hello");
  EXPECT_TRUE(MessageBoxes().empty());
  QCoreApplication::processEvents();
  EXPECT_FALSE(form2_->isVisible());
  EXPECT_EQ(ToolLog(400), "");
}

// Presses of the upgrade button that reach its handler while a hand-off runs: from the
// pump while the package is checked and unpacked, from inside the connect prompt's loop as
// it opens, and queued while it closes. None starts a second hand-off; the tool starts once.
enum TPressAt { paUnpacking, paPromptOpening, paPromptClosing };
class PressDuringHandOff : public HandOffTest, public ::testing::WithParamInterface<TPressAt> {};

TEST_P(PressDuringHandOff, StartsNoSecondHandOffAndTheToolOnce) {
  MakePackage({{"firmware.sb", "FIRMWARE"}});
  // Straight to the button's signal: a press however it came, also past a disabled button.
  const auto press = [this] { emit form2_->Button2->clicked(); };
  int prompts = 0;
  TDialogSeam::Responder = [&](const TShownDialog&) {
    if (++prompts == 1 && GetParam() == paPromptOpening) press();
    if (prompts == 1 && GetParam() == paPromptClosing) QTimer::singleShot(0, form2_.get(), press);
    return IDOK;
  };
  if (GetParam() == paUnpacking) QTimer::singleShot(0, form2_.get(), press);
  form2_->Button2->click();
  ProcessEvents();
  EXPECT_EQ(prompts, 1);
  EXPECT_EQ(ToolLog(5000), "-s|" + player_ + "\n");
  EXPECT_TRUE(form2_->Button2->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(When, PressDuringHandOff, ::testing::Values(paUnpacking, paPromptOpening, paPromptClosing),
                         [](const auto& info) {
                           return std::string(info.param == paUnpacking       ? "Unpacking"
                                              : info.param == paPromptOpening ? "PromptOpening"
                                                                              : "PromptClosing");
                         });

TEST_F(HandOffTest, FileThatIsNotAZipShowsNothingAndStartsNothing) {
  fs::create_directories(program_.Path() + "FirmwareBack");
  program_.Write("FirmwareBack/ModelB_2.00.zip", "<html>not a package</html>");
  form2_->Button2->click();
  EXPECT_TRUE(Boxes().empty());
  EXPECT_EQ(ToolLog(400), "");
}

struct DamagedCase {
  const char* name;
  int answer;
  bool flashed;
};

class DamagedEntry : public HandOffTest, public ::testing::WithParamInterface<DamagedCase> {};

TEST_P(DamagedEntry, IgnoreGoesOnToThePromptAbortReportsAndNeverFlashes) {
  MakePackage({{"a.bin", "AAAAAAAAAAAAAAAA"}, {"b.bin", "BBBBBBBBBBBBBBBB"}, {"c.bin", "CCCC"}}, "b.bin");
  Answer(GetParam().answer, IDOK);
  form2_->Button2->click();
  EXPECT_EQ(BoxesOfKind(TShownDialog::dkMessageDlg).size(), 1u);
  EXPECT_EQ(program_.Read("player/a.bin"), "AAAAAAAAAAAAAAAA");
  EXPECT_FALSE(fs::exists(player_ + "/b.bin"));
  ASSERT_EQ(MessageBoxes().size(), 1u);
  if (GetParam().flashed) {
    EXPECT_EQ(MessageBoxes()[0].Text, kConnectPrompt);
    EXPECT_EQ(ToolLog(5000), "-s|" + player_ + "\n");
  } else {
    EXPECT_EQ(MessageBoxes()[0].Text, QString::fromUtf8("固件包解压失败，请重新下载固件包后再试。"));
    EXPECT_EQ(MessageBoxes()[0].Caption, QString::fromUtf8("Tavro MP3 LiveUpdate 提示"));
    EXPECT_EQ(MessageBoxes()[0].Style, 0x30);
    EXPECT_EQ(ToolLog(400), "");
  }
}

INSTANTIATE_TEST_SUITE_P(Answers, DamagedEntry,
                         ::testing::Values(DamagedCase{"Ignore", mrIgnore, true}, DamagedCase{"Abort", mrAbort, false}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(HandOffTest, UnknownPlayerFolderIsReportedAndNothingIsUnpackedOrStarted) {
  MakePackage({{"firmware.sb", "FIRMWARE"}});
  form1_->InstallFolder.clear();
  form2_->Button2->click();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("未能找到SigmaTel MSCN Audio Player软件的安装目录。\r"
                                                "请重新安装该软件后再升级固件。"));
  EXPECT_EQ(Boxes()[0].Caption, QString::fromUtf8("Tavro MP3 LiveUpdate 提示"));
  EXPECT_EQ(Boxes()[0].Style, 0x30);
  EXPECT_FALSE(fs::exists(fs::current_path() / "firmware.sb"));
  EXPECT_EQ(ToolLog(400), "");
}

TEST_F(HandOffTest, EntryNamedWithDotDotNeverLandsOutsideThePlayerFolder) {
  MakePackage({{"../escaped.txt", "out"}, {"sub/../../escaped2.txt", "out"}, {"ok.txt", "in"}});
  Answer(mrIgnore, IDCANCEL);
  form2_->Button2->click();
  EXPECT_FALSE(fs::exists(program_.Path() + "escaped.txt"));
  EXPECT_FALSE(fs::exists(program_.Path() + "escaped2.txt"));
  EXPECT_EQ(program_.Read("player/ok.txt"), "in");
}

}  // namespace

TEST_F(HandOffTest, ToolThatCannotBeStartedIsToldInABox) {
  MakePackage({{"firmware.sb", "FIRMWARE"}});
  // The vendor's tool is a Windows program, and no wine is on PATH to start it with.
  std::ofstream(player_ + "/stupdaterapp.exe", std::ios::trunc) << "MZ";
  const std::string savedPath = std::getenv("PATH");
  setenv("PATH", (program_.Path() + "nowhere").c_str(), 1);
  Answer(mrIgnore, IDOK);
  form2_->Button2->click();
  setenv("PATH", savedPath.c_str(), 1);
  ASSERT_EQ(MessageBoxes().size(), 2u);
  EXPECT_EQ(MessageBoxes()[1].Text,
            QString::fromUtf8("无法启动固件升级工具stupdaterapp.exe。\r请确认已安装Wine和SigmaTel MSCN Audio Player软件。"));
  EXPECT_EQ(MessageBoxes()[1].Caption, QString::fromUtf8("Tavro MP3 LiveUpdate 提示"));
  EXPECT_EQ(MessageBoxes()[1].Style, 0x30);
}
