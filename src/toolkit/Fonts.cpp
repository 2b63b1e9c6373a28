#include "toolkit/Fonts.h"

#include <QFontDatabase>
#include <QStringList>

#include "toolkit/Translation.h"

namespace {
// The first family of the list that is installed, else the last one (the system then
// substitutes its own choice). The font database lists a family under its name in the
// desktop's language ("文泉驿等宽正黑" on a Chinese desktop) and knows its other names as
// aliases, so a family is looked up by name, never searched for in the listed names.
QString FirstInstalled(const QStringList& families) {
  for (const QString& family : families)
    if (QFontDatabase::hasFamily(family)) return family;
  return families.back();
}
}  // namespace

QFont DesignFont(const QString& name, int pixelSize) {
  QFont font;
  if (name == QString::fromUtf8("宋体") && LanguageInUse() == lgEnglish) {
    // English texts in a proportional face of the widths the platform's own faces had (Arial's),
    // which the designed boxes hold at the designed size.
    font.setFamily(FirstInstalled({"Liberation Sans", "Arimo", "DejaVu Sans", "Sans Serif"}));
    font.setStyleHint(QFont::SansSerif);
  } else if (name == QString::fromUtf8("宋体")) {
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
