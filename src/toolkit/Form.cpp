#include "toolkit/Form.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QGuiApplication>
#include <QScreen>

#include "toolkit/Application.h"
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
