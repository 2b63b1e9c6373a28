// tavro notes MODEL VERSION: the version's release notes as plain text, fetched from the
// server, else the copy in the store. The store is not written: notes run beside a window.
#include <unistd.h>

#include <cstdlib>
#include <iostream>
#include <regex>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"
#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/Site.h"
#include "runtime/FileUtils.h"
#include "toolkit/Translation.h"

namespace {
std::string Lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

// The page's text: scripts and styles dropped, block ends as line breaks, tags gone, the
// common entities read, blank runs folded. The pages are code page 936 unless they say UTF-8.
std::string PlainText(const std::string& html) {
  std::string text = Lower(html).find("charset=utf-8") != std::string::npos ? html : ToTerminal(html);
  const std::regex::flag_type ci = std::regex::icase;
  text = std::regex_replace(text, std::regex("<(script|style)[^>]*>[\\s\\S]*?</\\1>", ci), "");
  text = std::regex_replace(text, std::regex("<(br|/p|/div|/li|/tr|/h[1-6]|/title)[^>]*>", ci), "\n");
  text = std::regex_replace(text, std::regex("<[^>]*>"), "");
  const std::pair<const char*, const char*> entities[] = {
      {"&nbsp;", " "}, {"&lt;", "<"}, {"&gt;", ">"}, {"&quot;", "\""}, {"&#39;", "'"}, {"&amp;", "&"}};
  for (const auto& [entity, character] : entities) text = std::regex_replace(text, std::regex(entity, ci), character);
  text = std::regex_replace(text, std::regex("[ \t\r]+"), " ");
  text = std::regex_replace(text, std::regex(" ?\n ?"), "\n");
  text = std::regex_replace(text, std::regex("\n{3,}"), "\n\n");
  const size_t begin = text.find_first_not_of("\n ");
  return begin == std::string::npos ? "" : text.substr(begin, text.find_last_not_of("\n ") + 1 - begin) + "\n";
}

// Fetched into a file of its own outside the store; false when it could not be fetched.
bool FetchNotes(const TInvocation& call, const AnsiString& url, std::string& html) {
  char path[] = "/tmp/tavro-notes-XXXXXX";
  const int fd = mkstemp(path);
  if (fd < 0) return false;
  close(fd);
  std::shared_ptr<TNetHTTP> client = MakeClient(call.Settings);
  TSite site(call.Settings, *client);
  const bool fetched = site.DownloadToFile(url, path);
  if (fetched) html = ReadFileContent(path);
  unlink(path);
  return fetched;
}
}  // namespace

int RunNotes(const TInvocation& call) {
  const AnsiString model = FromTerminal(call.Args[0]);
  const AnsiString name = Catalogue::PackageName(model, FromTerminal(call.Args[1]));
  if (!Catalogue::IsStoreName(name)) return Complain(ecFailed, "not a package name: " + ToTerminal(name));
  std::string html;
  if (!FetchNotes(call, Catalogue::ReleaseNotesUrl(call.Settings.Host, model, name), html)) {
    if (InterruptRequested()) return Complain(ecInterrupted, Text(QT_TRANSLATE_NOOP("Tavro", "Cancelled.")));
    const AnsiString stored = Catalogue::StorePath(call.Settings.ProgramFolder, name, ".htm");
    if (!FileExists(stored))
      return Complain(ecNetwork, Text(QT_TRANSLATE_NOOP("Tavro", "The release notes could not be fetched, and none are stored.")));
    Complain(ecDone, Text(QT_TRANSLATE_NOOP("Tavro", "The release notes could not be fetched; the stored copy follows.")));
    html = ReadFileContent(stored);
  }
  std::cout << PlainText(html);
  return ecDone;
}
