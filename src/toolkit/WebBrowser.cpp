#include "toolkit/WebBrowser.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>
#include <QUrl>
#include <QVBoxLayout>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineView>

#include "runtime/CodePage.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Translation.h"

namespace {
bool recordingView = false;
// The page that started the engine ahead of the first view; released once a view exists.
QPointer<QWebEnginePage> enginePage;

// The profile every view shows its pages with, asking servers for the language in use.
QWebEngineProfile* Profile() {
  QWebEngineProfile* profile = QWebEngineProfile::defaultProfile();
  profile->setHttpAcceptLanguage(AcceptLanguage(LanguageInUse()));
  return profile;
}

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
  layout->setContentsMargins(0, 0, 0, 0);
  if (recordingView) {
    auto* label = new QLabel(this);
    label->setWordWrap(true);
    label->setAlignment(Qt::AlignTop | Qt::AlignLeft);
    view_ = label;
  } else {
    view_ = new QWebEngineView(Profile(), this);
    delete enginePage;  // the view keeps the engine going from here
  }
  layout->addWidget(view_);
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
