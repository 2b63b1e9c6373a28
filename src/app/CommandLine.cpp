#include "app/CommandLine.h"

#include <cstdio>

#include "app/Main01.h"
#include "platform/ProgramInfo.h"
#include "toolkit/Translation.h"

namespace {

// The program's own text (the design has none), translatable like every other.
const char* const kUsage = QT_TRANSLATE_NOOP("Tavro",
    "用法：%1 [选项]...\n"
    "  或：%1 命令 [参数]...\n"
    "从升级服务器获取 Tavro MP3 播放器的固件并交给播放器的升级工具：在窗口中，或在\n"
    "终端中用命令完成。\n"
    "\n"
    "命令（不打开窗口；“%1 命令 --help”有详细说明）：\n"
    "  list [--offline] [--json]       配置文件中的型号和版本\n"
    "  list --stored [--json]          固件库中的固件包及其是否校验通过\n"
    "  notes 型号 版本                 某个版本的发布说明（纯文本）\n"
    "  fetch 型号 [版本] [--force]     将固件包（默认最新版本）下载到固件库\n"
    "  verify 型号 版本 | 文件         按签名校验固件包\n"
    "  install 型号 版本 [-y] [--json] 将已保存的固件包交给升级工具\n"
    "  clean [型号 [版本]] [-y]        从固件库中删除固件包\n"
    "每个命令都接受 -v/--verbose（日志同时输出到标准错误）、-q/--quiet（只报告错误）\n"
    "和 --（其后的参数都不是选项）。\n"
    "\n"
    "选项：\n"
    "      --log-stderr  日志同时输出到标准错误\n"
    "  -h, --help        显示此帮助并退出\n"
    "  -V, --version     显示版本信息并退出\n"
    "\n"
    "退出状态：\n"
    "  0 完成，1 失败（文件夹无法写入、结果无法写出），2 命令行有误或代理环境变量无法读取，\n"
    "  3 未通过签名校验，4 网络故障或服务器返回错误状态，130 用 Ctrl-C 或 SIGTERM 取消。\n"
    "  窗口以及 fetch、install、clean 和不带 --offline 的 list 会写入固件库：同一固件库\n"
    "  同一时间只运行其中一个。\n"
    "\n"
    "环境变量：\n"
    "  http_proxy, https_proxy, no_proxy\n"
    "                    访问升级服务器和网页视图所用的代理\n"
    "  LANGUAGE, LC_ALL, LC_MESSAGES, LANG\n"
    "                    界面语言：中文（C 或 POSIX 时也是），否则英文\n"
    "  TERM, COLUMNS     进度条按终端宽度绘制；TERM=dumb 或不是终端时输出不含控制符的\n"
    "                    纯文本行\n"
    "\n"
    "文件：\n"
    "  配置文件、user.ini 和 FirmwareBack/ 位于程序旁边；程序已安装或其文件夹不可写时位于\n"
    "  $XDG_DATA_HOME/tavro/（默认 ~/.local/share）。日志是 $XDG_STATE_HOME/tavro/tavro.log\n"
    "  （默认 ~/.local/state），旁边另有两个较旧的文件。\n"
    "\n"
    "示例：\n"
    "  %1 fetch TA-100              下载 TA-100 的最新版本\n"
    "  %1 install -y TA-100 1.20    不询问，将其交给升级工具\n"
    "  %1 list --stored             固件库中的固件包及其是否校验通过\n"
    "  %1 clean -y TA-100           删除 TA-100 保存的全部固件包\n");

}  // namespace

TCommandLine ParseCommandLine(const std::vector<std::string>& args) {
  TCommandLine result;
  bool help = false, version = false;
  for (const std::string& arg : args) {
    if (arg == "--help" || arg == "-h") {
      help = true;
    } else if (arg == "--version" || arg == "-V") {
      version = true;
    } else if (arg == "--log-stderr") {
      result.LogToStderr = true;
    } else {
      result.Action = TCommandLine::caError;
      result.Error = arg.size() > 1 && arg[0] == '-' ? "unrecognized option '" + arg + "'"
                                                     : "unexpected argument '" + arg + "'";
      return result;
    }
  }
  if (help) result.Action = TCommandLine::caHelp;
  else if (version) result.Action = TCommandLine::caVersion;
  return result;
}

int AnswerCommandLine(const TCommandLine& commandLine, const char* programName) {
  switch (commandLine.Action) {
    case TCommandLine::caRun:
      return -1;
    case TCommandLine::caHelp:
      std::fputs(Tavro::tr(kUsage).arg(programName).toUtf8().constData(), stdout);
      return 0;
    case TCommandLine::caVersion: {
      TFileVersion v;
      const bool known = GetProgramFileVersion(v);
      std::printf("%s (Tavro MP3 LiveUpdate) %u.%u.%u.%u\nBuild %s\n", programName, known ? v.Major : 0u,
                  known ? v.Minor : 0u, known ? v.Release : 0u, known ? v.Build : 0u, ReadBuildVersion().c_str());
      return 0;
    }
    case TCommandLine::caError:
      std::fprintf(stderr, "%s: %s\nTry '%s --help' for more information.\n", programName,
                   commandLine.Error.c_str(), programName);
      return 2;
  }
  return -1;
}
