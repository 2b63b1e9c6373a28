#include "app/WebViewProxy.h"

#include <QNetworkProxy>

#include "toolkit/MessageBox.h"

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
