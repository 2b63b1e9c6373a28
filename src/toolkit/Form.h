// A window of the application: caption, show/hide, close handling, native handle.
//
// Closing the window runs FormClose under the error box. When it raises, the close
// does not complete and the window stays open (the platform's behaviour); a window that
// must always close catches its own errors. A closed main window ends the application.
// A window may defer a close (CloseQuery false), for instance while one of its handlers
// is still running below a message pump.
#pragma once

#include <QElapsedTimer>
#include <QWidget>

#include "runtime/Component.h"

// A window is also a component, so its handlers can name it as their Sender.
class TForm : public QWidget, public TComponent {
 public:
  explicit TForm(QWidget* parent = nullptr, Qt::WindowFlags flags = Qt::Window);
  ~TForm() override;

  void SetCaption(const QString& caption) { setWindowTitle(caption); }
  QString Caption() const { return windowTitle(); }
  void Show() { show(); }
  void Hide() { hide(); }
  // Paints the window now, before the next start-up step.
  void Repaint();
  // The native handle, owner of message boxes and of shell calls.
  QWidget* Handle() { return this; }

  // Centres the whole window, frame included, on the desktop. A window not yet shown has
  // no frame to measure (the window manager adds it when the window is mapped), so it is
  // centred again, once, as soon as its frame is known.
  void CenterOnScreen();

 protected:
  // False defers the close: the window stays open and the close is not run.
  virtual bool CloseQuery() { return true; }
  // OnClose.
  virtual void FormClose(TObject* /*Sender*/) {}
  void closeEvent(QCloseEvent* event) override;
  // Paints at most once a frame: during a download the labels change with every block
  // received, and the message pump runs after every block; painting each of those
  // changes would cost more than receiving the data. A change that arrives within a
  // frame of the last paint is painted at the end of that frame.
  bool event(QEvent* event) override;

 private:
  // Centres the window with the frame size known now; false when it is not known yet.
  bool CenterWithFrame();

  static constexpr int kFrameMs = 16;
  QElapsedTimer lastPaint_;
  bool paintDeferred_ = false;
  bool centerWhenFramed_ = false;
};
