#include "app/Main02.h"

#include <QPointer>
#include <QTimer>
#include <utility>

#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "app/Main01.h"
#include "http/NetHTTP.h"
#include "job/HandOff.h"
#include "job/PackageDownload.h"
#include "job/Signatures.h"
#include "job/Store.h"
#include "net/NetFreezeGuard.h"
#include "platform/Log.h"
#include "runtime/FileUtils.h"
#include "runtime/IniFile.h"
#include "runtime/ReplacementFile.h"
#include "toolkit/Accessibility.h"
#include "toolkit/Controls.h"
#include "app/Notice.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Fonts.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Timer.h"
#include "toolkit/Translation.h"
#include "toolkit/WebBrowser.h"
#include "zip/ZipArchiver.h"

namespace {
const QColor kDarkGrey(49, 49, 49);

TLabel* DesignLabel(QWidget* parent, const char* name, int left, int top, int width, int height,
                    const QString& caption, bool autoSize = true) {
  auto* label = new TLabel(parent, name, left, top, width, height, caption, autoSize);
  label->setFont(DesignFont("宋体", 12));
  return label;
}

TButton* DesignButton(QWidget* parent, const char* name, int left, int top, int width, int height,
                      const QString& caption) {
  auto* button = new TButton(parent, name, left, top, width, height, caption);
  button->setFont(DesignFont("宋体", 12));
  return button;
}
}  // namespace

// Counts the window's handlers that are running; a close asked for meanwhile (from a
// message pump inside one of them) is carried out once the last of them has returned,
// and so is a button's work held back meanwhile (see RunButtonWork).
class TForm2::THandlerScope {
 public:
  explicit THandlerScope(TForm2& form) : form_(form) { ++form_.handlerDepth_; }
  ~THandlerScope() {
    if (--form_.handlerDepth_ != 0) return;
    if (form_.closeRequested_) {
      form_.heldWork_ = nullptr;
      QTimer::singleShot(0, &form_, [form = &form_] { form->close(); });
    } else if (form_.heldWork_) {
      QTimer::singleShot(0, &form_, [form = &form_, work = std::exchange(form_.heldWork_, nullptr)] {
        form->RunButtonWork(work);
      });
    }
  }

 private:
  TForm2& form_;
};

TForm2::TForm2(TForm1& form1)
    : TForm(nullptr, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                         Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint),
      form1_(form1) {
  setObjectName("Form2");
  SetCaption("Tavro MP3 LiveUpdate");
  setFixedSize(692, 453);
  setFont(DesignFont("MS Sans Serif", 11));
  SetControlColors(this, TColors::clWindowText, TColors::clBtnFace);
  CreateControls();
  CreateComponents();
  BindHandlers();
  CenterOnScreen();
  RunGuarded([this] {
    THandlerScope scope(*this);
    FormCreate(this);
  });
}

TForm2::~TForm2() = default;

void TForm2::CreateControls() {
  // Created bottom to top: Memo1, Panel1, the web views, then the two lower panels.
  Memo1 = new TMemo(this, "Memo1", 242, 384, 449, 65,
                    {Tavro::tr("本工具适用于TAVRO MP3播放器。"),
                     Tavro::tr("它能够帮助你完成从Internet下载固件包到本地，更新MP3播放器固件的工作。"), QString(),
                     Tavro::tr("更新MP3固件可以提高MP3的操作性能和扩展功能，也可在MP3播放器出现软件故障时"),
                     Tavro::tr("使用此工具更新MP3固件来修复MP3。")});
  Memo1->setFont(DesignFont("宋体", 12));
  Memo1->setEnabled(false);
  SetControlColors(Memo1, TColors::clGray, TColors::cl3DLight);
  QPalette memoPalette = Memo1->palette();
  memoPalette.setColor(QPalette::Disabled, QPalette::Text, TColors::clGray);
  memoPalette.setColor(QPalette::Disabled, QPalette::Base, TColors::cl3DLight);
  Memo1->setPalette(memoPalette);

  Panel1 = new TPanel(this, "Panel1", -1, 0, 700, 35);
  Label13 = DesignLabel(Panel1, "Label13", 40, 13, 138, 12, Tavro::tr("请选择MP3号型和固件版本"));
  SetControlColors(Label13, TColors::clGray);
  Label2 = DesignLabel(Panel1, "Label2", 276, 13, 65, 13, Tavro::tr("机型"), false);
  ComboBox1 = new TComboBox(Panel1, "ComboBox1", 312, 8, 100, 21);
  Label3 = DesignLabel(Panel1, "Label3", 460, 13, 65, 13, Tavro::tr("固件"), false);
  ComboBox2 = new TComboBox(Panel1, "ComboBox2", 496, 8, 100, 21);
  Button1 = DesignButton(Panel1, "Button1", 608, 5, 75, 25, Tavro::tr("下载"));
  Button3 = DesignButton(Panel1, "Button3", 608, 5, 75, 25, Tavro::tr("取消下载"));
  for (TComboBox* list : {ComboBox1, ComboBox2}) list->setFont(DesignFont("MS Sans Serif", 11));
  LabelControl(Panel1, Label13);
  LabelControl(ComboBox1, Label2);
  LabelControl(ComboBox2, Label3);

  WebBrowser1 = new TWebBrowser(this);
  PlaceControl(WebBrowser1, "WebBrowser1", 3, 41, 230, 409);
  WebBrowser2 = new TWebBrowser(this);
  PlaceControl(WebBrowser2, "WebBrowser2", 240, 41, 449, 336);

  CreateLowerPanels();

  setTabOrder(ComboBox1, ComboBox2);
  setTabOrder(ComboBox2, Button1);
  setTabOrder(Button1, Button3);
  setTabOrder(Button3, WebBrowser1);
  setTabOrder(WebBrowser1, WebBrowser2);
  setTabOrder(WebBrowser2, ProgressBar1);
  setTabOrder(ProgressBar1, Button2);
}

// The progress panel and the package-ready panel, which share the place under the notes.
void TForm2::CreateLowerPanels() {
  Panel2 = new TPanel(this, "Panel2", 240, 384, 449, 65);
  Panel2->hide();
  Label6 = DesignLabel(Panel2, "Label6", 17, 15, 42, 12, Tavro::tr("下载中:"));
  ProgressBar1 = new TProgressBar(Panel2, "ProgressBar1", 65, 14, 345, 16);
  Label4 = DesignLabel(Panel2, "Label4", 419, 15, 0, 12, "");
  Label7 = DesignLabel(Panel2, "Label7", 16, 40, 54, 12, Tavro::tr("固件大小:"));
  Label1 = DesignLabel(Panel2, "Label1", 72, 40, 0, 12, "");
  Label8 = DesignLabel(Panel2, "Label8", 181, 40, 42, 12, Tavro::tr("已下载:"));
  Label5 = DesignLabel(Panel2, "Label5", 229, 40, 0, 12, "");
  Label9 = DesignLabel(Panel2, "Label9", 335, 40, 54, 12, Tavro::tr("平均速度:"));
  Label10 = DesignLabel(Panel2, "Label10", 391, 40, 0, 12, "");

  Panel3 = new TPanel(this, "Panel3", 240, 384, 449, 65);
  Panel3->setFont(DesignFont("宋体", 12));
  SetControlColors(Panel3, TColors::clGray);
  Panel3->hide();
  Label11 = DesignLabel(Panel3, "Label11", 8, 14, 48, 12, Tavro::tr("固件信息"));
  SetControlColors(Label11, kDarkGrey, TColors::clBtnFace);
  Label12 =
      DesignLabel(Panel3, "Label12", 8, 38, 270, 12, Tavro::tr("单击[固件升级]按钮，开始更新MP3播放器中的固件"));
  SetControlColors(Label12, kDarkGrey);
  Button2 = DesignButton(Panel3, "Button2", 370, 8, 75, 49, Tavro::tr("固件升级"));
  SetControlColors(Button2, TColors::clWindowText);  // not the panel's grey
  LabelControl(Panel2, Label6);
  LabelControl(ProgressBar1, Label6);
  LabelControl(Panel3, Label11);
}

void TForm2::CreateComponents() {
  NetHTTP1 = std::make_unique<TNetHTTP>(nullptr);
  NetHTTP1->SetName("NetHTTP1");
  ConfigureHttpClient(*NetHTTP1);
  // Packages are read in 256 KiB receives, not the transport's 32 KiB: a quarter of the
  // system calls per byte, and still a pump and a progress step every few milliseconds.
  NetHTTP1->SetRecvBufferSize(256 << 10);
  NetFreezeGuard1 = std::make_unique<TNetFreezeGuard>(nullptr);
  NetFreezeGuard1->SetName("NetFreezeGuard1");
  Timer1 = std::make_unique<TTimer>(nullptr, false, 1000);
  Timer1->SetName("Timer1");
  Archiver = std::make_unique<TZipArchiver>(nullptr);
  Archiver->SetName("Archiver");
  ConfigureArchiver(*Archiver);
  Download = std::make_unique<TPackageDownload>(form1_.Settings(), *NetHTTP1, static_cast<TJobReport&>(*this));
  HandOff = std::make_unique<THandOff>(form1_.Settings(), *Archiver, static_cast<TJobReport&>(*this));
}

void TForm2::BindHandlers() {
  BindHandler(ComboBox1, &QComboBox::activated, [this] {
    THandlerScope scope(*this);
    ComboBox1Change(this);
  });
  BindHandler(ComboBox2, &QComboBox::activated, [this] {
    THandlerScope scope(*this);
    ComboBox2Change(this);
  });
  BindHandler(Button1, &QPushButton::clicked, [this] { RunButtonWork([this] { Button1Click(this); }); });
  BindHandler(Button3, &QPushButton::clicked, [this] { Button3Click(this); });
  BindHandler(Button2, &QPushButton::clicked, [this] { RunButtonWork([this] { Button2Click(this); }); });
  NetHTTP1->OnWorkBegin = [this](TObject* sender, TWorkMode mode, int32_t max) {
    NetHTTP1WorkBegin(sender, mode, max);
  };
  NetHTTP1->OnWork = [this](TObject* sender, TWorkMode mode, int32_t count) { NetHTTP1Work(sender, mode, count); };
  NetHTTP1->OnWorkEnd = [this](TObject* sender, TWorkMode mode) { NetHTTP1WorkEnd(sender, mode); };
  Timer1->OnTimer = [this](TObject* sender) { Timer1Timer(sender); };
}

void TForm2::RunButtonWork(const std::function<void()>& work) {
  if (handingOff_) {
    // Neither run nor held: held, it would start a second hand-off (or a download over the
    // package being unpacked) as soon as this one ends.
    LogStep("button press ignored: the firmware hand-off is in progress");
    return;
  }
  if (handlerDepth_ > 0) {
    // Delivered by a message pump inside a running handler (a release-notes fetch): the
    // work, and the boxes it may show, wait until that handler has returned, so that no
    // box is ever opened from inside a network wait.
    heldWork_ = work;
    return;
  }
  THandlerScope scope(*this);
  work();
}

AnsiString TForm2::Model() const { return ComboBox1->AnsiText(); }
AnsiString TForm2::Version() const { return ComboBox2->AnsiText(); }
AnsiString TForm2::Package() const { return Catalogue::PackageName(Model(), Version()); }

AnsiString TForm2::StorePath(const char* ext) const {
  return Catalogue::StorePath(form1_.Settings().ProgramFolder, Package(), ext);
}

QWidget* TForm2::FocusedList() const {
  for (QWidget* list : {static_cast<QWidget*>(ComboBox1), static_cast<QWidget*>(ComboBox2)})
    if (list->hasFocus()) return list;
  return nullptr;
}

void TForm2::SwapButtons(QWidget* hidden, QWidget* shown) {
  const bool focused = hidden->hasFocus();
  hidden->hide();
  shown->show();
  // The focus goes with the place: hidden, the button would pass it on to the next control.
  if (focused) shown->setFocus(Qt::OtherFocusReason);
}

void TForm2::SetListsEnabled(bool enabled) {
  ComboBox1->setEnabled(enabled);
  ComboBox2->setEnabled(enabled);
}

void TForm2::FormCreate(TObject*) {
  const TAppSettings& settings = form1_.Settings();
  PrepareStore(settings.ProgramFolder);
  Button3->hide();
  SelectionIni = std::make_unique<TIniFile>(settings.ProgramFolder + Catalogue::kSelectionFileName);
  ComboBox1->Clear();
  ComboBox2->Clear();
  SetCaption(Utf8("Tavro MP3 LiveUpdate 2005 Build ") + AnsiToQString(ReadBuildVersion()));
  WebBrowser1->Navigate(Catalogue::HomePageUrl(settings.Host));
  CatalogueIni = std::make_unique<TIniFile>(settings.ProgramFolder + Catalogue::kCatalogueFileName);
  const std::vector<AnsiString> models = Catalogue::ReadModels(*CatalogueIni);
  LogStep("catalogue: " + IntToStr(static_cast<int64_t>(models.size())) + " models in " +
          LogPath(CatalogueIni->FileName()));
  ComboBox1->SetAnsiItems(models);
  ComboBox1->SetItemIndex(Catalogue::ReadSelection(*SelectionIni, "ComboBox1"));
  FillVersions();
  ComboBox2->SetItemIndex(Catalogue::ReadSelection(*SelectionIni, "ComboBox2"));
  const AnsiString notes = StorePath(".htm");
  FetchReleaseNotes(Catalogue::ReleaseNotesUrl(settings.Host, Model(), Package()), notes);
  if (notesSuperseded_) {
    DownShowHTML();
  } else {
    ShowNotes(notes);
  }
  ShowHidP3(this);
}

void TForm2::FillVersions() {
  ComboBox2->SetAnsiItems(ComboBox1->ItemIndex() < 0 ? std::vector<AnsiString>()
                                                     : Catalogue::ReadVersions(*CatalogueIni, Model()));
}

void TForm2::ComboBox1Change(TObject*) {
  FillVersions();
  ComboBox2->SetItemIndex(0);
  ShowHidP3(this);
  DownShowHTML();
}

void TForm2::ComboBox2Change(TObject*) {
  ShowHidP3(this);
  DownShowHTML();
}

bool TForm2::FetchReleaseNotes(const AnsiString& url, const AnsiString& path) {
  // The fetch pumps messages while it waits. The lists stay enabled and keep the focus,
  // so that every arrow key reaches them; a change that arrives meanwhile supersedes
  // this fetch (see DownShowHTML).
  struct TFetching {
    TForm2& form;
    ~TFetching() { form.fetchingNotes_ = false; }
  } fetching{*this};
  LogStep("selection: model \"" + Model() + "\", version \"" + Version() + "\"");
  Catalogue::CheckStoreName(path, Package());
  fetchingNotes_ = true;
  return form1_.DownloadToFile(url, path);
}

void TForm2::DownShowHTML() {
  if (fetchingNotes_) {
    // Delivered by the pump of a release-notes fetch: those notes are no longer wanted.
    // That fetch ends as failed (nothing written), and the handler running it fetches the
    // notes of the newest selection once it has returned: one fetch at a time on the one
    // client, and the last choice wins.
    notesSuperseded_ = true;
    form1_.NetHTTP1->CloseConnection();
    return;
  }
  do {
    notesSuperseded_ = false;
    const AnsiString notes = StorePath(".htm");
    const AnsiString url = Catalogue::ReleaseNotesUrl(form1_.Settings().Host, Model(), Package());
    // A stored copy that cannot be shown is fetched again before it is shown.
    if (FileExists(notes) && Catalogue::IsStoreName(Package()) && ShowNotes(notes)) {
      FetchReleaseNotes(url, notes);
    } else {
      FetchReleaseNotes(url, notes);
      if (!notesSuperseded_) ShowNotes(notes);
    }
  } while (notesSuperseded_ && !closeRequested_);
}

bool TForm2::ShowNotes(const AnsiString& path) {
  const AnsiString url = Catalogue::ReleaseNotesUrl(form1_.Settings().Host, Model(), Package());
  const QString unavailable = Tavro::tr("此版本的更新说明无法显示。");
  // With trusted keys, a stored copy is shown only while it verifies.
  if (FileExists(path) && !StoredFileVerifies(form1_.Settings().TrustedKeys, path, RequestedFileName(url))) {
    WebBrowser2->ShowNotice(unavailable);
    return false;
  }
  WebBrowser2->Navigate(path, url, unavailable);
  return true;
}

void TForm2::ShowHidP3(TObject*) {
  if (Catalogue::IsStoreName(Package()) && FileExists(StorePath(".zip"))) {
    Panel3->show();
    Button1->SetCaption(Tavro::tr("重新下载"));
    Label11->SetCaption(
        Tavro::tr("%1 的 %2 固件包已经准备好！").arg(AnsiToQString(Model()), AnsiToQString(Version())));
  } else {
    Panel3->hide();
    Button1->SetCaption(Tavro::tr("下载"));
  }
}

void TForm2::FormClose(TObject*) {
  LogStep("end: main window closed");
  if (ComboBox1->ItemIndex() < 0) return;
  // A selection that cannot be saved is reported, and the window closes all the same.
  try {
    Catalogue::WriteSelection(*SelectionIni, "ComboBox1", ComboBox1->ItemIndex());
    Catalogue::WriteSelection(*SelectionIni, "ComboBox2", ComboBox2->ItemIndex());
  } catch (...) {
    ShowCurrentException();
  }
}

bool TForm2::CloseQuery() {
  if (handlerDepth_ == 0) return true;
  // A handler is still running below the pump that delivered this close: cancel what
  // it waits for and close once it has returned.
  closeRequested_ = true;
  if (downloading_) Button3Click(this);
  // Release notes are not worth waiting for: the fetch ends as failed, nothing is written.
  if (fetchingNotes_) form1_.NetHTTP1->CloseConnection();
  return false;
}
