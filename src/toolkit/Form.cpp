#include "toolkit/Form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

#include "toolkit/Accessibility.h"
#include "toolkit/Application.h"
#include "toolkit/Controls.h"
#include "toolkit/ErrorBox.h"

TForm::TForm(QWidget* parent, Qt::WindowFlags flags) : QWidget(parent, flags) { SetAccessibleKind(this, akWindow); }

TForm::~TForm() { ForgetAccessibleKind(this); }

void TForm::Repaint() {
  repaint();
  QCoreApplication::sendPostedEvents(this);
}

void TForm::CenterOnScreen() {
  const bool framed = !(windowFlags() & Qt::FramelessWindowHint);
  centerWhenFramed_ = !CenterWithFrame() && framed;
}

bool TForm::CenterWithFrame() {
  const QScreen* screen = QGuiApplication::primaryScreen();
  if (!screen) return true;
  const QRect area = screen->geometry();
  // Until the window manager has framed the window, the frame is the client area.
  const QSize size = frameGeometry().size().expandedTo(this->size());
  move(area.x() + (area.width() - size.width()) / 2, area.y() + (area.height() - size.height()) / 2);
  return size != this->size();
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
  // The focused control shows its focus from the start, not only after the first Tab: a
  // person using the keyboard must see where the first key press goes. Showing a window
  // clears the mark, so it is set again each time the window is shown.
  if (event->type() == QEvent::Show) setAttribute(Qt::WA_KeyboardFocusChange);
  // The window manager reports the frame with the move that places the framed window.
  if (centerWhenFramed_ && isVisible() && (event->type() == QEvent::Move || event->type() == QEvent::Show) &&
      frameGeometry().size() != size()) {
    centerWhenFramed_ = false;
    CenterWithFrame();
  }
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
