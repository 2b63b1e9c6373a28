// The embedded web view: navigates to a URL or to a local file path.
//
// The real program shows pages in a QWebEngineView. Tests switch every web view created
// afterwards to a recording stand-in (no browser engine is started); both kinds record
// what they were asked to show.
#pragma once

#include <QWidget>
#include <vector>

#include "runtime/SysUtils.h"

// The page sits inside a thin margin that shows the focus colour while the page has the
// keyboard focus: a browser view shows no focus of its own until a link inside is reached.
class TWebBrowser : public QWidget {
 public:
  explicit TWebBrowser(QWidget* parent = nullptr);
  // Whether the focus is on the page.
  bool PageHasFocus() const { return pageFocused_; }

  // A URL ("http://...", "https://...", "file:...") or a local ANSI path ("\" or "/").
  void Navigate(const AnsiString& target);
  const std::vector<AnsiString>& Navigations() const { return navigations_; }
  // What the view was last asked to show, as the view itself takes it.
  const QString& LastLocation() const { return lastLocation_; }

  // Starts the browser engine ahead of the first view: the start takes a good part of a
  // second on the GUI thread, which the first view's first navigation would otherwise
  // spend. Shows nothing, loads nothing, and does nothing while views are recording.
  static void StartEngine();
  static void SetUseRecordingView(bool recording);
  static bool UseRecordingView();

 protected:
  void paintEvent(QPaintEvent* event) override;
  // The view's drawing surface, added when its first page shows, brings the browser's
  // accessible kinds along: the toolkit's own are put before them again.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  void FollowFocus(QWidget* now);

  QWidget* view_ = nullptr;
  bool pageFocused_ = false;
  std::vector<AnsiString> navigations_;
  QString lastLocation_;
};
