#include "app/WebViewProxy.h"

#include <QNetworkProxy>

#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "job/Signatures.h"
#include "job/Site.h"
#include "runtime/MemoryStream.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Translation.h"

TProxyChoice UseEnvironmentProxyForWebViews(const AnsiString& url) {
  const TProxyChoice choice = ProxyForUrl(url);
  if (choice.Use) {
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, AnsiToQString(choice.Server),
                                                     static_cast<quint16>(choice.Port),
                                                     AnsiToQString(choice.Username), AnsiToQString(choice.Password)));
  } else {
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::NoProxy));
  }
  return choice;
}

TWebViewSite::TWebViewSite(const TAppSettings& settings) : client_(std::make_unique<TNetHTTP>(nullptr)) {
  client_->SetName("WebViewHTTP");
  ConfigureHttpClient(*client_);
  client_->SetReadTimeout(settings.FetchTimeoutMs);
  const AnsiString engine = TWebBrowser::EngineUserAgent();
  if (!engine.empty()) client_->Request().UserAgent = engine;
  client_->Request().AcceptLanguage = AcceptLanguage(LanguageInUse()).toStdString();
  // Not followed here: the view judges where a redirect goes, as it judges a link.
  client_->OnRedirect = [](TObject*, AnsiString&, int&, bool& handled, TNetHTTPMethod&) { handled = true; };
  site_ = std::make_unique<TSite>(settings, *client_);
  TWebBrowser::SetSite(
      Catalogue::HomePageUrl(settings.Host), kReleaseNotesCap,
      [this](const AnsiString& url, int64_t cap) { return Fetch(url, cap); }, [this] { client_->CloseConnection(); });
}

TWebViewSite::~TWebViewSite() { TWebBrowser::SetSite("", 0, nullptr); }

TPageAnswer TWebViewSite::Fetch(const AnsiString& url, int64_t cap) {
  TPageAnswer answer;
  TMemoryStream body;
  client_->Response().Location.clear();  // the answer's own, or none
  answer.Fetched = site_->FetchPage(url, body, cap);
  // Also a redirect refused by the client's own rule (https to http): the view says so.
  answer.Location = client_->Response().Location;
  // A body past the cap spends all that was left: the page asked for more than it may have.
  answer.Received = site_->PastCap() ? cap : body.Size();
  if (!answer.Fetched) return answer;
  answer.Body.assign(body.Memory() ? body.Memory() : "", static_cast<size_t>(body.Size()));
  answer.ContentType = client_->Response().ContentType;
  return answer;
}
