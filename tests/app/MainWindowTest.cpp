// The main window: its design, FormCreate with catalogue and selection, model and
// version changes with their release notes, the package state, and FormClose.
#include <gtest/gtest.h>

#include <QApplication>
#include <QFontMetrics>
#include <QImage>
#include <QKeyEvent>
#include <QLabel>
#include <QStyleOptionButton>
#include <QTimer>
#include <algorithm>
#include <filesystem>
#include <map>

#include "AppTestSupport.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "support/MinisignTool.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/Translation.h"
#include "toolkit/WebBrowser.h"

namespace {

class MainWindowTest : public AppTest {
 protected:
  void ServeNotes(const std::string& body, const std::string& status = "200 OK") {
    server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply(body, status)).Close());
  }
  // The catalogue in place, the first release notes served, both windows created.
  void Open(const std::string& selection = "", const std::string& notes = "notes") {
    program_.Write("TavroMP3LiveUpdate.ini", kCatalogue);
    if (!selection.empty()) program_.Write("user.ini", selection);
    ServeNotes(notes);
    form1_ = MakeForm1("/player");
    form2_ = MakeForm2(*form1_);
  }
  QStringList Items(TComboBox* list) {
    QStringList items;
    for (int i = 0; i < list->count(); ++i) items << list->itemText(i);
    return items;
  }
  std::string NotesPath(const std::string& name) { return program_.Path() + "FirmwareBack\\" + name + ".htm"; }
  bool Shown(QWidget* control) { return control->isVisibleTo(form2_.get()); }

  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
};

struct ControlDesign {
  const char* name;
  QRect rect;
  bool shown;
};

class MainWindowDesign : public MainWindowTest, public ::testing::WithParamInterface<ControlDesign> {};

TEST_P(MainWindowDesign, ControlSitsWhereDesignedAndIsShownOnlyWhenDesigned) {
  Open();
  auto* control = form2_->findChild<QWidget*>(GetParam().name);
  ASSERT_NE(control, nullptr) << GetParam().name;
  if (GetParam().rect.width() > 0)
    EXPECT_EQ(control->geometry(), GetParam().rect);
  else
    EXPECT_EQ(control->pos(), GetParam().rect.topLeft());
  EXPECT_EQ(Shown(control), GetParam().shown);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, MainWindowDesign,
    ::testing::Values(ControlDesign{"Memo1", {242, 384, 449, 65}, true}, ControlDesign{"Panel1", {-1, 0, 700, 35}, true},
                      ControlDesign{"Label13", {40, 13, 138, 13}, true}, ControlDesign{"Label2", {276, 13, 65, 13}, true}, ControlDesign{"ComboBox1", {312, 8, 100, 21}, true},
                      ControlDesign{"ComboBox2", {496, 8, 100, 21}, true}, ControlDesign{"Button1", {608, 5, 75, 25}, true},
                      ControlDesign{"Button3", {608, 5, 75, 25}, false},
                      ControlDesign{"WebBrowser1", {3, 41, 230, 409}, true},
                      ControlDesign{"WebBrowser2", {240, 41, 449, 336}, true},
                      ControlDesign{"Panel2", {240, 384, 449, 65}, false}, ControlDesign{"Panel3", {240, 384, 449, 65}, false},
                      ControlDesign{"ProgressBar1", {65, 14, 345, 16}, false}, ControlDesign{"Label10", {391, 40, 0, 0}, false},
                      ControlDesign{"Button2", {370, 8, 75, 49}, false}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, WindowIsFixedWithMinimiseOnlyAndTheBuildCaption) {
  Open();
  EXPECT_EQ(form2_->size(), QSize(692, 453));
  EXPECT_EQ(form2_->minimumSize(), form2_->maximumSize());
  EXPECT_TRUE(form2_->windowFlags() & Qt::WindowMinimizeButtonHint);
  EXPECT_FALSE(form2_->windowFlags() & Qt::WindowMaximizeButtonHint);
  EXPECT_EQ(form2_->windowTitle(), "Tavro MP3 LiveUpdate 2005 Build 10.19");
  EXPECT_EQ(form2_->Memo1->toPlainText().split('\n').size(), 5);
  EXPECT_FALSE(form2_->Memo1->isEnabled());
}

// Pixels darker than the light grey the texts stand on.
int InkPixels(QWidget* control) {
  const QImage image = control->grab().toImage();
  int ink = 0;
  for (int y = 0; y < image.height(); ++y)
    for (int x = 0; x < image.width(); ++x) ink += qGray(image.pixel(x, y)) < 200;
  return ink;
}

// The right edge of that ink, in the parent's coordinates.
int InkRight(QWidget* control) {
  const QImage image = control->grab().toImage();
  for (int x = image.width() - 1; x >= 0; --x)
    for (int y = 0; y < image.height(); ++y)
      if (qGray(image.pixel(x, y)) < 200) return control->x() + x;
  return control->x() - 1;
}

// Whether the button's caption fits between its bevel's edges.
bool CaptionFits(QPushButton* button) {
  QStyleOptionButton option;
  option.initFrom(button);
  option.text = button->text();
  const QRect room = button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button);
  return button->fontMetrics().horizontalAdvance(button->text()) <= room.width();
}

// A text box of the design, and the control its text must end before (if any).
struct TextBox {
  const char* name;
  const char* before;
};

class FixedBoxes : public MainWindowTest, public ::testing::WithParamInterface<TLanguage> {
 protected:
  // Every named control's rectangle.
  std::map<QString, QRect> Layout() {
    std::map<QString, QRect> layout;
    for (QWidget* control : form2_->findChildren<QWidget*>())
      if (!control->objectName().isEmpty()) layout[control->objectName()] = control->geometry();
    return layout;
  }
  // Nothing more to see when a box is given room to the right and below, and its ink ends
  // before the next control.
  void ExpectWholeText(QWidget* window, const TextBox& box, int wider) {
    auto* control = window->findChild<QWidget*>(box.name);
    ASSERT_NE(control, nullptr) << box.name;
    const int ink = InkPixels(control);
    EXPECT_GT(ink, 20) << box.name;
    const QRect designed = control->geometry();
    control->resize(control->width() + wider, control->height() + 40);
    EXPECT_EQ(InkPixels(control), ink) << box.name;
    control->setGeometry(designed);
    if (box.before) {
      EXPECT_LT(InkRight(control), window->findChild<QWidget*>(box.before)->x()) << box.name;
    }
  }
};

TEST_P(FixedBoxes, ShowTheirWholeTextAndKeepTheDesignedLayout) {
  Open();
  const std::map<QString, QRect> designed = Layout();
  ASSERT_TRUE(UseLanguage(GetParam()));
  form2_.reset();
  form1_.reset();
  Open();
  // Labels that size themselves follow their text; nothing else moves or changes size.
  EXPECT_EQ(form2_->size(), QSize(692, 453));
  for (const auto& [name, rect] : Layout()) {
    if (qobject_cast<QLabel*>(form2_->findChild<QWidget*>(name)))
      EXPECT_EQ(rect.topLeft(), designed.at(name).topLeft()) << name.toStdString();
    else
      EXPECT_EQ(rect, designed.at(name)) << name.toStdString();
  }
  // English is set in a proportional face, as the lists and boxes beside it are; the Chinese
  // layout in the mono face it was measured with.
  const QFontMetrics metrics(form2_->Label13->font());
  EXPECT_EQ(metrics.horizontalAdvance("i") == metrics.horizontalAdvance("W"), GetParam() == lgChinese);
  ExpectWholeText(form1_.get(), {"Label2", nullptr}, 200);
  // A memo given more width would only wrap less: it is given room below.
  ExpectWholeText(form2_.get(), {"Memo1", nullptr}, 0);
  EXPECT_TRUE(CaptionFits(form2_->Button1)) << form2_->Button1->text().toStdString();
  program_.Write("FirmwareBack/ModelB_2.00.zip", "PK");
  form2_->ShowHidP3(form2_.get());
  for (const TextBox& box : std::initializer_list<TextBox>{{"Label13", "Label2"},
                                                           {"Label2", "ComboBox1"},
                                                           {"Label3", "ComboBox2"},
                                                           {"Label6", "ProgressBar1"},
                                                           {"Label7", "Label1"},
                                                           {"Label8", "Label5"},
                                                           {"Label9", "Label10"},
                                                           {"Label11", "Button2"},
                                                           {"Label12", "Button2"}})
    ExpectWholeText(form2_.get(), box, 200);
  for (QPushButton* button : {form2_->Button1, form2_->Button2, form2_->Button3})
    EXPECT_TRUE(CaptionFits(button)) << button->text().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Languages, FixedBoxes, ::testing::Values(lgChinese, lgEnglish),
                         [](const auto& info) { return info.param == lgChinese ? "Chinese" : "English"; });

TEST_F(MainWindowTest, FirstRunSelectsTheFirstModelAndVersionAndFetchesTheirNotes) {
  // What a crash left of a download goes at the next start; packages and signatures stay.
  program_.Write("FirmwareBack/ModelB_1.50.zip.partQ3xZ9k", "half");
  program_.Write("FirmwareBack/ModelB_1.50.zip", "PK");
  program_.Write("FirmwareBack/ModelB_1.50.zip.minisig", "signature");
  Open("", "<html>first</html>");
  EXPECT_FALSE(program_.Exists("FirmwareBack/ModelB_1.50.zip.partQ3xZ9k"));
  EXPECT_EQ(program_.Read("FirmwareBack/ModelB_1.50.zip"), "PK");
  EXPECT_EQ(program_.Read("FirmwareBack/ModelB_1.50.zip.minisig"), "signature");
  EXPECT_EQ(Items(form2_->ComboBox1), QStringList({"ModelB", "ModelA", "Model C"}));
  EXPECT_EQ(Items(form2_->ComboBox2), QStringList({"2.00", "1.50"}));
  EXPECT_EQ(form2_->ComboBox1->ItemIndex(), 0);
  EXPECT_EQ(form2_->ComboBox2->ItemIndex(), 0);
  EXPECT_TRUE(std::filesystem::is_directory(program_.Path() + "FirmwareBack"));
  EXPECT_EQ(program_.Read("FirmwareBack/ModelB_2.00.htm"), "<html>first</html>");
  EXPECT_EQ(server_.Request(0, 0).substr(0, 65), "GET /TavroMP3LiveUpdate2/Firmware/ModelB/ModelB_2.00.asp HTTP/1.1");
  EXPECT_EQ(form2_->WebBrowser1->Navigations(),
            std::vector<AnsiString>{"http://" + form1_->Settings().Host + "/TavroMP3LiveUpdate2"});
  EXPECT_EQ(form2_->WebBrowser2->Navigations(), std::vector<AnsiString>{NotesPath("ModelB_2.00")});
  EXPECT_EQ(form2_->Button1->Caption(), QString::fromUtf8("下载"));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowTest, StoredNotesThatFailTheirSignatureCheckAreNotShown) {
  if (!HaveMinisign()) GTEST_SKIP() << "minisign is not installed";
  TempDir keys;
  trustedKeys_.AddText(MakeMinisignPair(keys / "maker").PublicText(), "maker.pub");
  program_.Write("FirmwareBack/ModelB_2.00.htm", "<html>changed</html>");  // stored without its signature
  Open("", "not a signature");
  EXPECT_TRUE(form2_->WebBrowser2->Navigations().empty());
  EXPECT_EQ(form2_->WebBrowser2->findChild<QLabel*>()->text(), Tavro::tr("此版本的更新说明无法显示。"));
}

struct SelectionCase {
  const char* name;
  const char* selection;
  int model;
  int version;
  const char* package;
};

class RestoredSelection : public MainWindowTest, public ::testing::WithParamInterface<SelectionCase> {};

TEST_P(RestoredSelection, RestoresStoredIndexesAndLeavesOutOfRangeOnesUnselected) {
  Open(GetParam().selection);
  EXPECT_EQ(form2_->ComboBox1->ItemIndex(), GetParam().model);
  EXPECT_EQ(form2_->ComboBox2->ItemIndex(), GetParam().version);
  EXPECT_EQ(form2_->WebBrowser2->Navigations(), std::vector<AnsiString>{NotesPath(GetParam().package)});
}

INSTANTIATE_TEST_SUITE_P(
    Cases, RestoredSelection,
    ::testing::Values(SelectionCase{"SecondModelThirdVersion", "[Main02]\r\nComboBox1=1\r\nComboBox2=2\r\n", 1, 2,
                                    "ModelA_1.00"},
                      SelectionCase{"HexIndex", "[Main02]\r\nComboBox1=0x2\r\nComboBox2=$0\r\n", 2, 0, "Model C_3.0"},
                      SelectionCase{"ModelOutOfRange", "[Main02]\r\nComboBox1=3\r\nComboBox2=0\r\n", -1, -1, "_"},
                      SelectionCase{"VersionOutOfRange", "[Main02]\r\nComboBox1=1\r\nComboBox2=3\r\n", 1, -1, "ModelA_"},
                      SelectionCase{"NothingSelected", "[Main02]\r\nComboBox1=-1\r\nComboBox2=-1\r\n", -1, -1, "_"},
                      SelectionCase{"NotANumber", "[Main02]\r\nComboBox1=x\r\n", 0, 0, "ModelB_2.00"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, WithoutCatalogueBothListsStayEmptyAndThePackageIsUnderscore) {
  ServeNotes("x", "404 Not Found");
  form1_ = MakeForm1();
  form2_ = MakeForm2(*form1_);
  EXPECT_EQ(form2_->ComboBox1->count(), 0);
  EXPECT_EQ(form2_->ComboBox2->count(), 0);
  EXPECT_EQ(form2_->WebBrowser2->Navigations(), std::vector<AnsiString>{NotesPath("_")});
  EXPECT_FALSE(program_.Exists("FirmwareBack/_.htm"));
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowTest, PickingAModelSelectsItsFirstVersionAndFetchesThenShowsItsNotes) {
  Open();
  program_.Write("FirmwareBack/ModelA_1.20.zip", "PK");
  ServeNotes("notes of A");
  form2_->ComboBox1->setCurrentIndex(1);
  emit form2_->ComboBox1->activated(1);
  EXPECT_EQ(Items(form2_->ComboBox2), QStringList({"1.20", "1.10", "1.00"}));
  EXPECT_EQ(form2_->ComboBox2->ItemIndex(), 0);
  EXPECT_EQ(program_.Read("FirmwareBack/ModelA_1.20.htm"), "notes of A");
  EXPECT_EQ(form2_->WebBrowser2->Navigations().back(), NotesPath("ModelA_1.20"));
  EXPECT_TRUE(Shown(form2_->Panel3));
  EXPECT_TRUE(form2_->ComboBox1->isEnabled());
}

TEST_F(MainWindowTest, StoredNotesAreShownAtOnceAndAKeyPressedDuringTheRefreshReachesTheListAndWins) {
  Open();
  program_.Write("FirmwareBack/ModelA_1.20.htm", "old");
  // The server waits long enough for the freeze guard to pump the second key; that fetch
  // is then superseded, and the next connection serves the newest selection's notes.
  server_.AddConnection(ConnectionScript().ExpectRequest().Pause(600).Send(HttpReply("new")).Close());
  ServeNotes("c notes");
  ShowActive(form2_.get(), form2_->ComboBox1);
  QKeyEvent down(QEvent::KeyPress, Qt::Key_Down, Qt::NoModifier);
  size_t navigationsDuringFetch = 0;
  bool listsEnabledDuringFetch = false;
  QWidget* focusDuringFetch = nullptr;
  QTimer::singleShot(100, [&] {
    navigationsDuringFetch = form2_->WebBrowser2->Navigations().size();
    listsEnabledDuringFetch = form2_->ComboBox1->isEnabled() && form2_->ComboBox2->isEnabled();
    focusDuringFetch = QApplication::focusWidget();
    QApplication::sendEvent(form2_->ComboBox1, &down);
  });
  QApplication::sendEvent(form2_->ComboBox1, &down);
  EXPECT_EQ(navigationsDuringFetch, 2u);
  EXPECT_TRUE(listsEnabledDuringFetch);
  EXPECT_EQ(focusDuringFetch, form2_->ComboBox1);
  EXPECT_EQ(QApplication::focusWidget(), form2_->ComboBox1);
  EXPECT_EQ(form2_->ComboBox1->ItemIndex(), 2);
  EXPECT_EQ(form2_->WebBrowser2->Navigations(),
            (std::vector<AnsiString>{NotesPath("ModelB_2.00"), NotesPath("ModelA_1.20"), NotesPath("Model C_3.0")}));
  EXPECT_EQ(program_.Read("FirmwareBack/ModelA_1.20.htm"), "old");  // the superseded fetch wrote nothing
  EXPECT_EQ(program_.Read("FirmwareBack/Model C_3.0.htm"), "c notes");
  EXPECT_TRUE(Boxes().empty());
}

TEST_F(MainWindowTest, DownloadClickedDuringANotesFetchWaitsForItSoItsBoxNeverOpensInsideTheWait) {
  Open();
  server_.AddConnection(ConnectionScript().ExpectRequest().Pause(300).Send(HttpReply("new")).Close());
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("gone", "404 Not Found")).Close());
  std::string notesWhenBoxShown = "no box";
  TDialogSeam::Responder = [&](const TShownDialog&) {
    notesWhenBoxShown = program_.Read("FirmwareBack/ModelB_1.50.htm");
    return IDOK;
  };
  QTimer::singleShot(100, [&] { form2_->Button1->click(); });
  form2_->ComboBox2->setCurrentIndex(1);
  emit form2_->ComboBox2->activated(1);
  ProcessEvents();
  EXPECT_EQ(notesWhenBoxShown, "new");
}

TEST_F(MainWindowTest, FailedNotesFetchKeepsTheStoredCopyReportsNothingAndFreesTheLists) {
  Open();
  program_.Write("FirmwareBack/ModelB_1.50.htm", "old");
  ServeNotes("<html>error page</html>", "500 Internal Server Error");
  form2_->ComboBox2->setCurrentIndex(1);
  emit form2_->ComboBox2->activated(1);
  EXPECT_EQ(program_.Read("FirmwareBack/ModelB_1.50.htm"), "old");
  EXPECT_EQ(form2_->WebBrowser2->Navigations().back(), NotesPath("ModelB_1.50"));
  EXPECT_TRUE(Boxes().empty());
  EXPECT_TRUE(form2_->ComboBox1->isEnabled());
}

TEST_F(MainWindowTest, PackageStateFollowsThePackageFile) {
  Open();
  program_.Write("FirmwareBack/ModelB_2.00.zip", "PK");
  form2_->ShowHidP3(form2_.get());
  EXPECT_TRUE(Shown(form2_->Panel3));
  EXPECT_EQ(form2_->Button1->Caption(), QString::fromUtf8("重新下载"));
  EXPECT_EQ(form2_->Label11->Caption(), QString::fromUtf8("ModelB 的 2.00 固件包已经准备好！"));
  std::filesystem::remove(program_.Path() + "FirmwareBack/ModelB_2.00.zip");
  form2_->ShowHidP3(form2_.get());
  EXPECT_FALSE(Shown(form2_->Panel3));
  EXPECT_EQ(form2_->Button1->Caption(), QString::fromUtf8("下载"));
}

TEST_F(MainWindowTest, ModelNameWithAFolderSeparatorNeverReachesOutsideTheStore) {
  program_.Write("TavroMP3LiveUpdate.ini", "[../evil]\r\n1=\r\n");
  program_.Write("evil_1.htm", "outside");
  ServeNotes("<html>planted</html>");
  form1_ = MakeForm1();
  EXPECT_NO_THROW(form2_ = MakeForm2(*form1_));
  EXPECT_EQ(program_.Read("evil_1.htm"), "outside");
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_TRUE(Boxes()[0].Text.startsWith("Cannot create file"));
  EXPECT_TRUE(form2_->ComboBox1->isEnabled());  // re-enabled although the fetch step raised
}

struct CloseCase {
  const char* name;
  int model;
  int version;
  const char* saved;  // nullptr: the selection file stays untouched
};

class ClosingTheWindow : public MainWindowTest, public ::testing::WithParamInterface<CloseCase> {};

TEST_P(ClosingTheWindow, SavesTheIndexesOnlyWhenAModelIsSelected) {
  Open();
  std::filesystem::remove(program_.Path() + "user.ini");
  form2_->ComboBox1->SetItemIndex(GetParam().model);
  form2_->ComboBox2->SetItemIndex(GetParam().version);
  EXPECT_TRUE(form2_->close());
  if (GetParam().saved)
    EXPECT_EQ(program_.Read("user.ini"), GetParam().saved);
  else
    EXPECT_FALSE(program_.Exists("user.ini"));
}

INSTANTIATE_TEST_SUITE_P(Cases, ClosingTheWindow,
                         ::testing::Values(CloseCase{"ModelAndVersion", 2, 0, "[Main02]\r\nComboBox1=2\r\nComboBox2=0\r\n"},
                                           CloseCase{"ModelWithoutVersion", 1, -1,
                                                     "[Main02]\r\nComboBox1=1\r\nComboBox2=-1\r\n"},
                                           CloseCase{"NoModel", -1, 0, nullptr}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, UnwritableSelectionFileIsReportedAndTheWindowClosesAllTheSame) {
  Open();
  std::filesystem::create_directory(program_.Path() + "user.ini");
  form2_->show();
  EXPECT_TRUE(form2_->close());
  EXPECT_FALSE(form2_->isVisible());
  ASSERT_EQ(Boxes().size(), 1u);
  EXPECT_EQ(Boxes()[0].Text, QString::fromStdString("Unable to write to " + program_.Path() + "user.ini."));
  EXPECT_EQ(Boxes()[0].Caption, "Tavro");
}

TEST_F(MainWindowTest, CloseDuringANotesFetchCancelsItAndClosesOnceTheHandlerReturns) {
  Open();
  form2_->show();
  server_.AddConnection(ConnectionScript().ExpectRequest().Pause(600).Send(HttpReply("new")).Close());
  bool openWhileFetching = false;
  QTimer::singleShot(100, [&] {
    form2_->close();
    openWhileFetching = form2_->isVisible();
  });
  form2_->ComboBox2->setCurrentIndex(1);
  emit form2_->ComboBox2->activated(1);
  EXPECT_TRUE(openWhileFetching);
  EXPECT_FALSE(program_.Exists("FirmwareBack/ModelB_1.50.htm"));
  ProcessEvents();
  EXPECT_FALSE(form2_->isVisible());
  EXPECT_EQ(program_.Read("user.ini"), "[Main02]\r\nComboBox1=0\r\nComboBox2=1\r\n");
}

TEST_F(MainWindowTest, ClosingTheMainWindowEndsTheApplication) {
  Open();
  Application->CreateForm(form2_.get());
  form2_->show();
  EXPECT_TRUE(form2_->close());
  EXPECT_TRUE(Application->Terminated());
}

}  // namespace
