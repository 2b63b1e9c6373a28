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
        <source>Another instance of this program is running: the firmware store has one writer at a time. Try again when it has ended.</source>
        <translation>Another instance of this program is running: the firmware store has one writer at a time. Try again when it has ended.</translation>
    </message>
    <message>
        <source>No such model in the catalogue: </source>
        <translation>No such model in the catalogue: </translation>
    </message>
    <message>
        <source>No such version of the model in the catalogue: </source>
        <translation>No such version of the model in the catalogue: </translation>
    </message>
    <message>
        <source>Usage: %1 list [--offline] [--json]
List the models and versions of the catalogue, fetched from the update server
as at start (the stored catalogue when that fails). Versions whose package is
stored and verifies are marked &quot;stored&quot;.

  --offline   read the stored catalogue, fetch nothing
  --json      print the list as JSON
</source>
        <translation>Usage: %1 list [--offline] [--json]
List the models and versions of the catalogue, fetched from the update server
as at start (the stored catalogue when that fails). Versions whose package is
stored and verifies are marked &quot;stored&quot;.

  --offline   read the stored catalogue, fetch nothing
  --json      print the list as JSON
</translation>
    </message>
    <message>
        <source>Usage: %1 notes MODEL VERSION
Print the release notes of a version as plain text, fetched from the update
server, else the copy in the store.
</source>
        <translation>Usage: %1 notes MODEL VERSION
Print the release notes of a version as plain text, fetched from the update
server, else the copy in the store.
</translation>
    </message>
    <message>
        <source>Usage: %1 verify MODEL VERSION
  or:  %1 verify FILE
Check a stored or given package against the signature beside it and the
trusted keys; say who signed it, for which file, when, and its signed size.

  --json      print the result as JSON
</source>
        <translation>Usage: %1 verify MODEL VERSION
  or:  %1 verify FILE
Check a stored or given package against the signature beside it and the
trusted keys; say who signed it, for which file, when, and its signed size.

  --json      print the result as JSON
</translation>
    </message>
    <message>
        <source>Usage: %1 install MODEL VERSION [--yes]
Hand a stored package to the player&apos;s flashing tool, as the firmware upgrade
button does: check it, unpack it into the player software&apos;s folder, ask to
connect the player, and start the tool.

  --yes       do not ask; the player is connected
</source>
        <translation>Usage: %1 install MODEL VERSION [--yes]
Hand a stored package to the player&apos;s flashing tool, as the firmware upgrade
button does: check it, unpack it into the player software&apos;s folder, ask to
connect the player, and start the tool.

  --yes       do not ask; the player is connected
</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>The flashing tool was not started.</source>
        <translation>The flashing tool was not started.</translation>
    </message>
    <message>
        <source>The package is not in the store: fetch it first.</source>
        <translation>The package is not in the store: fetch it first.</translation>
    </message>
    <message>
        <source>The release notes could not be fetched, and none are stored.</source>
        <translation>The release notes could not be fetched, and none are stored.</translation>
    </message>
    <message>
        <source>The release notes could not be fetched; the stored copy follows.</source>
        <translation>The release notes could not be fetched; the stored copy follows.</translation>
    </message>
    <message>
        <source>verified</source>
        <translation>verified</translation>
    </message>
    <message>
        <source>refused</source>
        <translation>refused</translation>
    </message>
    <message>
        <source>signed by key</source>
        <translation>signed by key</translation>
    </message>
    <message>
        <source>signed for file</source>
        <translation>signed for file</translation>
    </message>
    <message>
        <source>signed on</source>
        <translation>signed on</translation>
    </message>
    <message>
        <source>signed size</source>
        <translation>signed size</translation>
    </message>
    <message>
        <source>No such file: </source>
        <translation>No such file: </translation>
    </message>
    <message>
        <source>No key is trusted: there is nothing to check against.</source>
        <translation>No key is trusted: there is nothing to check against.</translation>
    </message>
    <message>
        <source>The catalogue on the server was refused by its signature check.</source>
        <translation>The catalogue on the server was refused by its signature check.</translation>
    </message>
    <message>
        <source>此版本的更新说明无法显示。</source>
        <translation>The release notes of this version are not available.</translation>
    </message>
    <message>
        <source>Usage: %1 [OPTION]...
  or:  %1 COMMAND [ARGUMENT]...
Fetch firmware for Tavro MP3 players from the update server and hand it to the
player&apos;s flashing tool: in a window, or from a terminal with a command.

Commands (no window opens; &apos;%1 COMMAND --help&apos; tells more):
  list [--offline] [--json]       the catalogue&apos;s models and versions
  notes MODEL VERSION             a version&apos;s release notes as plain text
  fetch MODEL [VERSION] [--force] download a package into the store
  verify MODEL VERSION | FILE     check a package against its signature
  install MODEL VERSION [--yes]   hand a stored package to the flashing tool

Options:
      --log-stderr  also write the log to standard error
  -h, --help        display this help and exit
  -V, --version     output version information and exit

Environment:
  http_proxy, https_proxy, no_proxy  the proxy for the update server and the web views

Files:
  The catalogue, user.ini and FirmwareBack/ lie next to the program, or in
  $XDG_DATA_HOME/tavro/ (default ~/.local/share) when the program is installed or
  its folder is not writable. The log is $XDG_STATE_HOME/tavro/tavro.log
  (default ~/.local/state), with two older files beside it.

Exit status of the commands:
  0 done, 1 failed (a folder that cannot be written, results that cannot be
  written), 2 wrong command line or an unreadable proxy variable, 3 refused by a
  signature check, 4 network failure or an error status from the server,
  130 cancelled with Ctrl-C or SIGTERM. The window, fetch, install and
  list without --offline write the store: one of them runs at a time.
</source>
        <translation>Usage: %1 [OPTION]...
  or:  %1 COMMAND [ARGUMENT]...
Fetch firmware for Tavro MP3 players from the update server and hand it to the
player&apos;s flashing tool: in a window, or from a terminal with a command.

Commands (no window opens; &apos;%1 COMMAND --help&apos; tells more):
  list [--offline] [--json]       the catalogue&apos;s models and versions
  notes MODEL VERSION             a version&apos;s release notes as plain text
  fetch MODEL [VERSION] [--force] download a package into the store
  verify MODEL VERSION | FILE     check a package against its signature
  install MODEL VERSION [--yes]   hand a stored package to the flashing tool

Options:
      --log-stderr  also write the log to standard error
  -h, --help        display this help and exit
  -V, --version     output version information and exit

Environment:
  http_proxy, https_proxy, no_proxy  the proxy for the update server and the web views

Files:
  The catalogue, user.ini and FirmwareBack/ lie next to the program, or in
  $XDG_DATA_HOME/tavro/ (default ~/.local/share) when the program is installed or
  its folder is not writable. The log is $XDG_STATE_HOME/tavro/tavro.log
  (default ~/.local/state), with two older files beside it.

Exit status of the commands:
  0 done, 1 failed (a folder that cannot be written, results that cannot be
  written), 2 wrong command line or an unreadable proxy variable, 3 refused by a
  signature check, 4 network failure or an error status from the server,
  130 cancelled with Ctrl-C or SIGTERM. The window, fetch, install and
  list without --offline write the store: one of them runs at a time.
</translation>
    </message>
    <message>
        <source>tavro: the window needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY).
The commands run without one: see &apos;tavro --help&apos;.
</source>
        <translation>tavro: the window needs a display, and none is set (DISPLAY, WAYLAND_DISPLAY).
The commands run without one: see &apos;tavro --help&apos;.
</translation>
    </message>
    <message>
        <source>Usage: %1 fetch MODEL [VERSION] [--force]
Download a package into the store under every rule of the window&apos;s download:
its signature first, its signed size, retries that resume. VERSION defaults
to the version the window would preselect. Prints the stored file. A package
already stored that verifies is not fetched again.

  --force     fetch it again all the same
</source>
        <translation>Usage: %1 fetch MODEL [VERSION] [--force]
Download a package into the store under every rule of the window&apos;s download:
its signature first, its signed size, retries that resume. VERSION defaults
to the version the window would preselect. Prints the stored file. A package
already stored that verifies is not fetched again.

  --force     fetch it again all the same
</translation>
    </message>
    <message>
        <source>The package is already stored and verified (--force fetches it again).</source>
        <translation>The package is already stored and verified (--force fetches it again).</translation>
    </message>
</context>
</TS>
