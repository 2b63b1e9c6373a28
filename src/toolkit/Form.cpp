#include "toolkit/Form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/ErrorBox.h"

TForm::TForm(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) {}

void TForm::Repaint() {
  repaint();
  QCoreApplication::sendPostedEvents(this);
}

void TForm::CenterOnScreen() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return;
  const QRect area = screen->geometry();
  const QSize size = frameGeometry().size().expandedTo(this->size());
  move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
}

void TForm::closeEvent(QCloseEvent* event) {
  if (!CloseQuery() || !RunGuarded([this] { FormClose(nullptr); })) {
    event->ignore();
    return;
  }
  event->accept();
  if (Application && Application->MainForm() == this) Application->Terminate();
}

bool TForm::event(QEvent* event) {
  if (event->type() == QEvent::UpdateRequest) {
    if (lastPaint_.isValid() && lastPaint_.elapsed() < kFrameMs) {
      if (!paintDeferred_) {
        paintDeferred_ = true;
        QTimer::singleShot(kFrameMs - static_cast<int>(lastPaint_.elapsed()), this, [this] {
          paintDeferred_ = false;
          QCoreApplication::postEvent(this, new QEvent(QEvent::UpdateRequest));
        });
      }
      return true;
    }
    lastPaint_.start();
    TLabel::ApplyPendingCaptions();
  }
  return QWidget::event(event);
}
