#include "AppTestSupport.h"

#include <QApplication>
#include <cstdlib>
#include <filesystem>

#include "app/Main01.h"
#include "app/Main02.h"
#include "platform/Log.h"
#include "platform/ProgramInfo.h"
#include "runtime/CodePage.h"
#include "toolkit/Application.h"
#include "toolkit/Timer.h"
#include "toolkit/Translation.h"
#include "toolkit/WebBrowser.h"

namespace {
// One application object for the whole test program, with recording web views.
class QtEnvironment : public ::testing::Environment {
 public:
  void SetUp() override {
    static int argc = 1;
    static char arg0[] = "app_tests";
    static char* argv[] = {arg0, nullptr};
    TWebBrowser::SetUseRecordingView(true);
    application_ = std::make_unique<TApplication>(argc, argv);
  }
  void TearDown() override { application_.reset(); }

 private:
  std::unique_ptr<TApplication> application_;
};

[[maybe_unused]] ::testing::Environment* const kQtEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);
}  // namespace

const char* const kCatalogue =
    "[ModelB]\r\n2.00=a\r\n1.50=b\r\n"
    "[ModelA]\r\n1.20=\r\n1.10=x\r\n1.00\r\n"
    "[Model C]\r\n3.0=1\r\n";

void AppTest::StartTestLog() {
  setenv("XDG_STATE_HOME", state_.Path().c_str(), 1);
  StartLog(false);
}

std::string AppTest::LogText() const { return state_.Exists("tavro/tavro.log") ? state_.Read("tavro/tavro.log") : ""; }

std::string Gbk(const std::string& utf8) { return Utf8ToAnsi(utf8); }

void AppTest::SetUp() {
  Application->ResetForTesting();
  Application->SetTitle("Tavro");
  TDialogSeam::Reset();
  AnswerBoxes(IDOK);
  setenv("XDG_CONFIG_HOME", config_.Path().c_str(), 1);
  // A Wine prefix of the test's own, nothing in its registry, drive C: only.
  config_.Write("wineprefix/drive_c/.keep", "");
  config_.Write("wineprefix/dosdevices/.keep", "");
  std::filesystem::create_directory_symlink("../drive_c", config_.Path() + "wineprefix/dosdevices/c:");
  setenv("WINEPREFIX", (config_.Path() + "wineprefix").c_str(), 1);
  SetProgramFolderForTesting(program_.Path());
}

void AppTest::TearDown() {
  server_.Stop();
  ProcessEvents();
  SetProgramFolderForTesting("");
  unsetenv("WINEPREFIX");
  TDialogSeam::Reset();
  Application->ResetForTesting();
  UseLanguage(lgChinese);
}

void AppTest::WriteRegistry(bool withKey, const std::string& valueLine) {
  std::filesystem::create_directories(config_.Path() + "tavro");
  std::string store = "REGEDIT4\r\n\r\n";
  if (withKey) {
    store += "[HKEY_LOCAL_MACHINE\\SOFTWARE\\SigmaTel\\SigmaTel MSCN Audio Player\\Params]\r\n";
    if (!valueLine.empty()) store += valueLine + "\r\n";
  }
  config_.Write("tavro/registry.reg", store);
}

TAppSettings AppTest::Settings() {
  if (!serverStarted_) {
    server_.Start();
    serverStarted_ = true;
  }
  TAppSettings settings{"127.0.0.1:" + std::to_string(server_.Port()), program_.Path()};
  settings.TrustedKeys = trustedKeys_;
  return settings;
}

void AppTest::AnswerBoxes(int answer) {
  TDialogSeam::Responder = [answer](const TShownDialog&) { return answer; };
}

std::vector<TShownDialog> AppTest::BoxesOfKind(TShownDialog::TKind kind) const {
  std::vector<TShownDialog> boxes;
  for (const TShownDialog& box : TDialogSeam::Shown)
    if (box.Kind == kind) boxes.push_back(box);
  return boxes;
}

std::unique_ptr<TForm1> AppTest::MakeForm1(const std::string& installFolder) {
  auto form1 = std::make_unique<TForm1>(Settings());
  form1->Timer1->SetEnabled(false);
  form1->InstallFolder = installFolder;
  return form1;
}

std::unique_ptr<TForm2> AppTest::MakeForm2(TForm1& form1) { return std::make_unique<TForm2>(form1); }

void AppTest::ShowActive(QWidget* window, QWidget* focus) {
  window->show();
  window->activateWindow();
  QApplication::setActiveWindow(window);
  ProcessEvents();
  if (focus) focus->setFocus(Qt::TabFocusReason);
}

void AppTest::ProcessEvents(int rounds) {
  for (int i = 0; i < rounds; ++i) QCoreApplication::processEvents(QEventLoop::AllEvents);
}
