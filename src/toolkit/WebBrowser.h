// The embedded web view: navigates to a URL or to a local file path.
//
// The real program shows pages in a QWebEngineView. Tests switch every web view created
// afterwards to a recording stand-in (no browser engine is started); both kinds record
// what they were asked to show.
#pragma once

#include <QWidget>
#include <vector>

#include "runtime/SysUtils.h"

class TWebBrowser : public QWidget {
 public:
  explicit TWebBrowser(QWidget* parent = nullptr);

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

 private:
  QWidget* view_ = nullptr;
  std::vector<AnsiString> navigations_;
  QString lastLocation_;
};
