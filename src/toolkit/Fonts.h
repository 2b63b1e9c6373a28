// The fonts the windows' designs name, mapped to fonts installed on this system.
#pragma once

#include <QFont>
#include <QString>

// "宋体" becomes an installed CJK font (the mono cut of WenQuanYi Zen Hei when present, so Chinese texts
// never show as boxes), and while English is in use the proportional sans serif that
// "MS Sans Serif" becomes too. Any other name
// is passed on. The size is a character height in pixels, as in the designs.
QFont DesignFont(const QString& name, int pixelSize);
