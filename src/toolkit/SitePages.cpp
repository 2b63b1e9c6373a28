#include "toolkit/SitePages.h"

#include <QBuffer>
#include <QPointer>
#include <QTimer>
#include <QWebEngineProfile>
#include <QWebEngineUrlRequestInterceptor>
#include <QWebEngineUrlRequestJob>
#include <QWebEngineUrlScheme>
#include <QWebEngineUrlSchemeHandler>
#include <deque>
#include <map>
#include <utility>

#include "platform/Log.h"
#include "toolkit/MessageBox.h"

namespace SitePages {
namespace {
// The site's schemes and the program's names for them.
constexpr std::pair<const char*, const char*> kSchemes[] = {{"http", "tavro-http"}, {"https", "tavro-https"}};
// The header that names the view a request comes from, set by the view's gate.
const QByteArray kViewHeader = "X-Tavro-View";
// The requests a page may have refused before the log stops naming them.
constexpr int kLoggedRefusals = 8;

QUrl siteOrigin;
int64_t pageCap = 0;
TPageFetch fetchPage;
std::function<void()> cancelFetch;
bool fetching = false;

// What one view's page has brought in, and the stored copy it shows.
struct TViewPage {
  QUrl storedUrl;
  QByteArray stored;
  int64_t spent = 0;
  int refusals = 0;
};
std::map<int, TViewPage> pages;

QUrl WithScheme(const QUrl& url, const char* scheme) {
  QUrl mapped(url);
  mapped.setScheme(scheme);
  return mapped;
}

std::string Shown(const QUrl& url) { return url.toString().toStdString(); }

void LogRefusal(int view, const QUrl& url, const char* why) {
  const int refused = ++pages[view].refusals;
  if (refused <= kLoggedRefusals) LogStep("web view: request for " + Shown(url) + " refused: " + why);
  if (refused == kLoggedRefusals) LogStep("web view: further refused requests of this page are not logged");
}

// Serves the program's schemes: a view's stored copy at once, the site's pages through the
// program's fetch, one at a time. The fetch pumps messages, and the engine may ask for more
// meanwhile: those wait in line, and a request the engine has dropped meanwhile is skipped.
class THandler : public QWebEngineUrlSchemeHandler {
 public:
  using QWebEngineUrlSchemeHandler::QWebEngineUrlSchemeHandler;

  void requestStarted(QWebEngineUrlRequestJob* job) override {
    const QUrl site = ToSite(job->requestUrl());
    const int view = job->requestHeaders().value(kViewHeader).toInt();
    if (!pages.count(view) || job->requestMethod() != "GET" || !OnSite(site)) {
      if (pages.count(view)) LogRefusal(view, site, "only the update site's pages are shown");
      job->fail(QWebEngineUrlRequestJob::RequestDenied);
      return;
    }
    TViewPage& page = pages[view];
    if (!page.storedUrl.isEmpty() && page.storedUrl == job->requestUrl().adjusted(QUrl::RemoveFragment)) {
      page.spent += page.stored.size();
      Reply(job, "text/html", page.stored);
      return;
    }
    waiting_.push_back({job, site, view});
    QTimer::singleShot(0, this, [this] { Serve(); });
  }

 private:
  struct TWaiting {
    QPointer<QWebEngineUrlRequestJob> job;
    QUrl site;
    int view;
  };

  void Serve() {
    if (serving_ || !fetchPage) return;
    serving_ = true;
    while (!waiting_.empty()) {
      const TWaiting next = waiting_.front();
      waiting_.pop_front();
      if (!next.job || !pages.count(next.view)) continue;
      const int64_t left = pageCap - pages[next.view].spent;
      if (left <= 0) {
        LogRefusal(next.view, next.site, "the page has brought in all it may");
        next.job->fail(QWebEngineUrlRequestJob::RequestDenied);
        continue;
      }
      fetching = true;
      const TPageAnswer answer = fetchPage(QStringToAnsi(next.site.toString(QUrl::FullyEncoded)), left);
      fetching = false;
      if (!pages.count(next.view)) continue;
      pages[next.view].spent += answer.Received;
      if (!next.job) continue;
      // A redirect goes on only to an http or https address; the view and its gate judge it there.
      const QUrl to = next.site.resolved(QUrl(AnsiToQString(answer.Location)));
      if (!answer.Location.empty() && !ToSite(to).isEmpty()) {
        next.job->redirect(ToView(to));
      } else if (!answer.Fetched || !answer.Location.empty()) {
        next.job->fail(QWebEngineUrlRequestJob::RequestFailed);
      } else {
        Reply(next.job, QByteArray::fromStdString(answer.ContentType).split(';').front().trimmed(),
              QByteArray::fromStdString(answer.Body));
      }
    }
    serving_ = false;
  }

  static void Reply(QWebEngineUrlRequestJob* job, const QByteArray& contentType, const QByteArray& body) {
    auto* buffer = new QBuffer(job);
    buffer->setData(body);
    job->reply(contentType.isEmpty() ? QByteArray("text/html") : contentType, buffer);
  }

  std::deque<TWaiting> waiting_;
  bool serving_ = false;
};

// One view's gate: names the view in its requests to the program's schemes; lets through
// the program's own notices (a main frame from a "data:" address, which the page has
// already judged), sends the site's own http or https addresses to the program's scheme,
// and refuses everything else: the engine fetches nothing by itself.
class TGate : public QWebEngineUrlRequestInterceptor {
 public:
  TGate(int view, QObject* parent) : QWebEngineUrlRequestInterceptor(parent), view_(view) {}

  void interceptRequest(QWebEngineUrlRequestInfo& info) override {
    const QUrl url = info.requestUrl();
    if (url.scheme() == kSchemes[0].second || url.scheme() == kSchemes[1].second) {
      info.setHttpHeader(kViewHeader, QByteArray::number(view_));
      return;
    }
    if (url.scheme() == "data" && info.resourceType() == QWebEngineUrlRequestInfo::ResourceTypeMainFrame) return;
    if (OnSite(url)) {
      // The site's address written out in full: asked for again under the program's scheme.
      info.redirect(ToView(url));
      return;
    }
    info.block(true);
    LogRefusal(view_, url, "the views fetch nothing but the update site's pages, through the program's client");
  }

 private:
  int view_;
};
}  // namespace

void RegisterSchemes() {
  for (const auto& [site, own] : kSchemes) {
    QWebEngineUrlScheme scheme(own);
    scheme.setSyntax(QWebEngineUrlScheme::Syntax::HostAndPort);
    const bool secure = std::string(site) == "https";
    scheme.setDefaultPort(secure ? 443 : 80);
    // Neither local nor granted local access: a page under it reads no file.
    if (secure) scheme.setFlags(QWebEngineUrlScheme::SecureScheme);
    QWebEngineUrlScheme::registerScheme(scheme);
  }
}

void SetSite(const QUrl& homePage, int64_t cap, TPageFetch fetch, std::function<void()> cancel) {
  siteOrigin = homePage;
  pageCap = cap;
  fetchPage = std::move(fetch);
  cancelFetch = std::move(cancel);
}

void CancelFetch() {
  if (fetching && cancelFetch) cancelFetch();
}

void Install(QWebEngineProfile* profile) {
  static QPointer<THandler> handler;
  if (handler) return;
  handler = new THandler(profile);
  for (const auto& scheme : kSchemes) profile->installUrlSchemeHandler(scheme.second, handler);
}

QUrl ToView(const QUrl& siteUrl) {
  for (const auto& [site, own] : kSchemes)
    if (siteUrl.scheme() == site) return WithScheme(siteUrl, own);
  return siteUrl;
}

QUrl ToSite(const QUrl& url) {
  for (const auto& [site, own] : kSchemes) {
    if (url.scheme() == own) return WithScheme(url, site);
    if (url.scheme() == site) return url;
  }
  return QUrl();
}

bool IsSecure(const QUrl& siteUrl) { return siteUrl.scheme() == "https"; }

bool OnSite(const QUrl& siteUrl) {
  const int port = IsSecure(siteUrl) ? 443 : 80;
  return siteUrl.isValid() && siteUrl.scheme() == siteOrigin.scheme() &&
         siteUrl.host().compare(siteOrigin.host(), Qt::CaseInsensitive) == 0 &&
         siteUrl.port(port) == siteOrigin.port(port);
}

QWebEngineUrlRequestInterceptor* MakeGate(int view, QObject* parent) {
  pages[view];
  return new TGate(view, parent);
}

void BeginPage(int view, const QUrl& viewUrl, const QByteArray* stored) {
  TViewPage& page = pages[view];
  page = TViewPage();
  if (!stored) return;
  page.storedUrl = viewUrl.adjusted(QUrl::RemoveFragment);
  page.stored = *stored;
}

void EndView(int view) { pages.erase(view); }
}  // namespace SitePages
