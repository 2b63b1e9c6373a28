// The icons of the message boxes: drawn, not scaled bitmaps, so that they stay sharp at any
// scale of the screen, and named for a screen reader by the severity they show.
#pragma once

#include <QPixmap>

class QMessageBox;

enum TSeverity { svWarning, svError, svInformation, svQuestion };

// The icon, size logical pixels square, drawn for a screen of the given device pixel ratio.
QPixmap SeverityPixmap(TSeverity severity, int size, qreal devicePixelRatio);
// The severity's name in the language in use ("警告", "错误", "信息", "询问").
QString SeverityName(TSeverity severity);
// Gives the box the icon at its screen's scale, and the icon its name.
void SetSeverityIcon(QMessageBox& box, TSeverity severity);
