<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en" sourcelanguage="zh_CN">
<context>
    <name>Tavro</name>
    <message>
        <source>版本:0.0</source>
        <translation>Ver. 0.0</translation>
    </message>
    <message>
        <source>版本:</source>
        <translation>Ver. </translation>
    </message>
    <message>
        <source>请首先安装SigmaTel MSCN Audio Player软件，然后再运行本程序。<byte value="xd"/>单击[确定]立刻开始安装，[取消]为退出本程序。</source>
        <translation>Please install the SigmaTel MSCN Audio Player software first, then run this program again.<byte value="xd"/>Click [OK] to start the installation now, or [Cancel] to quit this program.</translation>
    </message>
    <message>
        <source>无法从服务器下载最新的配置文件，继续使用上次更新的配置文件<byte value="xd"/>请检查网络是否连接正常！</source>
        <translation>The latest configuration file could not be downloaded from the server; the one from the last update is used.<byte value="xd"/>Please check your network connection!</translation>
    </message>
    <message>
        <source>下载配置文件时出错!</source>
        <translation>Error downloading the configuration file!</translation>
    </message>
    <message>
        <source>从服务器下载配置文件时出错,未能从本地找到可用的配置文件。<byte value="xd"/>请检查网络是否连接正常！单击[确定]退出本程序。</source>
        <translation>The configuration file could not be downloaded from the server, and no usable copy was found on this computer.<byte value="xd"/>Please check your network connection! Click [OK] to quit this program.</translation>
    </message>
    <message>
        <source>无可用的配置文件!</source>
        <translation>No configuration file available!</translation>
    </message>
    <message>
        <source>本工具适用于TAVRO MP3播放器。</source>
        <translation>This tool is for TAVRO MP3 players.</translation>
    </message>
    <message>
        <source>它能够帮助你完成从Internet下载固件包到本地，更新MP3播放器固件的工作。</source>
        <translation>It downloads firmware from the Internet and updates your MP3 player.</translation>
    </message>
    <message>
        <source>更新MP3固件可以提高MP3的操作性能和扩展功能，也可在MP3播放器出现软件故障时</source>
        <translation>Updating the firmware improves your player and adds features.</translation>
    </message>
    <message>
        <source>使用此工具更新MP3固件来修复MP3。</source>
        <translation>It also restores an MP3 whose software has failed.</translation>
    </message>
    <message>
        <source>请选择MP3号型和固件版本</source>
        <translation>Select MP3 model and firmware version</translation>
    </message>
    <message>
        <source>机型</source>
        <translation>Model</translation>
    </message>
    <message>
        <source>固件</source>
        <translation>Ver.</translation>
    </message>
    <message>
        <source>下载</source>
        <translation>Download</translation>
    </message>
    <message>
        <source>取消下载</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>下载中:</source>
        <translation>Loading:</translation>
    </message>
    <message>
        <source>固件大小:</source>
        <translation>Size:</translation>
    </message>
    <message>
        <source>已下载:</source>
        <translation>Loaded:</translation>
    </message>
    <message>
        <source>平均速度:</source>
        <translation>Speed:</translation>
    </message>
    <message>
        <source>固件信息</source>
        <translation>Firmware</translation>
    </message>
    <message>
        <source>单击[固件升级]按钮，开始更新MP3播放器中的固件</source>
        <translation>Click [Upgrade] to update your MP3 player&apos;s firmware</translation>
    </message>
    <message>
        <source>固件升级</source>
        <translation>Upgrade</translation>
    </message>
    <message>
        <source>重新下载</source>
        <translation>Re-download</translation>
    </message>
    <message>
        <source>%1 的 %2 固件包已经准备好！</source>
        <translation>The %1 %2 firmware package is ready!</translation>
    </message>
    <message>
        <source>从服务器下载固件包时出错。<byte value="xd"/>请检查网络设置是否连接正常！</source>
        <translation>Error downloading the firmware package from the server.<byte value="xd"/>Please check your network connection!</translation>
    </message>
    <message>
        <source>固件包签名校验失败，固件包未保存。<byte value="xd"/>请稍后重新下载。</source>
        <translation>The firmware package failed its signature check and was not saved.<byte value="xd"/>Please download it again later.</translation>
    </message>
    <message>
        <source>未能找到SigmaTel MSCN Audio Player软件的安装目录。<byte value="xd"/>请重新安装该软件后再升级固件。</source>
        <translation>The installation folder of the SigmaTel MSCN Audio Player software was not found.<byte value="xd"/>Please reinstall that software, then upgrade the firmware.</translation>
    </message>
    <message>
        <source>固件包解压失败，请重新下载固件包后再试。</source>
        <translation>The firmware package could not be unpacked. Please download it again and retry.</translation>
    </message>
    <message>
        <source>请使用USB连接线将MP3与电脑相连。<byte value="xd"/>连接好后单击[确定]-[开始]按钮。</source>
        <translation>Please connect the MP3 player to the computer with the USB cable.<byte value="xd"/>When it is connected, click [OK], then [Start].</translation>
    </message>
    <message>
        <source>将您的MP3播放器与电脑连接</source>
        <translation>Connect your MP3 player to the computer</translation>
    </message>
    <message>
        <source>固件包校验失败，请重新下载固件包后再试。</source>
        <translation>The firmware package failed its check. Please download it again and retry.</translation>
    </message>
    <message>
        <source>Tavro MP3 LiveUpdate 提示</source>
        <translation>Tavro MP3 LiveUpdate Notice</translation>
    </message>
    <message>
        <source>是</source>
        <translation>Yes</translation>
    </message>
    <message>
        <source>否</source>
        <translation>No</translation>
    </message>
    <message>
        <source>确定</source>
        <translation>OK</translation>
    </message>
    <message>
        <source>取消</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <source>中止</source>
        <translation>Abort</translation>
    </message>
    <message>
        <source>重试</source>
        <translation>Retry</translation>
    </message>
    <message>
        <source>忽略</source>
        <translation>Ignore</translation>
    </message>
    <message>
        <source>全部</source>
        <translation>All</translation>
    </message>
    <message>
        <source>全否</source>
        <translation>No to All</translation>
    </message>
    <message>
        <source>全是</source>
        <translation>Yes to All</translation>
    </message>
    <message>
        <source>无法启动安装程序SigmaTelSetup.exe。<byte value="xd"/>请确认已安装Wine，且该程序在本程序的目录中。</source>
        <translation>The setup program SigmaTelSetup.exe could not be started.<byte value="xd"/>Please make sure that Wine is installed and that the setup program is in this program&apos;s folder.</translation>
    </message>
    <message>
        <source>无法启动固件升级工具stupdaterapp.exe。<byte value="xd"/>请确认已安装Wine和SigmaTel MSCN Audio Player软件。</source>
        <translation>The flashing tool stupdaterapp.exe could not be started.<byte value="xd"/>Please make sure that Wine and the SigmaTel MSCN Audio Player software are installed.</translation>
    </message>
    <message>
        <source>无法写入文件夹%1：%2<byte value="xd"/>固件包未保存。请检查磁盘空间和文件夹的权限。</source>
        <translation>The folder %1 cannot be written: %2<byte value="xd"/>The firmware package was not saved. Please check the free space on the disk and the folder&apos;s permissions.</translation>
    </message>
    <message>
        <source>代理设置%1无法使用：%2<byte value="xd"/>请更正或删除该环境变量后再试。</source>
        <translation>The proxy setting %1 cannot be read: %2<byte value="xd"/>Please correct or remove the variable and try again.</translation>
    </message>
    <message>
        <source>已拒绝从 %1 重定向到 %2：该重定向会离开安全连接。</source>
        <translation>The redirect from %1 to %2 was refused: it leaves the secure connection.</translation>
    </message>
    <message>
        <source>警告</source>
        <translation>Warning</translation>
    </message>
    <message>
        <source>错误</source>
        <translation>Error</translation>
    </message>
    <message>
        <source>信息</source>
        <translation>Information</translation>
    </message>
    <message>
        <source>询问</source>
        <translation>Question</translation>
    </message>
    <message>
        <source>Tavro MP3 在线升级</source>
        <translation>Tavro MP3 LiveUpdate</translation>
    </message>
    <message>
        <source>tavro：窗口需要显示器，但没有设置（DISPLAY、WAYLAND_DISPLAY）。
命令无需显示器即可运行：见 &apos;tavro --help&apos;。
</source>
        <translation>tavro: the window needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY).
The commands run without one: see &apos;tavro --help&apos;.
</translation>
    </message>
    <message>
        <source>用法：%1 [选项]...
  或：%1 命令 [参数]...
从升级服务器获取 Tavro MP3 播放器的固件并交给播放器的升级工具：在窗口中，或在
终端中用命令完成。

命令（不打开窗口；“%1 命令 --help”有详细说明）：
  list [--offline] [--json]       配置文件中的型号和版本
  list --stored [--json]          固件库中的固件包及其是否校验通过
  notes 型号 版本                 某个版本的发布说明（纯文本）
  fetch 型号 [版本] [--force]     将固件包（默认最新版本）下载到固件库
  verify 型号 版本 | 文件         按签名校验固件包
  install 型号 版本 [-y] [--json] 将已保存的固件包交给升级工具
  clean [型号 [版本]] [-y]        从固件库中删除固件包
每个命令都接受 -v/--verbose（日志同时输出到标准错误）、-q/--quiet（只报告错误）
和 --（其后的参数都不是选项）。

选项：
      --log-stderr  日志同时输出到标准错误
  -h, --help        显示此帮助并退出
  -V, --version     显示版本信息并退出

退出状态：
  0 完成，1 失败（文件夹无法写入、结果无法写出），2 命令行有误或代理环境变量无法读取，
  3 未通过签名校验，4 网络故障或服务器返回错误状态，130 用 Ctrl-C 或 SIGTERM 取消。
  窗口以及 fetch、install、clean 和不带 --offline 的 list 会写入固件库：同一固件库
  同一时间只运行其中一个。

环境变量：
  http_proxy, https_proxy, no_proxy
                    访问升级服务器和网页视图所用的代理
  LANGUAGE, LC_ALL, LC_MESSAGES, LANG
                    界面语言：中文（C 或 POSIX 时也是），否则英文
  TERM, COLUMNS     进度条按终端宽度绘制；TERM=dumb 或不是终端时输出不含控制符的
                    纯文本行

文件：
  配置文件、user.ini 和 FirmwareBack/ 位于程序旁边；程序已安装或其文件夹不可写时位于
  $XDG_DATA_HOME/tavro/（默认 ~/.local/share）。日志是 $XDG_STATE_HOME/tavro/tavro.log
  （默认 ~/.local/state），旁边另有两个较旧的文件。

示例：
  %1 fetch TA-100              下载 TA-100 的最新版本
  %1 install -y TA-100 1.20    不询问，将其交给升级工具
  %1 list --stored             固件库中的固件包及其是否校验通过
  %1 clean -y TA-100           删除 TA-100 保存的全部固件包
</source>
        <translation>Usage: %1 [OPTION]...
  or:  %1 COMMAND [ARGUMENT]...
Fetch firmware for Tavro MP3 players from the update server and hand it to the
player&apos;s flashing tool: in a window, or from a terminal with a command.

Commands (no window opens; &apos;%1 COMMAND --help&apos; tells more):
  list [--offline] [--json]       the catalogue&apos;s models and versions
  list --stored [--json]          the store&apos;s packages, and whether each verifies
  notes MODEL VERSION             a version&apos;s release notes as plain text
  fetch MODEL [VERSION] [--force]  download a package (the newest by default)
  verify MODEL VERSION | FILE     check a package against its signature
  install MODEL VERSION [-y] [--json]  hand a stored package to the flashing tool
  clean [MODEL [VERSION]] [-y]    remove packages from the store
Every command also takes -v/--verbose (the log on standard error too),
-q/--quiet (errors only) and -- (no options after it).

Options:
      --log-stderr  also write the log to standard error
  -h, --help        display this help and exit
  -V, --version     output version information and exit

Exit status:
  0 done, 1 failed (a folder that cannot be written, results that cannot be
  written), 2 wrong command line or an unreadable proxy variable, 3 refused by a
  signature check, 4 network failure or an error status from the server,
  130 cancelled with Ctrl-C or SIGTERM. The window, fetch, install, clean and
  list without --offline write the store: one of them runs at a time on one
  store.

Environment:
  http_proxy, https_proxy, no_proxy
                    the proxy for the update server and the web views
  LANGUAGE, LC_ALL, LC_MESSAGES, LANG
                    the language: Chinese (also for C or POSIX), else English
  TERM, COLUMNS     the progress bar fits the terminal&apos;s width; with TERM=dumb or
                    no terminal, plain lines without escape sequences

Files:
  The catalogue, user.ini and FirmwareBack/ lie next to the program, or in
  $XDG_DATA_HOME/tavro/ (default ~/.local/share) when the program is installed or
  its folder is not writable. The log is $XDG_STATE_HOME/tavro/tavro.log
  (default ~/.local/state), with two older files beside it.

Examples:
  %1 fetch TA-100              download the newest version of TA-100
  %1 install -y TA-100 1.20    hand it to the flashing tool without asking
  %1 list --stored             the stored packages, and whether each verifies
  %1 clean -y TA-100           remove every stored package of TA-100
</translation>
    </message>
    <message numerus="yes">
        <source>从固件库中删除这 %n 个固件包（共 %1 字节）？</source>
        <translation>
            <numerusform>Remove this package (%1 bytes) from the store?</numerusform>
            <numerusform>Remove these %n packages (%1 bytes) from the store?</numerusform>
        </translation>
    </message>
    <message>
        <source>固件库中没有匹配的固件包。</source>
        <translation>No package in the store matches.</translation>
    </message>
    <message>
        <source>固件库是空的。</source>
        <translation>The store is empty.</translation>
    </message>
    <message>
        <source>未删除任何文件。</source>
        <translation>Nothing was removed.</translation>
    </message>
    <message>
        <source>无法删除：</source>
        <translation>Cannot remove: </translation>
    </message>
    <message>
        <source>“%1”不是已打开的文件描述符</source>
        <translation>&apos;%1&apos; is not an open file descriptor</translation>
    </message>
    <message>
        <source>本程序的另一个实例正在运行：固件库同一时间只能有一个写入者。请在它结束后再试。</source>
        <translation>Another instance of this program is running: the firmware store has one writer at a time. Try again when it has ended.</translation>
    </message>
    <message>
        <source>服务器上的配置文件未通过签名校验，已拒绝。</source>
        <translation>The catalogue on the server was refused by its signature check.</translation>
    </message>
    <message>
        <source>配置文件中没有此型号：</source>
        <translation>No such model in the catalogue: </translation>
    </message>
    <message>
        <source>配置文件中没有该型号的此版本：</source>
        <translation>No such version of the model in the catalogue: </translation>
    </message>
    <message>
        <source>
  -v, --verbose      日志中本次运行的记录同时输出到标准错误
      --log-stderr   同 --verbose
  -q, --quiet        不显示进度，只报告错误
  -h, --help         显示此帮助并退出
  --                 其后的参数都不是选项
</source>
        <translation>
  -v, --verbose      also write this run&apos;s lines of the log to standard error
      --log-stderr   the same as --verbose
  -q, --quiet        no progress, errors only
  -h, --help         display this help and exit
  --                 the arguments after it are no options
</translation>
    </message>
    <message>
        <source>用法：%1 list [--offline] [--json]
  或：%1 list --stored [--json]
列出配置文件中的型号和版本：与启动时一样从升级服务器下载（失败时使用已保存的
配置文件）。已保存且校验通过的版本标记为“stored”。

  --offline   读取已保存的配置文件，不下载
  --stored    列出固件库中保存的固件包：型号、版本、大小、是否校验通过
  --json      以 JSON 格式输出
</source>
        <translation>Usage: %1 list [--offline] [--json]
  or:  %1 list --stored [--json]
List the models and versions of the catalogue, fetched from the update server
as at start (the stored catalogue when that fails). Versions whose package is
stored and verifies are marked &quot;stored&quot;.

  --offline   read the stored catalogue, fetch nothing
  --stored    list the packages in the store: model, version, size, and whether
              each verifies
  --json      print the list as JSON
</translation>
    </message>
    <message>
        <source>用法：%1 notes 型号 版本
以纯文本输出某个版本的发布说明：从升级服务器获取，否则使用固件库中的副本。
</source>
        <translation>Usage: %1 notes MODEL VERSION
Print the release notes of a version as plain text, fetched from the update
server, else the copy in the store.
</translation>
    </message>
    <message>
        <source>用法：%1 fetch 型号 [版本]
按窗口下载的全部规则将固件包下载到固件库：先取签名，遵守签名中的大小，
中断后续传重试。未给出版本时下载该型号的最新版本（版本号最大的）。
输出保存的文件。已保存且校验通过的固件包不再重新下载。

  --force              仍然重新下载
  --json               以 JSON 格式输出结果
  --progress-json[=FD] 进度以每行一个 JSON 对象写到标准错误（或文件描述符 FD）
</source>
        <translation>Usage: %1 fetch MODEL [VERSION]
Download a package into the store under every rule of the window&apos;s download:
its signature first, its signed size, retries that resume. VERSION defaults
to the newest version of the model (the highest version number). Prints the
stored file. A package already stored that verifies is not fetched again.

  --force              fetch it again all the same
  --json               print the result as JSON
  --progress-json[=FD] progress as one JSON object a line on standard error (or
                       on descriptor FD)
</translation>
    </message>
    <message>
        <source>用法：%1 verify 型号 版本
  或：%1 verify 文件
按旁边的签名和受信任的密钥校验已保存或指定的固件包；说明签名者、签名对应的
文件、签名时间及签名中的大小。

  --json      以 JSON 格式输出结果
</source>
        <translation>Usage: %1 verify MODEL VERSION
  or:  %1 verify FILE
Check a stored or given package against the signature beside it and the
trusted keys; say who signed it, for which file, when, and its signed size.

  --json      print the result as JSON
</translation>
    </message>
    <message>
        <source>用法：%1 install 型号 版本 [--yes]
像固件升级按钮一样将已保存的固件包交给播放器的升级工具：校验，解压到播放器
软件的文件夹，请您连接播放器，然后启动升级工具。

  -y, --yes   不询问：播放器已连接
  --json      以 JSON 格式输出结果
</source>
        <translation>Usage: %1 install MODEL VERSION [--yes]
Hand a stored package to the player&apos;s flashing tool, as the firmware upgrade
button does: check it, unpack it into the player software&apos;s folder, ask to
connect the player, and start the tool.

  -y, --yes   do not ask; the player is connected
  --json      print the result as JSON
</translation>
    </message>
    <message>
        <source>用法：%1 clean [型号 [版本]]
从固件库中删除固件包（连同其签名和发布说明）：全部、某型号的全部或一个版本。
删除前列出并询问。

  -y, --yes   不询问
</source>
        <translation>Usage: %1 clean [MODEL [VERSION]]
Remove packages from the store, each with its signature and release notes:
all of them, all of a model, or one version. They are listed and the
removal asked for first.

  -y, --yes   do not ask
</translation>
    </message>
    <message>
        <source>请尝试执行“tavro %1 --help”来获取更多信息。</source>
        <translation>Try &apos;tavro %1 --help&apos; for more information.</translation>
    </message>
    <message>
        <source>无法识别的选项“%1”</source>
        <translation>unrecognized option &apos;%1&apos;</translation>
    </message>
    <message>
        <source>选项“%1”不接受参数</source>
        <translation>option &apos;%1&apos; doesn&apos;t allow an argument</translation>
    </message>
    <message>
        <source>缺少操作对象</source>
        <translation>missing operand</translation>
    </message>
    <message>
        <source>多余的操作对象“%1”</source>
        <translation>extra operand &apos;%1&apos;</translation>
    </message>
    <message>
        <source>固件包已保存且校验通过，不再下载（--force 可重新下载）。</source>
        <translation>The package is already stored and verified (--force fetches it again).</translation>
    </message>
    <message>
        <source>升级工具未启动。</source>
        <translation>The flashing tool was not started.</translation>
    </message>
    <message>
        <source>固件库中没有此固件包：请先下载（fetch）。</source>
        <translation>The package is not in the store: fetch it first.</translation>
    </message>
    <message>
        <source>未校验</source>
        <translation>not checked</translation>
    </message>
    <message>
        <source>校验通过</source>
        <translation>verified</translation>
    </message>
    <message>
        <source>校验失败</source>
        <translation>refused</translation>
    </message>
    <message>
        <source>不是固件包名称：</source>
        <translation>not a package name: </translation>
    </message>
    <message>
        <source>无法获取发布说明，固件库中也没有保存的副本。</source>
        <translation>The release notes could not be fetched, and none are stored.</translation>
    </message>
    <message>
        <source>无法获取发布说明；以下是保存的副本。</source>
        <translation>The release notes could not be fetched; the stored copy follows.</translation>
    </message>
    <message>
        <source>请使用USB连接线将MP3与电脑相连，连接好后输入 y 开始升级。</source>
        <translation>Connect the MP3 player to the computer with the USB cable, then answer y to start the upgrade.</translation>
    </message>
    <message>
        <source>已取消。</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>签名密钥</source>
        <translation>signed by key</translation>
    </message>
    <message>
        <source>签名对应的文件</source>
        <translation>signed for file</translation>
    </message>
    <message>
        <source>签名时间</source>
        <translation>signed on</translation>
    </message>
    <message>
        <source>签名中的大小</source>
        <translation>signed size</translation>
    </message>
    <message>
        <source>没有此文件：</source>
        <translation>No such file: </translation>
    </message>
    <message>
        <source>没有受信任的密钥：无从校验。</source>
        <translation>No key is trusted: there is nothing to check against.</translation>
    </message>
    <message>
        <source>此版本的更新说明无法显示。</source>
        <translation>The release notes of this version are not available.</translation>
    </message>
    <message>
        <source>tavro：无法打开显示器 %1。
命令无需显示器即可运行：见 &apos;tavro --help&apos;。
</source>
        <translation>tavro: the display %1 cannot be opened.
The commands run without one: see &apos;tavro --help&apos;.
</translation>
    </message>
</context>
</TS>
