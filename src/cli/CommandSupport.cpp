#include "cli/CommandSupport.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdint>
#include <cstdio>
#include <cstdlib>

#include "http/NetHTTP.h"
#include "job/Catalogue.h"
#include "job/ComponentSettings.h"
#include "job/PackageDownload.h"
#include "job/Site.h"
#include "job/Store.h"
#include "platform/Log.h"
#include "platform/NamedMutex.h"
#include "runtime/CodePage.h"
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

TTerminalProgress::TMode ProgressMode(const TInvocation& call) {
  if (call.Has("--progress-json")) return TTerminalProgress::pmJson;
  return Quiet() ? TTerminalProgress::pmNone : TTerminalProgress::TerminalMode();
}

int ProgressDescriptor(const TInvocation& call) {
  const std::string fd = call.Value("--progress-json");
  if (fd.empty()) return STDERR_FILENO;
  char* end = nullptr;
  const long n = std::strtol(fd.c_str(), &end, 10);
  if (*end == '\0' && n >= 0 && n <= INT32_MAX && fcntl(static_cast<int>(n), F_GETFD) != -1) return static_cast<int>(n);
  std::fprintf(stderr, "tavro fetch: %s\n",
               Tavro::tr("“%1”不是已打开的文件描述符").arg(QString::fromStdString(fd)).toUtf8().constData());
  return -1;
}

int64_t FileBytes(const AnsiString& path) {
  struct stat st {};
  return ::stat(AnsiPathToSys(path).c_str(), &st) == 0 ? static_cast<int64_t>(st.st_size) : -1;
}

std::unique_ptr<TNamedMutex> LockStore(const TAppSettings& settings) {
  auto mutex = std::make_unique<TNamedMutex>(StoreMutexName(settings.ProgramFolder));
  if (!mutex->AlreadyExisted()) return mutex;
  LogStep("command: another instance writes the store " + LogPath(Catalogue::StoreFolder(settings.ProgramFolder)) +
          "; this one ends");
  Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "本程序的另一个实例正在运行：固件库同一时间只能有一个写入者。"
                                                     "请在它结束后再试。")));
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
      Complain(ecRefused, Text(QT_TRANSLATE_NOOP("Tavro", "服务器上的配置文件未通过签名校验，已拒绝。")));
      code = ecRefused;
    }
  }
  if (InterruptRequested()) {
    code = ComplainCancelled();
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
  Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "配置文件中没有此型号：")) + ToTerminal(model));
  return {};
}

bool KnownVersion(const std::vector<AnsiString>& versions, const AnsiString& version) {
  if (std::find(versions.begin(), versions.end(), version) != versions.end()) return true;
  Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "配置文件中没有该型号的此版本：")) + ToTerminal(version));
  return false;
}

void SplitPackageName(const TAppSettings& settings, const AnsiString& name, AnsiString& model, AnsiString& version) {
  TIniFile catalogue(settings.ProgramFolder + Catalogue::kCatalogueFileName);
  for (const AnsiString& m : Catalogue::ReadModels(catalogue))
    for (const AnsiString& v : Catalogue::ReadVersions(catalogue, m))
      if (Catalogue::PackageName(m, v) == name) {
        model = m;
        version = v;
        return;
      }
  const size_t cut = name.rfind('_');
  model = cut == AnsiString::npos ? name : name.substr(0, cut);
  version = cut == AnsiString::npos ? "" : name.substr(cut + 1);
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

std::string JsonObject(const std::vector<std::pair<const char*, std::string>>& members) {
  std::string out = "{";
  for (const auto& [name, value] : members) out += (out.size() > 1 ? ", " : "") + JsonString(name) + ": " + value;
  return out + "}";
}
