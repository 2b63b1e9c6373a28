#include "cli/CommandSupport.h"

#include <algorithm>
#include <cstdio>

#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "job/PackageDownload.h"
#include "job/Site.h"
#include "job/Store.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "runtime/FileUtils.h"
#include "runtime/IniFile.h"
#include "toolkit/Translation.h"

std::shared_ptr<TNetHTTP> MakeClient(const TAppSettings& settings) {
  auto client = std::make_shared<TNetHTTP>(nullptr);
  ConfigureHttpClient(*client);
  client->SetRecvBufferSize(256 << 10);
  // A server that accepts and stays silent must not hold the terminal.
  client->SetReadTimeout(settings.FetchTimeoutMs);
  CatchInterrupt(client);
  return client;
}

void ShowProgress(TNetHTTP& client, TPackageDownload& download, TTerminalProgress& progress) {
  client.OnWorkBegin = [&](TObject*, TWorkMode, int32_t max) {
    TPackageDownload::TBodyStart start;
    if (download.BodyBegins(max, start)) progress.Begin(start.Size, start.From);
  };
  client.OnWork = [&](TObject*, TWorkMode, int32_t count) {
    const int64_t bytes = download.BodyWork(count);
    if (bytes >= 0) progress.Update(bytes);
  };
}

std::unique_ptr<TNamedMutex> LockStore() {
  auto mutex = std::make_unique<TNamedMutex>(kInstanceMutexName);
  if (!mutex->AlreadyExisted()) return mutex;
  LogStep("command: another instance is running; this one ends");
  Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "Another instance of this program is running: the firmware "
                                                     "store has one writer at a time. Try again when it has ended.")));
  return nullptr;
}

std::unique_ptr<TIniFile> ReadCatalogue(const TInvocation& call, TNetHTTP* client, int& code) {
  code = ecDone;
  TJobFailure failure;
  if (client) {
    TSite site(call.Settings, *client);
    const TSite::TCatalogueState state = site.FetchCatalogue();
    failure = site.Failure();
    // A proxy set but unreadable ends the command before anything is sent.
    if (failure.Kind == fkSettings) {
      code = ComplainOf(jnProxyUnreadable, failure);
      return nullptr;
    }
    if (state == TSite::csStored)
      Complain(ecDone, Text(QT_TRANSLATE_NOOP("Tavro", "无法从服务器下载最新的配置文件，继续使用上次更新的配置文件\r"
                                                       "请检查网络是否连接正常！")));
    if (state == TSite::csNone) LogStep("catalogue: not fetched and no copy of an earlier run");
    if (site.Refused()) {
      Complain(ecRefused, Text(QT_TRANSLATE_NOOP("Tavro", "The catalogue on the server was refused by its signature check.")));
      code = ecRefused;
    }
  }
  if (InterruptRequested()) {
    code = Complain(ecInterrupted, Text(QT_TRANSLATE_NOOP("Tavro", "Cancelled.")));
    return nullptr;
  }
  const AnsiString path = call.Settings.ProgramFolder + Catalogue::kCatalogueFileName;
  if (FileExists(path)) return std::make_unique<TIniFile>(path);
  code = code == ecRefused ? ecRefused : client ? ExitStatus(failure.Kind) : ecFailed;
  Complain(code, Text(QT_TRANSLATE_NOOP("Tavro", "无可用的配置文件!")));
  if (client && !failure.Cause.empty()) Complain(code, ToTerminal(failure.Cause));
  return nullptr;
}

std::vector<AnsiString> ModelVersions(TIniFile& catalogue, const AnsiString& model) {
  const std::vector<AnsiString> models = Catalogue::ReadModels(catalogue);
  if (std::find(models.begin(), models.end(), model) != models.end()) return Catalogue::ReadVersions(catalogue, model);
  Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "No such model in the catalogue: ")) + ToTerminal(model));
  return {};
}

bool KnownVersion(const std::vector<AnsiString>& versions, const AnsiString& version) {
  if (std::find(versions.begin(), versions.end(), version) != versions.end()) return true;
  Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "No such version of the model in the catalogue: ")) +
                         ToTerminal(version));
  return false;
}

std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (const char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
      continue;
    }
    out += c;
  }
  return out + "\"";
}
