#include "toolkit/WebBrowser.h"

#include <QApplication>
#include <QLabel>
#include <QPainter>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "platform/Log.h"
#include "runtime/CodePage.h"
#include "toolkit/Accessibility.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Translation.h"

namespace {
// The width of the margin that shows the page's focus.
constexpr int kFocusMargin = 2;
bool recordingView = false;
// The page that started the engine ahead of the first view; released once a view exists.
QPointer<QWebEnginePage> enginePage;

// The profile every view shows its pages with, asking servers for the language in use.
QWebEngineProfile* Profile() {
  QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
  profile->setHttpAcceptLanguage(AcceptLanguage(LanguageInUse()));
  return profile;
}

// A page that never follows a redirect from an https address to an http:// one, as the
// program's own fetches never do: the redirect is refused, logged, and the view says so.
class TSecurePage : public QWebEnginePage {
 public:
  explicit TSecurePage(QObject* parent) : QWebEnginePage(Profile(), parent) {}

 protected:
  bool acceptNavigationRequest(const QUrl& url, NavigationType type, bool isMainFrame) override {
    QUrl& from = isMainFrame ? mainFrom_ : frameFrom_;
    if (type == NavigationTypeRedirect && from.scheme() == "https" && url.scheme() == "http") {
      const QString text = "Redirect from " + from.toString() + " to " + url.toString() +
                           " refused: it leaves the secure connection";
      LogStep("web view: " + text.toStdString());
      // Shown, in the language of the texts, once the refused navigation has unwound, not
      // from inside the engine's call.
      const QString shown = Tavro::tr("已拒绝从 %1 重定向到 %2：该重定向会离开安全连接。").arg(from.toString(), url.toString());
      const QString page = "<p style=\"word-break: break-all\">" + shown.toHtmlEscaped() + "</p>";
      if (isMainFrame) QMetaObject::invokeMethod(this, [this, page] { setHtml(page); }, Qt::QueuedConnection);
      from = QUrl();
      return false;
    }
    from = url;
    return true;
  }

 private:
  // Where the navigation of the main frame, and of any inner frame, last went.
  QUrl mainFrom_, frameFrom_;
};

bool IsUrl(const AnsiString& target) {
  const AnsiString lower = LowerCase(target.substr(0, 8));
  return lower.starts_with("http://") || lower.starts_with("https://") || lower.starts_with("file:");
}
}  // namespace

void TWebBrowser::StartEngine() {
  if (recordingView || enginePage) return;
  enginePage = new QWebEnginePage(Profile(), qApp);
}

void TWebBrowser::SetUseRecordingView(bool recording) { recordingView = recording; }
bool TWebBrowser::UseRecordingView() { return recordingView; }

TWebBrowser::TWebBrowser(QWidget* parent) : QWidget(parent) {
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
    web->setPage(new TSecurePage(web));
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

void TWebBrowser::Navigate(const AnsiString& target) {
  navigations_.push_back(target);
  const QUrl url = IsUrl(target) ? QUrl(AnsiToQString(target))
                                 : QUrl::fromLocalFile(QString::fromStdString(AnsiPathToSys(target)));
  lastLocation_ = url.toString();
  if (auto* web = dynamic_cast<QWebEngineView*>(view_))
    web->load(url);
  else if (auto* label = dynamic_cast<QLabel*>(view_))
    label->setText(lastLocation_);
}
