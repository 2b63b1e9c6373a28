#include "cli/Commands.h"

#include <QString>

#include <algorithm>
#include <cerrno>
#include <cstddef>
#include <cstdio>
#include <iostream>

#include "cli/CommandRuns.h"
#include "cli/CommandSupport.h"
#include "platform/Log.h"
#include "platform/UserFolders.h"
#include "runtime/CodePage.h"
#include "runtime/FileIO.h"
#include "toolkit/Translation.h"

namespace {
struct TCommandSpec {
  const char* Name;
  const char* Help;  // %1: the program's name
  std::vector<std::string> Options;
  size_t MinArgs, MaxArgs;
  int (*Run)(const TInvocation&);
};

// Every command takes these besides its own (see kCommonHelp).
const std::vector<std::string> kCommonOptions = {"--log-stderr", "--verbose", "--quiet"};
// The one-letter forms; several may stand together ("-qy").
const std::pair<char, const char*> kShortOptions[] = {
    {'y', "--yes"}, {'v', "--verbose"}, {'q', "--quiet"}, {'h', "--help"}};
// Options that take a value after "=" (the value may be left out).
const char* const kValueOptions[] = {"--progress-json"};

const char* const kCommonHelp = QT_TRANSLATE_NOOP("Tavro",
    "\n"
    "  -v, --verbose      日志中本次运行的记录同时输出到标准错误\n"
    "      --log-stderr   同 --verbose\n"
    "  -q, --quiet        不显示进度，只报告错误\n"
    "  -h, --help         显示此帮助并退出\n"
    "  --                 其后的参数都不是选项\n");

const TCommandSpec kCommands[] = {
    {"list",
     QT_TRANSLATE_NOOP("Tavro",
                       "用法：%1 list [--offline] [--json]\n"
                       "  或：%1 list --stored [--json]\n"
                       "列出配置文件中的型号和版本：与启动时一样从升级服务器下载（失败时使用已保存的\n"
                       "配置文件）。已保存且校验通过的版本标记为“stored”。\n"
                       "\n"
                       "  --offline   读取已保存的配置文件，不下载\n"
                       "  --stored    列出固件库中保存的固件包：型号、版本、大小、是否校验通过\n"
                       "  --json      以 JSON 格式输出\n"),
     {"--offline", "--json", "--stored"}, 0, 0, RunList},
    {"notes",
     QT_TRANSLATE_NOOP("Tavro",
                       "用法：%1 notes 型号 版本\n"
                       "以纯文本输出某个版本的发布说明：从升级服务器获取，否则使用固件库中的副本。\n"),
     {}, 2, 2, RunNotes},
    {"fetch",
     QT_TRANSLATE_NOOP("Tavro",
                       "用法：%1 fetch 型号 [版本]\n"
                       "按窗口下载的全部规则将固件包下载到固件库：先取签名，遵守签名中的大小，\n"
                       "中断后续传重试。未给出版本时下载该型号的最新版本（版本号最大的）。\n"
                       "输出保存的文件。已保存且校验通过的固件包不再重新下载。\n"
                       "\n"
                       "  --force              仍然重新下载\n"
                       "  --json               以 JSON 格式输出结果\n"
                       "  --progress-json[=FD] 进度以每行一个 JSON 对象写到标准错误（或文件描述符 FD）\n"),
     {"--json", "--progress-json", "--force"}, 1, 2, RunFetch},
    {"verify",
     QT_TRANSLATE_NOOP("Tavro",
                       "用法：%1 verify 型号 版本\n"
                       "  或：%1 verify 文件\n"
                       "按旁边的签名和受信任的密钥校验已保存或指定的固件包；说明签名者、签名对应的\n"
                       "文件、签名时间及签名中的大小。\n"
                       "\n"
                       "  --json      以 JSON 格式输出结果\n"),
     {"--json"}, 1, 2, RunVerify},
    {"install",
     QT_TRANSLATE_NOOP("Tavro",
                       "用法：%1 install 型号 版本 [--yes]\n"
                       "像固件升级按钮一样将已保存的固件包交给播放器的升级工具：校验，解压到播放器\n"
                       "软件的文件夹，请您连接播放器，然后启动升级工具。\n"
                       "\n"
                       "  -y, --yes   不询问：播放器已连接\n"
                       "  --json      以 JSON 格式输出结果\n"),
     {"--yes", "--json"}, 2, 2, RunInstall},
    {"clean",
     QT_TRANSLATE_NOOP("Tavro",
                       "用法：%1 clean [型号 [版本]]\n"
                       "从固件库中删除固件包（连同其签名和发布说明）：全部、某型号的全部或一个版本。\n"
                       "删除前列出并询问。\n"
                       "\n"
                       "  -y, --yes   不询问\n"),
     {"--yes"}, 0, 2, RunClean},
};

const TCommandSpec* FindCommand(const std::string& name) {
  for (const TCommandSpec& command : kCommands)
    if (name == command.Name) return &command;
  return nullptr;
}

int Usage(const TCommandSpec& command, const QString& error) {
  std::fprintf(stderr, "tavro %s: %s\n%s\n", command.Name, error.toUtf8().constData(),
               Tavro::tr("请尝试执行“tavro %1 --help”来获取更多信息。")
                   .arg(command.Name)
                   .toUtf8()
                   .constData());
  return ecUsage;
}

int UnknownOption(const TCommandSpec& command, const std::string& option) {
  return Usage(command, Tavro::tr("无法识别的选项“%1”").arg(QString::fromStdString(option)));
}

bool Allowed(const TCommandSpec& command, const std::string& option) {
  const auto in = [&](const std::vector<std::string>& list) {
    return std::find(list.begin(), list.end(), option) != list.end();
  };
  return in(command.Options) || in(kCommonOptions) || option == "--help";
}

bool TakesValue(const std::string& option) {
  return std::find(std::begin(kValueOptions), std::end(kValueOptions), option) != std::end(kValueOptions);
}

// Takes one option ("--name", "--name=value", or a run of one-letter ones); -1 when it is
// one of the command's, else the status to exit with.
int ReadOption(const TCommandSpec& command, const std::string& arg, TInvocation& call) {
  std::vector<std::pair<std::string, std::string>> options;
  if (arg[1] == '-') {
    const size_t equals = arg.find('=');
    options.emplace_back(arg.substr(0, equals), equals == std::string::npos ? "" : arg.substr(equals + 1));
    if (equals != std::string::npos && !TakesValue(options.back().first))
      return Allowed(command, options.back().first)
                 ? Usage(command, Tavro::tr("选项“%1”不接受参数")
                                      .arg(QString::fromStdString(options.back().first)))
                 : UnknownOption(command, arg);
  } else {
    for (size_t i = 1; i < arg.size(); ++i) {
      const auto known = std::find_if(std::begin(kShortOptions), std::end(kShortOptions),
                                      [&](const auto& option) { return option.first == arg[i]; });
      if (known == std::end(kShortOptions)) return UnknownOption(command, std::string("-") + arg[i]);
      options.emplace_back(known->second, "");
    }
  }
  for (const auto& [name, value] : options) {
    if (!Allowed(command, name)) return UnknownOption(command, name.size() == 2 ? name : arg);
    call.Options[name] = value;
  }
  return -1;
}

// Reads the command's options and operands; -1 when they fit, else the status to exit with.
int ReadArguments(const TCommandSpec& command, const std::vector<std::string>& args, TInvocation& call) {
  bool operandsOnly = false;
  for (size_t i = 1; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (!operandsOnly && arg == "--") {
      operandsOnly = true;
    } else if (operandsOnly || arg.size() < 2 || arg[0] != '-') {
      call.Args.push_back(arg);
    } else {
      const int answered = ReadOption(command, arg, call);
      if (answered >= 0) return answered;
    }
  }
  if (call.Has("--help")) {
    std::fputs((Tavro::tr(command.Help) + Tavro::tr(kCommonHelp)).arg("tavro").toUtf8().constData(), stdout);
    return ecDone;
  }
  if (call.Args.size() < command.MinArgs) return Usage(command, Tavro::tr("缺少操作对象"));
  if (call.Args.size() > command.MaxArgs)
    return Usage(command, Tavro::tr("多余的操作对象“%1”")
                              .arg(QString::fromStdString(call.Args[command.MaxArgs])));
  return -1;
}

// Results that could not be written are a failure, as in the standard tools: a full device,
// a closed standard output.
int ResultsWritten(int code) {
  errno = 0;
  std::cout.flush();
  if (std::fflush(stdout) == 0 && !std::ferror(stdout) && std::cout.good()) return code;
  const int error = errno ? errno : EIO;
  LogStep("command: its results could not be written: " + SystemErrorText(error));
  std::fprintf(stderr, "tavro: write error: %s\n", ToTerminal(SystemErrorText(error)).c_str());
  return code == ecDone ? ecFailed : code;
}
}  // namespace

std::vector<std::string> CommandArguments(const std::vector<std::string>& args) {
  for (size_t i = 0; i < args.size(); ++i) {
    if (FindCommand(args[i])) {
      std::vector<std::string> reordered{args[i]};
      reordered.insert(reordered.end(), args.begin(), args.begin() + static_cast<std::ptrdiff_t>(i));
      reordered.insert(reordered.end(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1, args.end());
      return reordered;
    }
    if (args[i].size() < 2 || args[i][0] != '-' || args[i] == "--") break;
  }
  return {};
}

int RunCommand(const std::vector<std::string>& args, const std::function<TAppSettings()>& settings) {
  const TCommandSpec* command = FindCommand(args.at(0));
  if (!command) return ecUsage;
  TInvocation call;
  const int answered = ReadArguments(*command, args, call);
  if (answered >= 0) return answered;
  // Help and usage errors are answered before any file is touched: the log and the data
  // folder only for a command that runs.
  // Reading the stored lists (what completion does at every Tab) is nothing for support:
  // the log file is left alone.
  const bool readsLists = command->Run == RunList && (call.Has("--offline") || call.Has("--stored"));
  // No failure ends the program uncaught: it is told in one line with what it is about.
  try {
    StartLog(call.Has("--verbose") || call.Has("--log-stderr"), !readsLists);
    SetQuiet(call.Has("--quiet"));
    LogStep("command: " + args[0]);
    call.Settings = settings();
    // A data folder that could not be made is told with the system's reason, not as the first
    // file that then cannot be created in it.
    if (!MakeUserFolder(AnsiPathToSys(call.Settings.ProgramFolder))) {
      const TJobFailure failure = LocalFailure(call.Settings.ProgramFolder, errno);
      LogStep("command " + args[0] + " failed: " + failure.Cause);
      return ComplainOf(jnNone, failure);
    }
    return ResultsWritten(command->Run(call));
  } catch (const std::exception& e) {
    LogStep("command " + args[0] + " failed: " + LogErrorText(e));
    return Complain(ecFailed, ToTerminal(LogErrorText(e)));
  }
}
