#include "app/Main01.h"

#include <QPixmap>
#include <ctime>
#include <QThread>
#include <QWindow>

#include "app/Catalogue.h"
#include "app/ComponentSettings.h"
#include "app/EnvironmentProxy.h"
#include "app/Main02.h"
#include "app/Signatures.h"
#include "http/NetHTTP.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "platform/ProgramInfo.h"
#include "platform/Registry.h"
#include "platform/WinExec.h"
#include "platform/WindowList.h"
#include "runtime/BoundedStream.h"
#include "runtime/FileUtils.h"
#include "runtime/MemoryStream.h"
#include "runtime/Minisign.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/ErrorBox.h"
#include "toolkit/Fonts.h"
#include "app/Notice.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Timer.h"
#include "toolkit/Translation.h"
#include "toolkit/WebBrowser.h"

const char* const kInstanceMutexName = "RunOnlyOnce_Tavro";

namespace {
const char* const kPlayerKey = "\\software\\SigmaTel\\SigmaTel MSCN Audio Player\\Params\\";
const char* const kInstallFolderValue = "Install Folder";
}  // namespace

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
  {
    TRegistry registry;
    registry.SetRootKey(HKEY_LOCAL_MACHINE);
    if (!registry.KeyExists(kPlayerKey)) {
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
    if (registry.OpenKey(kPlayerKey, false)) {
      InstallFolder = registry.ReadFolder(kInstallFolderValue);
      registry.CloseKey();
    }
    LogStep(InstallFolder.empty() ? AnsiString("prerequisite: player software installed, its folder unknown")
                                  : "prerequisite: player software installed in \"" + LogPath(InstallFolder) + "\"");
  }

  const AnsiString cataloguePath = settings_.ProgramFolder + Catalogue::kCatalogueFileName;
  if (DownloadToFile(Catalogue::CatalogueUrl(settings_.Host), cataloguePath, true)) {
    LogStep("catalogue: fetched");
    return;
  }
  if (FileExists(cataloguePath)) {
    LogStep("catalogue: not fetched, going on with the copy of an earlier run");
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
  const AnsiString what = "fetch " + url + " ";
  const TTrustedKeys& keys = settings_.TrustedKeys;
  const bool judged = catalogue && !keys.Empty();
  std::string signature;
  TTrustedComment comment;
  try {
    const TProxyChoice proxy = UseEnvironmentProxy(*NetHTTP1, url);
    LogStep(what + DescribeProxyChoice(proxy));
  } catch (const std::exception& e) {
    LogStep(what + "failed: " + e.what());
    return false;
  }
  // The signature first: a catalogue that is not the maker's current one is never fetched.
  if (judged && !(FetchTrustedSignature(*NetHTTP1, keys, url, signature, comment) &&
                  CatalogueIsCurrent(url, comment, settings_.ProgramFolder, std::time(nullptr))))
    return false;
  const int64_t cap = catalogue ? kCatalogueCap : kReleaseNotesCap;
  const bool signedSize = judged && comment.Size >= 0;
  TMemoryStream body;
  TBoundedStream bounded(body, signedSize ? comment.Size : cap,
                         signedSize ? SignedSizeRefusal(comment.Size) : CapRefusal(cap));
  try {
    NetHTTP1->FetchUrl(url, bounded);
  } catch (const EStreamLimitError& e) {
    if (judged) return SignatureRefused(url, e.Message());
    LogStep(what + "refused: " + e.Message());
    return false;
  } catch (const std::exception& e) {
    LogStep(what + "failed: " + LogErrorText(e));
    return false;
  }
  // A body cut short by the server is not the file: the copy already there stays.
  if (!BodyIsWhole(*NetHTTP1, body.Size())) {
    LogStep(what + "cut short after " + IntToStr(body.Size()) + " bytes");
    return false;
  }
  if (judged) {
    if (signedSize && body.Size() != comment.Size)
      return SignatureRefused(url, "it is " + IntToStr(body.Size()) + " bytes, not its signed size of " +
                                       IntToStr(comment.Size) + " bytes");
    if (!SignatureAccepted(url, [&] { keys.VerifyBytes(body.Memory(), static_cast<size_t>(body.Size()), signature); }))
      return false;
    // Remembered before the catalogue is replaced: should the second write fail, the next
    // run takes the same catalogue again, never an older one.
    RememberCatalogueTime(comment, settings_.ProgramFolder);
  }
  ReplaceFileContent(path, body.Memory(), body.Size());
  LogStep(what + "done: " + IntToStr(body.Size()) + " bytes written to " + LogPath(path));
  return true;
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
