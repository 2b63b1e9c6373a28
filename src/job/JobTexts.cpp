#include "job/JobTexts.h"

const char* const kConnectPrompt =
    TAVRO_TRANSLATE_NOOP("Tavro", "请使用USB连接线将MP3与电脑相连。\r连接好后单击[确定]-[开始]按钮。");
const char* const kConnectCaption = TAVRO_TRANSLATE_NOOP("Tavro", "将您的MP3播放器与电脑连接");

const char* JobNoticeText(TJobNotice notice) {
  switch (notice) {
    case jnNone:
      return nullptr;
    case jnDownloadFailed:
      return TAVRO_TRANSLATE_NOOP("Tavro", "从服务器下载固件包时出错。\r请检查网络设置是否连接正常！");
    case jnDownloadRefused:
      return TAVRO_TRANSLATE_NOOP("Tavro", "固件包签名校验失败，固件包未保存。\r请稍后重新下载。");
    case jnStoredPackageRefused:
      return TAVRO_TRANSLATE_NOOP("Tavro", "固件包校验失败，请重新下载固件包后再试。");
    case jnNoPlayerFolder:
      return TAVRO_TRANSLATE_NOOP("Tavro", "未能找到SigmaTel MSCN Audio Player软件的安装目录。\r"
                                           "请重新安装该软件后再升级固件。");
    case jnUnpackFailed:
      return TAVRO_TRANSLATE_NOOP("Tavro", "固件包解压失败，请重新下载固件包后再试。");
    case jnToolNotStarted:
      return TAVRO_TRANSLATE_NOOP("Tavro", "无法启动固件升级工具stupdaterapp.exe。\r"
                                           "请确认已安装Wine和SigmaTel MSCN Audio Player软件。");
    case jnStoreNotWritable:
      return TAVRO_TRANSLATE_NOOP("Tavro", "无法写入文件夹%1：%2\r固件包未保存。请检查磁盘空间和文件夹的权限。");
    case jnProxyUnreadable:
      return TAVRO_TRANSLATE_NOOP("Tavro", "代理设置%1无法使用：%2\r请更正或删除该环境变量后再试。");
  }
  return nullptr;
}
