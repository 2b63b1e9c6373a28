// tavro notes MODEL VERSION: the version's release notes as plain text, fetched from the
// server, else the copy in the store. The store is not written: notes run beside a window.
#include <unistd.h>

#include <QByteArray>
#include <QRegularExpression>
#include <QString>

#include <cstdlib>
#include <iostream>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"
#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/Signatures.h"
#include "job/Site.h"
#include "runtime/FileUtils.h"
#include "runtime/IniFile.h"
#include "toolkit/Translation.h"

namespace {
// The page's text: scripts and styles dropped, block ends as line breaks, tags gone, the
// common entities read, blank runs folded. The pages are code page 936 unless they say UTF-8.
std::string PlainText(const std::string& html) {
  const bool utf8 = QByteArray::fromStdString(html).toLower().contains("charset=utf-8");
  QString text = utf8 ? QString::fromStdString(html) : QString::fromStdString(ToTerminal(html));
  const auto ci = QRegularExpression::CaseInsensitiveOption;
  text.remove(QRegularExpression("<(script|style)[^>]*>.*?</\\1>", ci | QRegularExpression::DotMatchesEverythingOption));
  text.replace(QRegularExpression("<(br|/p|/div|/li|/tr|/h[1-6]|/title)[^>]*>", ci), "\n");
  text.remove(QRegularExpression("<[^>]*>"));
  const std::pair<const char*, const char*> entities[] = {
      {"&nbsp;", " "}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, character] : entities) text.replace(entity, character, Qt::CaseInsensitive);
  text.replace(QRegularExpression("[ \t\r]+"), " ");
  text.replace(QRegularExpression(" ?\n ?"), "\n");
  text.replace(QRegularExpression("\n{3,}"), "\n\n");
  text = text.trimmed();
  return text.isEmpty() ? "" : text.toStdString() + "\n";
}

// Fetched into a file of its own outside the store; false, with why, when it could not be fetched.
bool FetchNotes(const TInvocation& call, const AnsiString& url, std::string& html, TJobFailure& failure) {
  char path[] = "/tmp/tavro-notes-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return false;
  close(fd);
  std::shared_ptr<TNetHTTP> client = MakeClient(call.Settings);
  TSite site(call.Settings, *client);
  const bool fetched = site.DownloadToFile(url, path);
  failure = site.Failure();
  if (fetched) html = ReadFileContent(path);
  unlink(path);
  unlink(SignatureName(path).c_str());
  return fetched;
}
}  // namespace

int RunNotes(const TInvocation& call) {
  const AnsiString model = FromTerminal(call.Args[0]);
  const AnsiString version = FromTerminal(call.Args[1]);
  const AnsiString name = Catalogue::PackageName(model, version);
  if (!Catalogue::IsStoreName(name))
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "不是固件包名称：")) + ToTerminal(name));
  // The stored catalogue, read only (notes run beside a window), tells an unknown model or
  // version before the server is asked.
  const AnsiString cataloguePath = call.Settings.ProgramFolder + Catalogue::kCatalogueFileName;
  if (FileExists(cataloguePath)) {
    TIniFile catalogue(cataloguePath);
    const std::vector<AnsiString> versions = ModelVersions(catalogue, model);
    if (versions.empty() || !KnownVersion(versions, version)) return ecFailed;
  }
  std::string html;
  const AnsiString url = Catalogue::ReleaseNotesUrl(call.Settings.Host, model, name);
  TJobFailure failure;
  if (!FetchNotes(call, url, html, failure)) {
    if (InterruptRequested()) return ComplainCancelled();
    if (failure.Kind == fkSettings) return ComplainOf(jnProxyUnreadable, failure);
    const AnsiString stored = Catalogue::StorePath(call.Settings.ProgramFolder, name, ".htm");
    // With trusted keys, a stored copy that does not verify counts as none: the window's rule.
    if (!FileExists(stored) || !StoredFileVerifies(call.Settings.TrustedKeys, stored, RequestedFileName(url)))
      return Complain(ecNetwork, Text(QT_TRANSLATE_NOOP("Tavro", "无法获取发布说明，固件库中也没有保存的副本。")));
    Complain(ecDone, Text(QT_TRANSLATE_NOOP("Tavro", "无法获取发布说明；以下是保存的副本。")));
    html = ReadFileContent(stored);
  }
  std::cout << PlainText(html);
  return ecDone;
}
