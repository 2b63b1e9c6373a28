// The toolkit's promises the windows rely on: the error box, the boxes' seam and
// styles, the timers' enable rules, the default title and the one-message pump.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QPushButton>
#include <QSet>
#include <QTimer>

#include "AppTestSupport.h"
#include "runtime/Exception.h"
#include "runtime/Hooks.h"
#include "toolkit/Application.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Timer.h"
#include "toolkit/Translation.h"

namespace {

struct ErrorTextCase {
  const char* name;
  const char* message;
  const char* shown;
};

// Names the case in test output instead of dumping its bytes.
void PrintTo(const ErrorTextCase& c, std::ostream* os) { *os << c.name; }

class ErrorBoxText_ : public ::testing::TestWithParam<ErrorTextCase> {};

TEST_P(ErrorBoxText_, AppendsFullStopOnlyAfterCharactersSortingAfterIt) {
  EXPECT_EQ(ErrorBoxText(GetParam().message), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Messages, ErrorBoxText_,
    ::testing::Values(ErrorTextCase{"Letter", "Stream read error", "Stream read error."},
                      ErrorTextCase{"FullStop", "Unable to write to x.", "Unable to write to x."},
                      ErrorTextCase{"Exclamation", "Connection Closed Gracefully!", "Connection Closed Gracefully!"},
                      ErrorTextCase{"Parenthesis", "(a)", "(a)"}, ErrorTextCase{"Empty", "", ""},
                      ErrorTextCase{"Slash", "path a/", "path a/."},
                      // A double-byte character at the end sorts after "." by its bytes.
                      ErrorTextCase{"DoubleByte", "\xB4\xED\xCE\xF3", "\xB4\xED\xCE\xF3."}),
    [](const auto& info) { return std::string(info.param.name); });

// The desktop's language settings, as the environment gives them (nullptr: not set).
struct LanguageCase {
  const char* name;
  const char* language;  // LANGUAGE
  const char* lcAll;
  const char* lcMessages;
  const char* lang;
  TLanguage chosen;
  const char* download;  // Button1's caption in the chosen language
};

class LanguageChoice : public ::testing::TestWithParam<LanguageCase> {
 protected:
  void SetUp() override {
    for (const char* name : kNames) saved_.emplace_back(std::getenv(name) ? std::getenv(name) : "", !!std::getenv(name));
  }
  void TearDown() override {
    for (size_t i = 0; i < saved_.size(); ++i) Set(kNames[i], saved_[i].second ? saved_[i].first.c_str() : nullptr);
    UseLanguage(lgChinese);
  }
  static void Set(const char* name, const char* value) {
    if (value) setenv(name, value, 1);
    else unsetenv(name);
  }
  static constexpr const char* kNames[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
  std::vector<std::pair<std::string, bool>> saved_;
};

TEST_P(LanguageChoice, ChineseUnderChineseAndCLocalesEnglishUnderAnyOther) {
  const LanguageCase& c = GetParam();
  const char* values[] = {c.language, c.lcAll, c.lcMessages, c.lang};
  for (size_t i = 0; i < 4; ++i) Set(kNames[i], values[i]);
  EXPECT_EQ(DesktopLanguage(), c.chosen);
  ASSERT_TRUE(UseLanguage(DesktopLanguage()));
  EXPECT_EQ(LanguageInUse(), c.chosen);
  EXPECT_EQ(Tavro::tr("下载"), QString::fromUtf8(c.download));
}

INSTANTIATE_TEST_SUITE_P(
    Cases, LanguageChoice,
    ::testing::Values(
        LanguageCase{"NothingSet", nullptr, nullptr, nullptr, nullptr, lgChinese, "下载"},
        LanguageCase{"C", nullptr, nullptr, nullptr, "C", lgChinese, "下载"},
        LanguageCase{"CUtf8", nullptr, "C.UTF-8", nullptr, "en_US.UTF-8", lgChinese, "下载"},
        LanguageCase{"Posix", nullptr, nullptr, "POSIX", "de_DE.UTF-8", lgChinese, "下载"},
        // As gettext does: under the C locale the language list is not read.
        LanguageCase{"CIgnoresTheLanguageList", "en:de", "C", nullptr, nullptr, lgChinese, "下载"},
        LanguageCase{"SimplifiedChinese", nullptr, nullptr, nullptr, "zh_CN.UTF-8", lgChinese, "下载"},
        LanguageCase{"TraditionalChinese", nullptr, nullptr, nullptr, "zh_TW.Big5", lgChinese, "下载"},
        LanguageCase{"English", nullptr, nullptr, nullptr, "en_US.UTF-8", lgEnglish, "Download"},
        LanguageCase{"GermanGetsEnglish", nullptr, nullptr, nullptr, "de_DE.UTF-8", lgEnglish, "Download"},
        LanguageCase{"LcAllBeforeLang", nullptr, "en_GB.UTF-8", nullptr, "zh_CN.UTF-8", lgEnglish, "Download"},
        LanguageCase{"LcMessagesBeforeLang", nullptr, nullptr, "zh_CN.UTF-8", "en_US.UTF-8", lgChinese, "下载"},
        LanguageCase{"LanguageListBeforeLocale", "zh_CN:en", nullptr, nullptr, "en_US.UTF-8", lgChinese, "下载"},
        LanguageCase{"LanguageListSkipsLanguagesNotShipped", "de:zh_CN", nullptr, nullptr, "de_DE.UTF-8", lgChinese,
                     "下载"},
        LanguageCase{"LanguageListOfOthersOnly", "fr:de", nullptr, nullptr, "fr_FR.UTF-8", lgEnglish, "Download"}),
    [](const auto& info) { return std::string(info.param.name); });

class ToolkitTest : public AppTest {};

TEST_F(ToolkitTest, ErrorEscapingAHandlerShowsOneStopBoxAndSkipsTheRest) {
  bool restRan = false;
  const bool ok = RunGuarded([&] {
    throw EFCreateError("Cannot create file \"/x/y\". Permission denied");
    restRan = true;
  });
  EXPECT_FALSE(ok);
  EXPECT_FALSE(restRan);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, "Cannot create file \"/x/y\". Permission denied.");
  EXPECT_EQ(Boxes()[0].Caption, "Tavro");
  EXPECT_EQ(Boxes()[0].Style, MB_ICONHAND | MB_OK);
  EXPECT_TRUE(RunGuarded([] {}));
  EXPECT_EQ(Boxes().size(), 1u);
}

TEST_F(ToolkitTest, ErrorBoxConvertsAnsiMessagesAndCatchesForeignErrors) {
  RunGuarded([] { throw Exception("\xCE\xC4\xBC\xFE"); });  // "文件" in code page 936
  RunGuarded([] { throw std::runtime_error("plain"); });
  RunGuarded([] { throw 42; });
  ASSERT_EQ(Boxes().size(), 3u);
  EXPECT_EQ(Boxes()[0].Text, QString::fromUtf8("文件."));
  EXPECT_EQ(Boxes()[1].Text, "plain.");
  EXPECT_FALSE(Boxes()[2].Text.isEmpty());
}

TEST_F(ToolkitTest, MessageBoxReturnsTheScriptedAnswerAndKeepsTheTextAsGiven) {
  AnswerBoxes(IDCANCEL);
  EXPECT_EQ(MessageBox(nullptr, "a\rb", "c", MB_OKCANCEL | MB_ICONEXCLAMATION), IDCANCEL);
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, "a\rb");
  EXPECT_EQ(Boxes()[0].Style, 0x31);
}

TEST_F(ToolkitTest, RuntimeDialogHookReachesTheSeamWithItsButtons) {
  AnswerBoxes(mrIgnore);
  EXPECT_EQ(HookMessageDlg("x", mtError, {mbAbort, mbRetry, mbIgnore}), mrIgnore);
  const auto dialogs = BoxesOfKind(TShownDialog::dkMessageDlg);
  ASSERT_EQ(dialogs.size(), 1u);
  EXPECT_EQ(dialogs[0].Buttons, (std::vector<TMsgDlgBtn>{mbAbort, mbRetry, mbIgnore}));

  TDialogSeam::InputValue = "secret";
  AnsiString value;
  AnswerBoxes(mrOk);
  EXPECT_TRUE(HookInputQuery("Password", "Enter", value));
  EXPECT_EQ(value, "secret");
  AnswerBoxes(mrCancel);
  EXPECT_FALSE(HookInputQuery("Password", "Enter", value));
}

TEST_F(ToolkitTest, ArchiverFailureDialogLabelsItsButtonsLikeThePlatformsBoxesInTheLanguageInUse) {
  TDialogSeam::Responder = nullptr;
  const std::pair<TLanguage, QStringList> cases[] = {
      {lgChinese, {QString::fromUtf8("中止"), QString::fromUtf8("重试"), QString::fromUtf8("忽略")}},
      {lgEnglish, {"Abort", "Retry", "Ignore"}}};
  for (const auto& [language, expected] : cases) {
    ASSERT_TRUE(UseLanguage(language));
    QStringList labels;
    QTimer::singleShot(0, [&] {
      auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
      if (!box) return;
      for (QAbstractButton* button : box->buttons()) labels << button->text();
      box->button(QMessageBox::Ignore)->click();
    });
    EXPECT_EQ(HookMessageDlg("x", mtError, {mbAbort, mbRetry, mbIgnore}), mrIgnore);
    EXPECT_EQ(QSet<QString>(labels.begin(), labels.end()), QSet<QString>(expected.begin(), expected.end()));
  }
}

TEST_F(ToolkitTest, OneKeyPressAnswersOneBox) {
  TDialogSeam::Responder = nullptr;
  // What reaches an open box of a press that went down before it opened: the repeats of a
  // held key and its release. Neither answers it; a press made in the box does.
  bool openAfterStaleKeys = false;
  QTimer::singleShot(0, [&] {
    QWidget* box = QApplication::activeModalWidget();
    if (!box) return;
    QWidget* target = box->focusWidget() ? box->focusWidget() : box;
    const auto send = [&](QEvent::Type type, int key, bool repeat) {
      QKeyEvent event(type, key, Qt::NoModifier, QString(), repeat);
      QCoreApplication::sendEvent(target, &event);
    };
    send(QEvent::KeyPress, Qt::Key_Return, true);
    send(QEvent::KeyPress, Qt::Key_Escape, true);
    send(QEvent::KeyRelease, Qt::Key_Space, false);
    openAfterStaleKeys = box->isVisible();
    send(QEvent::KeyPress, Qt::Key_Return, false);
  });
  EXPECT_EQ(MessageBox(nullptr, "a", "c", MB_OKCANCEL | MB_ICONEXCLAMATION), IDOK);
  EXPECT_TRUE(openAfterStaleKeys);
}

TEST_F(ToolkitTest, HandleMessageNeverWaitsAndReportsWhetherSomethingWasHandled) {
  ProcessEvents();
  QElapsedTimer clock;
  clock.start();
  while (Application->HandleMessage()) {
  }
  EXPECT_LT(clock.elapsed(), 1000);
  bool ran = false;
  QTimer::singleShot(0, [&] { ran = true; });
  for (int i = 0; i < 10 && !ran; ++i) Application->HandleMessage();
  EXPECT_TRUE(ran);
}

TEST_F(ToolkitTest, TimerDisabledInsideItsOwnTickTicksNoMore) {
  TTimer timer(nullptr, true, 10);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) {
    ++ticks;
    timer.SetEnabled(false);
  };
  QElapsedTimer clock;
  clock.start();
  while (clock.elapsed() < 200) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  EXPECT_EQ(ticks, 1);
}

TEST_F(ToolkitTest, EnablingAnEnabledTimerKeepsItsIntervalRunning) {
  TTimer timer(nullptr, true, 60);
  int ticks = 0;
  timer.OnTimer = [&](TObject*) { ++ticks; };
  QElapsedTimer clock;
  clock.start();
  // Enabling again every 20 ms must not restart the interval (else it never ticks).
  while (clock.elapsed() < 400) {
    timer.SetEnabled(true);
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  EXPECT_GE(ticks, 2);
}

TEST_F(ToolkitTest, TimerTickErrorIsShownAndTheTimerGoesOn) {
  TTimer timer(nullptr, false, 1000);
  timer.OnTimer = [](TObject*) { throw Exception("tick failed"); };
  timer.Tick();
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, "tick failed.");
}

}  // namespace
