#include "app/Main01.h"

#include <QPixmap>
#include <QThread>
#include <QWindow>

#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "app/WebViewProxy.h"
#include "app/Main02.h"
#include "http/NetHTTP.h"
#include "job/PlayerSoftware.h"
#include "job/Site.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramInfo.h"
#include "platform/WinExec.h"
#include "platform/WindowList.h"
#include "runtime/FileUtils.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Fonts.h"
#include "app/Notice.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Timer.h"
#include "toolkit/Translation.h"
#include "toolkit/WebBrowser.h"


AnsiString ReadBuildVersion() {
  TFileVersion version;
  if (!GetProgramFileVersion(version)) return "0.0.0.0";
  const uint32_t ls = version.FileVersionLS();
  return IntToStr(ls >> 16) + "." + IntToStr(ls & 0xFFFF);
}

TForm1::TForm1(const TAppSettings& settings)
    : TForm(nullptr, Qt::Window | Qt::FramelessWindowHint), settings_(settings) {
  setObjectName("Form1");
  SetCaption("Tavro MP3 LiveUpdate");
  setFixedSize(504, 275);
  setFont(DesignFont("MS Sans Serif", 11));
  SetControlColors(this, TColors::clWindowText, TColors::clBtnFace);

  NetHTTP1 = std::make_unique<TNetHTTP>(nullptr);
  NetHTTP1->SetName("NetHTTP1");
  ConfigureHttpClient(*NetHTTP1);
  // The client connects within the same limit it reads with.
  NetHTTP1->SetReadTimeout(settings_.FetchTimeoutMs);
  site_ = std::make_unique<TSite>(settings_, *NetHTTP1);

  Image1 = new QLabel(this);
  PlaceControl(Image1, "Image1", 0, 0, 504, 275);
  Image1->setPixmap(QPixmap(":/splash.bmp"));
  Image1->setAccessibleName(Tavro::tr("Tavro MP3 在线升级"));

  Label2 = new TLabel(this, "Label2", 424, 8, 65, 13, Tavro::tr("版本:0.0"), false);
  Label2->setFont(DesignFont("宋体", 12));
  SetControlColors(Label2, TColors::clGray, TColors::clWhite);

  Timer1 = std::make_unique<TTimer>(nullptr, true, 1000);
  Timer1->SetName("Timer1");
  Timer1->OnTimer = [this](TObject* sender) { Timer1Timer(sender); };

  CenterOnScreen();
  RunGuarded([this] { FormCreate(nullptr); });
}

TForm1::~TForm1() = default;

void TForm1::FormCreate(TObject*) {
  Label2->SetCaption(Tavro::tr("版本:") + AnsiToQString(ReadBuildVersion()));
}

void TForm1::Timer1Timer(TObject*) {
  Timer1->SetEnabled(false);
  FormAc(nullptr);
}

void TForm1::FormAc(TObject*) {
  const TPlayerSoftware player = FindPlayerSoftware();
  if (!player.Installed) {
    const int answer = Notice(Handle(),
                              Tavro::tr("请首先安装SigmaTel MSCN Audio Player软件，然后再运行本程序。\r"
                                        "单击[确定]立刻开始安装，[取消]为退出本程序。"),
                              MB_OKCANCEL | MB_ICONEXCLAMATION);
    const bool started = answer == IDOK && WinExec("SigmaTelSetup.exe", SW_HIDE) > 31;
    LogStep(AnsiString("prerequisite: SigmaTel MSCN Audio Player software not installed; ") +
            (answer != IDOK ? "setup declined"
                            : started ? "setup program SigmaTelSetup.exe started" : "setup program SigmaTelSetup.exe not started") +
            "; ending");
    // The setup is a Windows program: without Wine, or without the file, the person learns why nothing happens.
    if (answer == IDOK && !started)
      Notice(Handle(), Tavro::tr("无法启动安装程序SigmaTelSetup.exe。\r请确认已安装Wine，且该程序在本程序的目录中。"));
    Application->Terminate();
    return;
  }
  InstallFolder = player.Folder;

  const TSite::TCatalogueState catalogue = site_->FetchCatalogue();
  if (catalogue == TSite::csFetched) return;
  // A proxy set but unreadable: the box names it, not the network; a stored catalogue serves.
  if (site_->Failure().Kind == fkSettings) {
    Notice(Handle(), JobNotice(JobNoticeText(jnProxyUnreadable), site_->Failure()), MB_OK | MB_ICONHAND);
    if (catalogue == TSite::csStored) return;
    LogStep("catalogue: not fetched and no copy of an earlier run; ending");
    Application->Terminate();
    return;
  }
  if (catalogue == TSite::csStored) {
    MessageBox(Handle(),
               Tavro::tr("无法从服务器下载最新的配置文件，继续使用上次更新的配置文件\r请检查网络是否连接正常！"),
               Tavro::tr("下载配置文件时出错!"), MB_OK | MB_ICONEXCLAMATION);
    return;
  }
  MessageBox(Handle(),
             Tavro::tr("从服务器下载配置文件时出错,未能从本地找到可用的配置文件。\r"
                       "请检查网络是否连接正常！单击[确定]退出本程序。"),
             Tavro::tr("无可用的配置文件!"), MB_OK | MB_ICONHAND);
  LogStep("catalogue: not fetched and no copy of an earlier run; ending");
  Application->Terminate();
}

bool TForm1::DownloadToFile(const AnsiString& url, const AnsiString& path, bool catalogue) {
  return site_->DownloadToFile(url, path, catalogue);
}

bool SecondInstance(TNamedMutex& instanceMutex) {
  if (!instanceMutex.AlreadyExisted()) return false;
  LogStep("start: another instance is running; this one ends");
  MessageBox(nullptr,
             "Another instance of this program is already running.\r"
             "Please wait for the other instance to finish and then try again.",
             "Tavro MP3 LiveUpdate", MB_OK | MB_ICONEXCLAMATION);
  const AnsiString previousTitle = Application->Title();
  Application->SetShowMainForm(false);
  Application->SetTitle("destroy Tavro");
  // The first instance answers to its title; whether or not it is found, this instance
  // ends: one without a visible window would only hold files it must not touch.
  FindWindowA(nullptr, previousTitle.c_str());
  Application->Terminate();
  return true;
}

void RunProgram(const TAppSettings& settings) {
  Application->Initialize();
  LogStep("start: Tavro MP3 LiveUpdate Build " + ReadBuildVersion() + ", program " + LogPath(ProgramFileName()) +
          ", files in " + LogPath(settings.ProgramFolder) + ", update server " + settings.Host);
  const TProxyChoice webProxy = UseEnvironmentProxyForWebViews(Catalogue::HomePageUrl(settings.Host));
  LogStep("web views: " + DescribeProxyChoice(webProxy));
  Application->SetTitle("Tavro");
  TForm1 form1(settings);
  form1.Show();
  form1.Repaint();
  // Polls until the splash timer's first tick has run the prerequisite check; the short
  // sleep keeps the poll from spinning a core for the whole second. The second is idle
  // otherwise: once the splash is on the screen, the browser engine of the main window's
  // web views starts in it, so that creating the main window after the tick does not wait
  // for it. Nothing is shown or fetched by that start.
  bool engineStarted = false;
  while (form1.Timer1->Enabled() && !Application->Terminated()) {
    Application->ProcessMessages();
    if (!engineStarted && form1.windowHandle() && form1.windowHandle()->isExposed()) {
      engineStarted = true;
      TWebBrowser::StartEngine();
    }
    QThread::msleep(1);
  }
  if (Application->Terminated()) return;
  TForm2 form2(form1);
  Application->CreateForm(&form2);
  form1.Hide();
  Application->Run();
}
