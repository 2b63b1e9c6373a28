// The embedded web view: shows a page of the update site, or a stored copy of one.
//
// The real program shows pages in a QWebEngineView. Tests switch every web view created
// afterwards to a recording stand-in (no browser engine is started); both kinds record
// what they were asked to show.
//
// A view shows the update site and nothing more. The engine runs no script, opens no box
// and no window, reads no local file and reaches no server by itself: a page's every byte
// comes through the fetch that SetSite installs (the program's own client), under a scheme
// of the program's own ("tavro-http://host/..." stands for "http://host/...", and
// "tavro-https" for "https"). The engine's request for anything else is refused. A page
// may bring in at most the cap given to SetSite, its own bytes included, and may move the
// view by itself (a refresh, a redirect) a few times a minute; past that it is stopped.
// A link the person clicks to another http or https site opens in the desktop's browser.
// Every refusal is logged ("web view: ...").
#pragma once

#include <QWidget>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "runtime/SysUtils.h"

// A page of the update site as the program's client fetched it for a view.
struct TPageAnswer {
  bool Fetched = false;
  std::string Body;
  AnsiString ContentType;  // as the server sent it
  AnsiString Location;     // a redirect's target, as the server sent it; the view judges it
  int64_t Received = 0;    // what it spent of the cap: the bytes read; all of it, for a body past it
};
// Fetches an "http://" or "https://" URL of the update site within `cap` bytes. It may pump
// messages; it is never called again before it has returned.
using TPageFetch = std::function<TPageAnswer(const AnsiString& url, int64_t cap)>;

// The page sits inside a thin margin that shows the focus colour while the page has the
// keyboard focus: a browser view shows no focus of its own until a link inside is reached.
class TWebBrowser : public QWidget {
 public:
  explicit TWebBrowser(QWidget* parent = nullptr);
  ~TWebBrowser() override;
  // Whether the focus is on the page.
  bool PageHasFocus() const { return pageFocused_; }

  // A URL of the update site ("http://...", "https://..."), or a local ANSI path ("\" or "/")
  // of a stored copy of the site's page at `siteUrl`: its bytes are read now and shown as
  // that page (its links and pictures then come from the site). A stored copy that cannot
  // be read shows `missing` instead.
  void Navigate(const AnsiString& target, const AnsiString& siteUrl = "", const QString& missing = QString());
  // Shows a text of the program's own in place of a page.
  void ShowNotice(const QString& text);
  const std::vector<AnsiString>& Navigations() const { return navigations_; }
  // What the view was last asked to show, as the view itself takes it.
  const QString& LastLocation() const { return lastLocation_; }

  // The two schemes the pages come under; registered before the application object exists.
  static void RegisterSchemes();
  // What the engine reads once, before the application object exists: the schemes, the
  // sandbox (off for root, where the engine would refuse to start with it), the pages shown
  // to screen readers, and OpenGL contexts shared. A setting already in the environment stays.
  static void PrepareEngine();
  // The update site the views stay on (its scheme, host and port are those of the home
  // page's URL), the cap on what one page may bring in, the fetch its bytes come with, and
  // how a fetch under way is ended (when a view is hidden: its window closes).
  static void SetSite(const AnsiString& homePageUrl, int64_t pageCap, TPageFetch fetch,
                      std::function<void()> cancel = nullptr);
  // The User-Agent the browser engine would send: the views' fetches send it too. Empty
  // while views are recording (no engine is started for it).
  static AnsiString EngineUserAgent();
  // Starts the browser engine ahead of the first view: the start takes a good part of a
  // second on the GUI thread, which the first view's first navigation would otherwise
  // spend. Shows nothing, loads nothing, and does nothing while views are recording.
  static void StartEngine();
  static void SetUseRecordingView(bool recording);
  static bool UseRecordingView();

 protected:
  void paintEvent(QPaintEvent* event) override;
  void hideEvent(QHideEvent* event) override;
  // The view's drawing surface, added when its first page shows, brings the browser's
  // accessible kinds along: the toolkit's own are put before them again.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FollowFocus(QWidget* now);

  QWidget* view_ = nullptr;
  int id_ = 0;  // names the view in its requests to the program's scheme handler
  bool pageFocused_ = false;
  std::vector<AnsiString> navigations_;
  QString lastLocation_;
};
