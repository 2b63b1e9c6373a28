#include "toolkit/WebBrowser.h"

#include <QApplication>
#include <QDesktopServices>
#include <QFile>
#include <QHideEvent>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEngineNewWindowRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <string>
#include <utility>

#include "platform/Log.h"
#include "runtime/CodePage.h"
#include "toolkit/Accessibility.h"
#include "toolkit/Application.h"
#include "toolkit/MessageBox.h"
#include "toolkit/SitePages.h"
#include "toolkit/Translation.h"

namespace {
// The width of the margin that shows the page's focus.
constexpr int kFocusMargin = 2;
// How often a page may move its view by itself (a refresh, a redirect) within a minute.
constexpr int kSelfMovesPerMinute = 4;
bool recordingView = false;
// The page that started the engine ahead of the first view; released once a view exists.
QPointer<QWebEnginePage> enginePage;
int lastViewId = 0;

// The engine starts with the first profile. Where QTWEBENGINE_CHROMIUM_FLAGS is set it reads
// its switches from there alone, so the program's go in ahead of the user's (a switch named
// in both is taken as the user gives it), for that moment only: programs started later (the
// desktop's browser, the flashing tool) get the variable unchanged.
QWebEngineProfile* EngineProfile() {
  static bool started = false;
  if (started) return QWebEngineProfile::defaultProfile();
  started = true;
  const char* const name = "QTWEBENGINE_CHROMIUM_FLAGS";
  if (!qEnvironmentVariableIsSet(name)) return QWebEngineProfile::defaultProfile();
  const QByteArray user = qgetenv(name);
  QByteArray flags;
  for (const char* engineSwitch : WebEngineSwitches()) flags += QByteArray(engineSwitch) + ' ';
  qputenv(name, flags + user);
  QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
  qputenv(name, user);
  return profile;
}

// The profile every view shows its pages with, asking servers for the language in use, its
// pages served by the program's own scheme handler.
QWebEngineProfile* Profile() {
  QWebEngineProfile* profile = EngineProfile();
  profile->setHttpAcceptLanguage(AcceptLanguage(LanguageInUse()));
  SitePages::Install(profile);
  return profile;
}

QString NoticeHtml(const QString& text) {
  return "<p style=\"word-break: break-all\">" + text.toHtmlEscaped() + "</p>";
}

bool Refused(const QUrl& url, const std::string& why) {
  LogStep("web view: navigation to " + url.toString().toStdString() + " refused: " + why);
  return false;
}

// A page shows what it is: no script, no plug-in, no storage, no reach beyond its address.
void ShowOnly(QWebEngineSettings* settings) {
  using S = QWebEngineSettings;
  for (S::WebAttribute attribute :
       {S::JavascriptEnabled, S::JavascriptCanOpenWindows, S::JavascriptCanAccessClipboard, S::JavascriptCanPaste,
        S::LocalStorageEnabled, S::LocalContentCanAccessRemoteUrls, S::LocalContentCanAccessFileUrls,
        S::PluginsEnabled, S::AutoLoadIconsForPage, S::TouchIconsEnabled, S::AllowRunningInsecureContent,
        S::AllowGeolocationOnInsecureOrigins, S::AllowWindowActivationFromJavaScript, S::ScreenCaptureEnabled,
        S::WebGLEnabled, S::Accelerated2dCanvasEnabled, S::HyperlinkAuditingEnabled, S::FullScreenSupportEnabled,
        S::DnsPrefetchEnabled, S::PdfViewerEnabled, S::NavigateOnDropEnabled})
    settings->setAttribute(attribute, false);
  settings->setUnknownUrlSchemePolicy(S::DisallowUnknownUrlSchemes);
}

// A page of the update site. Its navigations stay on the site: the program's own are taken,
// a link the person clicks to another site opens in the desktop's browser, and the rest of
// what leaves the site, or https for http, is refused, as is a page that moves the view by
// itself too often. It never follows a redirect from an https address to an http:// one,
// as the program's own fetches never do: the view says so. No page opens a box or a window.
class TSitePage : public QWebEnginePage {
 public:
  TSitePage(int view, QObject* parent) : QWebEnginePage(Profile(), parent) {
    ShowOnly(settings());
    setUrlRequestInterceptor(SitePages::MakeGate(view, this));
    connect(this, &QWebEnginePage::newWindowRequested, this,
            [this](QWebEngineNewWindowRequest& request) { NewWindow(request); });
  }

  // What the program shows: taken as the next navigation of the main frame to its address.
  void Show(const QUrl& viewUrl) {
    own_ = viewUrl.adjusted(QUrl::RemoveFragment);
    selfMoves_.clear();
    stopped_ = false;
    load(viewUrl);
  }
  void ShowHtml(const QString& html) {
    own_ = QUrl("data:");
    setHtml(html);
  }

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    QUrl& from = isMainFrame ? mainFrom_ : frameFrom_;
    const QUrl to = SitePages::ToSite(url);
    if (isMainFrame && IsOwn(url)) {
      from = to;
      return true;
    }
    if (to.isEmpty()) return Refused(url, "the views show the update site's http and https pages only");
    if (type == NavigationTypeRedirect && SitePages::IsSecure(from) && !SitePages::IsSecure(to)) {
      RefuseRedirect(from, to, isMainFrame);
      from = QUrl();
      return false;
    }
    if (!SitePages::OnSite(to)) {
      if (type != NavigationTypeLinkClicked) return Refused(to, "it leaves the update site");
      OpenOutside(to);
      return false;
    }
    if (type != NavigationTypeLinkClicked && type != NavigationTypeBackForward && !SelfMoveAllowed())
      return Refused(to, "the page moved the view by itself more than " + std::to_string(kSelfMovesPerMinute) +
                             " times in a minute; it is stopped");
    if (url.scheme() == to.scheme()) {
      // An address of the site written out in full: taken through the program's scheme.
      QMetaObject::invokeMethod(this, [this, to] { Show(SitePages::ToView(to)); }, Qt::QueuedConnection);
      return false;
    }
    from = to;
    return true;
  }

  void javaScriptAlert(const QUrl&, const QString&) override { LogStep("web view: a page's box refused"); }
  bool javaScriptConfirm(const QUrl&, const QString&) override {
    LogStep("web view: a page's box refused");
    return false;
  }
  bool javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*) override {
    LogStep("web view: a page's box refused");
    return false;
  }
  // The engine refuses a page's reach for a local file itself, before any navigation is
  // asked for; it says so only here.
  void javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString& message, int, const QString&) override {
    static const QString local = "Not allowed to load local resource: ";
    if (message.startsWith(local)) Refused(QUrl(message.mid(local.size())), "a page reaches no local file");
  }
  QStringList chooseFiles(FileSelectionMode, const QStringList&, const QStringList&) override {
    LogStep("web view: a page's file chooser refused");
    return {};
  }

 private:
  bool IsOwn(const QUrl& url) {
    const bool own = own_.scheme() == "data" ? url.scheme() == "data" : url.adjusted(QUrl::RemoveFragment) == own_;
    if (own) own_ = QUrl();
    return own;
  }

  // A move the person did not ask for: at most kSelfMovesPerMinute in any minute, and none
  // once that was passed, until the program shows a page again.
  bool SelfMoveAllowed() {
    const auto now = std::chrono::steady_clock::now();
    while (!selfMoves_.empty() && now - selfMoves_.front() > std::chrono::minutes(1)) selfMoves_.pop_front();
    stopped_ = stopped_ || static_cast<int>(selfMoves_.size()) >= kSelfMovesPerMinute;
    if (!stopped_) selfMoves_.push_back(now);
    return !stopped_;
  }

  void RefuseRedirect(const QUrl& from, const QUrl& to, bool isMainFrame) {
    const QString text = "Redirect from " + from.toString() + " to " + to.toString() +
                         " refused: it leaves the secure connection";
    LogStep("web view: " + text.toStdString());
    // Shown, in the language of the texts, once the refused navigation has unwound, not
    // from inside the engine's call.
    const QString shown = Tavro::tr("已拒绝从 %1 重定向到 %2：该重定向会离开安全连接。").arg(from.toString(), to.toString());
    if (isMainFrame)
      QMetaObject::invokeMethod(this, [this, shown] { ShowHtml(NoticeHtml(shown)); }, Qt::QueuedConnection);
  }

  // A window a page asks for: none opens. The person's click on a link with a target
  // shows the site's page here, and another site's in the desktop's browser.
  void NewWindow(const QWebEngineNewWindowRequest& request) {
    const QUrl to = SitePages::ToSite(request.requestedUrl());
    if (!request.isUserInitiated() || to.isEmpty()) {
      Refused(request.requestedUrl(), "a page opens no window");
    } else if (SitePages::OnSite(to)) {
      Show(SitePages::ToView(to));
    } else {
      OpenOutside(to);
    }
  }

  static void OpenOutside(const QUrl& url) {
    LogStep("web view: " + url.toString().toStdString() + " opened in the desktop's browser after a click");
    QTimer::singleShot(0, [url] { QDesktopServices::openUrl(url); });
  }

  // Where the navigation of the main frame, and of any inner frame, last went (site form).
  QUrl mainFrom_, frameFrom_;
  QUrl own_;  // the program's navigation not yet taken
  std::deque<std::chrono::steady_clock::time_point> selfMoves_;
  bool stopped_ = false;
};

bool IsUrl(const AnsiString& target) {
  const AnsiString lower = LowerCase(target.substr(0, 8));
  return lower.starts_with("http://") || lower.starts_with("https://");
}

TSitePage* SitePageOf(QWidget* view) {
  auto* web = dynamic_cast<QWebEngineView*>(view);
  return web ? static_cast<TSitePage*>(web->page()) : nullptr;
}
}  // namespace

void TWebBrowser::RegisterSchemes() { SitePages::RegisterSchemes(); }

void TWebBrowser::PrepareEngine() {
  if (geteuid() == 0) setenv("QTWEBENGINE_DISABLE_SANDBOX", "1", 0);
  // Pages are shown to screen readers too (the release notes are the only place a version's
  // changes are described); on Linux the engine leaves them out unless told.
  setenv("QTWEBENGINE_ENABLE_LINUX_ACCESSIBILITY", "1", 0);
  QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
  RegisterSchemes();
}

void TWebBrowser::SetSite(const AnsiString& homePageUrl, int64_t pageCap, TPageFetch fetch,
                          std::function<void()> cancel) {
  SitePages::SetSite(QUrl(AnsiToQString(homePageUrl)), pageCap, std::move(fetch), std::move(cancel));
}

AnsiString TWebBrowser::EngineUserAgent() {
  return recordingView ? AnsiString() : QStringToAnsi(Profile()->httpUserAgent());
}

void TWebBrowser::StartEngine() {
  if (recordingView || enginePage) return;
  enginePage = new QWebEnginePage(Profile(), qApp);
}

void TWebBrowser::SetUseRecordingView(bool recording) { recordingView = recording; }
bool TWebBrowser::UseRecordingView() { return recordingView; }

TWebBrowser::TWebBrowser(QWidget* parent) : QWidget(parent), id_(++lastViewId) {
  auto* layout = new QVBoxLayout(this);
  layout->setContentsMargins(kFocusMargin, kFocusMargin, kFocusMargin, kFocusMargin);
  if (recordingView) {
    auto* label = new QLabel(this);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    label->setFocusPolicy(Qt::StrongFocus);  // in the tab order, as a page is
    view_ = label;
  } else {
    auto* web = new QWebEngineView(this);
    web->setPage(new TSitePage(id_, web));
    // No menu of the engine's: it would open, save or show the source of what the page links to.
    web->setContextMenuPolicy(Qt::NoContextMenu);
    web->installEventFilter(this);
    view_ = web;
    delete enginePage;  // the view keeps the engine going from here
  }
  layout->addWidget(view_);
  // A person who tabs into a page is told so: the view itself shows no focus.
  connect(qApp, &QApplication::focusChanged, this, [this](QWidget*, QWidget* now) { FollowFocus(now); });
}

void TWebBrowser::FollowFocus(QWidget* now) {
  const bool focused = now && (now == this || isAncestorOf(now));
  if (focused == pageFocused_) return;
  pageFocused_ = focused;
  update();
}

bool TWebBrowser::eventFilter(QObject* watched, QEvent* event) {
  if (watched == view_ && event->type() == QEvent::ChildAdded) InstallAccessibility();
  return QWidget::eventFilter(watched, event);
}

void TWebBrowser::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  const QColor edge = pageFocused_ ? palette().color(QPalette::Active, QPalette::Highlight) : palette().color(QPalette::Window);
  painter.fillRect(rect(), edge);
}

TWebBrowser::~TWebBrowser() { SitePages::EndView(id_); }

// A page's fetch under way pumps messages: a window that closes meanwhile would otherwise
// stay in it until the server answers. (A minimised window's views are hidden by the window
// system: their fetches go on.)
void TWebBrowser::hideEvent(QHideEvent* event) {
  if (!event->spontaneous()) SitePages::CancelFetch();
  QWidget::hideEvent(event);
}

void TWebBrowser::Navigate(const AnsiString& target, const AnsiString& siteUrl, const QString& missing) {
  navigations_.push_back(target);
  const bool stored = !IsUrl(target);
  const QUrl url = stored ? QUrl::fromLocalFile(QString::fromStdString(AnsiPathToSys(target)))
                          : QUrl(AnsiToQString(target));
  lastLocation_ = url.toString();
  TSitePage* page = SitePageOf(view_);
  if (!page) {
    if (auto* label = dynamic_cast<QLabel*>(view_)) label->setText(lastLocation_);
    return;
  }
  const QUrl shown = SitePages::ToView(stored ? QUrl(AnsiToQString(siteUrl)) : url);
  if (!stored) {
    SitePages::BeginPage(id_, shown);
    page->Show(shown);
    return;
  }
  // The stored copy is read whole now: what is shown is what was there when it was asked for.
  QFile file(url.toLocalFile());
  QByteArray bytes;
  if (!siteUrl.empty() && file.open(QIODevice::ReadOnly)) bytes = file.readAll();
  if (bytes.isEmpty()) {
    ShowNotice(missing);
    return;
  }
  SitePages::BeginPage(id_, shown, &bytes);
  page->Show(shown);
}

void TWebBrowser::ShowNotice(const QString& text) {
  if (TSitePage* page = SitePageOf(view_)) {
    SitePages::BeginPage(id_, QUrl());
    page->ShowHtml(NoticeHtml(text));
  } else if (auto* label = dynamic_cast<QLabel*>(view_)) {
    label->setText(text);
  }
}
