// The web views' share of the proxy from the environment (see job/EnvironmentProxy.h).
#pragma once

#include "job/EnvironmentProxy.h"

// The web views' proxy: the application proxy of the browser engine, which takes its
// credentials from it too. It is one setting for every page, so it is chosen for the
// update server's home page (the pages the views show are all on that server, or local
// files, which no proxy sees). Called once, before the first web view exists.
TProxyChoice UseEnvironmentProxyForWebViews(const AnsiString& url);
