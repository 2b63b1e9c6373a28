// tavro verify MODEL VERSION | FILE: a stored (or given) package checked against the
// signature beside it and the trusted keys, as the hand-off checks it; who signed it, for
// which file, when, and the signed size.
#include <ctime>
#include <iostream>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"
#include "job/Catalogue.h"
#include "job/Signatures.h"
#include "platform/Log.h"
#include "runtime/FileUtils.h"
#include "toolkit/Translation.h"

namespace {
std::string SigningTime(int64_t seconds) {
  if (seconds < 0) return "-";
  const std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  char text[32] = "-";
  if (gmtime_r(&t, &tm)) std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S UTC", &tm);
  return text;
}

void PrintJson(const AnsiString& file, const TStoredCheck& check) {
  const TTrustedComment& c = check.Comment;
  std::cout << "{\"file\": " << JsonString(PathToTerminal(file)) << ", \"verified\": "
            << (check.Verified ? "true" : "false") << ", \"key\": " << JsonString(check.KeyId)
            << ", \"signedFile\": " << JsonString(ToTerminal(c.File)) << ", \"timestamp\": " << c.Timestamp
            << ", \"size\": " << c.Size << ", \"problem\": " << JsonString(check.Problem) << "}\n";
}

void PrintText(const AnsiString& file, const TStoredCheck& check) {
  const TTrustedComment& c = check.Comment;
  std::cout << PathToTerminal(file) << ": "
            << (check.Verified ? Text(QT_TRANSLATE_NOOP("Tavro", "校验通过"))
                               : Text(QT_TRANSLATE_NOOP("Tavro", "校验失败")) + ": " + check.Problem)
            << "\n";
  if (check.KeyId.empty()) return;
  std::cout << Text(QT_TRANSLATE_NOOP("Tavro", "签名密钥")) << " " << check.KeyId << "\n"
            << Text(QT_TRANSLATE_NOOP("Tavro", "签名对应的文件")) << " " << ToTerminal(c.File) << "\n"
            << Text(QT_TRANSLATE_NOOP("Tavro", "签名时间")) << " " << SigningTime(c.Timestamp) << "\n"
            << Text(QT_TRANSLATE_NOOP("Tavro", "签名中的大小")) << " "
            << (c.Size >= 0 ? std::to_string(c.Size) : std::string("-")) << "\n";
}
}  // namespace

int RunVerify(const TInvocation& call) {
  AnsiString file = FromTerminal(call.Args[0]);
  if (call.Args.size() == 2) {
    const AnsiString name = Catalogue::PackageName(file, FromTerminal(call.Args[1]));
    if (!Catalogue::IsStoreName(name))
      return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "不是固件包名称：")) + ToTerminal(name));
    file = Catalogue::StorePath(call.Settings.ProgramFolder, name, ".zip");
  }
  if (!FileExists(file))
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "没有此文件：")) + ToTerminal(file));
  if (call.Settings.TrustedKeys.Empty())
    return Complain(ecFailed, Text(QT_TRANSLATE_NOOP("Tavro", "没有受信任的密钥：无从校验。")));
  const TStoredCheck check = CheckStoredFile(call.Settings.TrustedKeys, file);
  if (call.Has("--json")) PrintJson(file, check);
  else PrintText(file, check);
  return check.Verified ? ecDone : ecRefused;
}
