// The web views' share of the network: the proxy from the environment (see
// job/EnvironmentProxy.h), and their pages, fetched by the program's own client.
#pragma once

#include <memory>

#include "job/AppSettings.h"
#include "job/EnvironmentProxy.h"
#include "toolkit/WebBrowser.h"

class TNetHTTP;
class TSite;

// The web views' proxy, as chosen for the update server's home page: logged at start, and
// set as the browser engine's application proxy. The pages themselves come through the
// program's client (TWebViewSite), which chooses per URL; the engine fetches nothing by
// itself, so its setting only keeps it on the same way should it ever try. Called once,
// before the first web view exists.
TProxyChoice UseEnvironmentProxyForWebViews(const AnsiString& url);

// While it exists, the web views' pages come through a client of their own under every rule
// of the program's fetches (TSite: proxy, TLS, https only once https, caps, the log), asked
// for as the browser engine would ask (its User-Agent, the language in use). A page brings
// in at most kReleaseNotesCap bytes, its own included. Redirects come back to the view,
// which judges them.
class TWebViewSite {
 public:
  explicit TWebViewSite(const TAppSettings& settings);
  ~TWebViewSite();

 private:
  TPageAnswer Fetch(const AnsiString& url, int64_t cap);

  std::unique_ptr<TNetHTTP> client_;
  std::unique_ptr<TSite> site_;
};
