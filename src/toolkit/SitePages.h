// The update site's pages as the web views get them: the program's two schemes, the handler
// that serves them through the program's own fetch, the gate each view's requests pass, and
// what each view's page has brought in so far (see WebBrowser.h).
#pragma once

#include <QByteArray>
#include <QUrl>
#include <cstdint>
#include <functional>

#include "toolkit/WebBrowser.h"

class QObject;
class QWebEngineProfile;
class QWebEngineUrlRequestInterceptor;

namespace SitePages {
// Before the application object exists.
void RegisterSchemes();
void SetSite(const QUrl& homePage, int64_t pageCap, TPageFetch fetch, std::function<void()> cancel);
// Ends the fetch under way, if there is one (it then fails).
void CancelFetch();
// Serves the two schemes to every page of the profile (once).
void Install(QWebEngineProfile* profile);

// "http://host/x" as a view asks for it ("tavro-http://host/x"), and back; ToSite gives an
// empty URL for any scheme but these four, ToView leaves other schemes as they are.
QUrl ToView(const QUrl& siteUrl);
QUrl ToSite(const QUrl& url);
// The update site's own scheme, host and port (a URL in its site form).
bool OnSite(const QUrl& siteUrl);
bool IsSecure(const QUrl& siteUrl);

// The gate of one view: its requests to the program's schemes go on, named as the view's;
// every other request is refused, and logged.
QWebEngineUrlRequestInterceptor* MakeGate(int view, QObject* parent);
// The view starts a page the program asked for: nothing brought in yet; the page at
// `viewUrl` comes from `stored` when that is given, not from the site.
void BeginPage(int view, const QUrl& viewUrl, const QByteArray* stored = nullptr);
void EndView(int view);
}  // namespace SitePages
