#include "toolkit/SeverityIcon.h"

#include <QLabel>
#include <QMessageBox>
#include <QPainter>
#include <QPainterPath>
#include <QStyle>

#include "toolkit/Translation.h"

namespace {
// A white mark on a coloured disc (error, information, question) or a black mark on a
// yellow triangle (warning), on a 32-unit square.
void DrawSeverity(QPainter& painter, TSeverity severity) {
  painter.setRenderHint(QPainter::Antialiasing);
  painter.setPen(QPen(QColor(0, 0, 0, 110), 1));
  QColor mark = Qt::white;
  if (severity == svWarning) {
    QPainterPath triangle;
    triangle.moveTo(16, 2);
    triangle.lineTo(31, 29);
    triangle.lineTo(1, 29);
    triangle.closeSubpath();
    painter.setBrush(QColor(250, 200, 30));
    painter.drawPath(triangle);
    mark = Qt::black;
  } else {
    painter.setBrush(severity == svError ? QColor(215, 40, 40) : QColor(35, 105, 215));
    painter.drawEllipse(QRectF(1, 1, 30, 30));
  }
  painter.setPen(QPen(mark, 3.2, Qt::SolidLine, Qt::RoundCap));
  switch (severity) {
    case svWarning:
      painter.drawLine(QPointF(16, 11), QPointF(16, 20));
      painter.drawPoint(QPointF(16, 25));
      break;
    case svError:
      painter.drawLine(QPointF(10.5, 10.5), QPointF(21.5, 21.5));
      painter.drawLine(QPointF(21.5, 10.5), QPointF(10.5, 21.5));
      break;
    case svInformation:
      painter.drawPoint(QPointF(16, 9));
      painter.drawLine(QPointF(16, 14), QPointF(16, 24));
      break;
    case svQuestion: {
      QPainterPath hook;
      hook.moveTo(11.5, 12);
      hook.cubicTo(11.5, 6, 20.5, 6, 20.5, 12);
      hook.cubicTo(20.5, 16, 16, 16, 16, 20);
      painter.setBrush(Qt::NoBrush);
      painter.drawPath(hook);
      painter.drawPoint(QPointF(16, 25));
      break;
    }
  }
}
}  // namespace

QPixmap SeverityPixmap(TSeverity severity, int size, qreal devicePixelRatio) {
  const int side = qRound(size * devicePixelRatio);
  QPixmap pixmap(side, side);
  pixmap.fill(Qt::transparent);
  {
    QPainter painter(&pixmap);
    painter.scale(side / 32.0, side / 32.0);
    DrawSeverity(painter, severity);
  }
  pixmap.setDevicePixelRatio(devicePixelRatio);
  return pixmap;
}

QString SeverityName(TSeverity severity) {
  switch (severity) {
    case svWarning: return Tavro::tr("警告");
    case svError: return Tavro::tr("错误");
    case svInformation: return Tavro::tr("信息");
    case svQuestion: return Tavro::tr("询问");
  }
  return QString();
}

void SetSeverityIcon(QMessageBox& box, TSeverity severity) {
  const int size = box.style()->pixelMetric(QStyle::PM_MessageBoxIconSize, nullptr, &box);
  box.setIconPixmap(SeverityPixmap(severity, size, box.devicePixelRatio()));
  if (auto* icon = box.findChild<QLabel*>("qt_msgboxex_icon_label")) icon->setAccessibleName(SeverityName(severity));
}
