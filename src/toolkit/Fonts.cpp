#include "toolkit/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

namespace {
// The first family of the list that is installed, else the last one (the system then
// substitutes its own choice).
QString FirstInstalled(const QStringList& families) {
  const QStringList installed = QFontDatabase::families();
  for (const QString& family : families)
    if (installed.contains(family, Qt::CaseInsensitive)) return family;
  return families.back();
}
}  // namespace

QFont DesignFont(const QString& name, int pixelSize) {
  QFont font;
  if (name == QString::fromUtf8("宋体")) {
    // The designed boxes are measured for a face that sets Latin letters at half the width of
    // a Chinese character, as the mono cut of WenQuanYi Zen Hei does.
    font.setFamily(FirstInstalled(
        {"WenQuanYi Zen Hei Mono", "WenQuanYi Zen Hei", "Noto Sans Mono CJK SC", "AR PL UMing CN", "Sans Serif"}));
  } else if (name == "MS Sans Serif") {
    font.setFamily(FirstInstalled({"DejaVu Sans", "Liberation Sans", "Sans Serif"}));
    font.setStyleHint(QFont::SansSerif);
  } else {
    font.setFamily(name);
  }
  font.setPixelSize(pixelSize);
  return font;
}
