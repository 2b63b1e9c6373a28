// The controls the windows are built from, with the platform's properties.
//
// Each control takes its name (also its Qt object name, so tests and tools find it),
// its parent and its rectangle in pixels relative to the parent's client area.
#pragma once

#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QStringList>
#include <QTextEdit>
#include <vector>

#include "runtime/SysUtils.h"

// The platform's colours the designs name.
namespace TColors {
const QColor clBtnFace(240, 240, 240);
const QColor clWindowText(0, 0, 0);
const QColor clGray(128, 128, 128);
const QColor clWhite(255, 255, 255);
const QColor cl3DLight(227, 227, 227);
const QColor clGrayText(109, 109, 109);
}  // namespace TColors

// Gives the widget its name and place.
void PlaceControl(QWidget* control, const char* name, int left, int top, int width, int height);
// Font colour (and, when valid, an opaque background colour).
void SetControlColors(QWidget* control, const QColor& text, const QColor& background = QColor());

class TLabel : public QLabel {
 public:
  // A label that sizes itself to its caption unless autoSize is false.
  TLabel(QWidget* parent, const char* name, int left, int top, int width, int height, const QString& caption,
         bool autoSize = true);
  // A visible label takes its new caption on screen at its window's next paint (at most
  // once a frame), so a label set for every received block costs next to nothing;
  // Caption() gives the new caption at once.
  void SetCaption(const QString& caption);
  QString Caption() const { return caption_; }
  // Puts every pending caption on its label; the window calls it before it paints.
  static void ApplyPendingCaptions();

 protected:
  // A new font resizes a label that sizes itself.
  void changeEvent(QEvent* event) override;
  // The caption hangs from the top edge by the height of the face's tallest characters,
  // not by its ascent, whose extra room the designed boxes do not have.
  void paintEvent(QPaintEvent* event) override;

 private:
  void ApplyCaption();
  void FitToCaption();

  bool autoSize_;
  bool pending_ = false;
  QString caption_;
};

class TPanel : public QFrame {
 public:
  // A panel without caption and with the raised bevel.
  TPanel(QWidget* parent, const char* name, int left, int top, int width, int height);
  ~TPanel() override;
};

class TButton : public QPushButton {
 public:
  TButton(QWidget* parent, const char* name, int left, int top, int width, int height, const QString& caption);
  void SetCaption(const QString& caption) { setText(caption); }
  QString Caption() const { return text(); }
};

// A drop-down list without free text. Selecting from code raises no change event; the
// change event (QComboBox::activated) comes only from the user.
class TComboBox : public QComboBox {
 public:
  TComboBox(QWidget* parent, const char* name, int left, int top, int width, int height);
  ~TComboBox() override;
  void Clear() { clear(); }
  void SetItems(const QStringList& items);
  // An index outside the list leaves no selection.
  void SetItemIndex(int index);
  int ItemIndex() const { return currentIndex(); }
  QString Text() const { return currentIndex() < 0 ? QString() : currentText(); }
  // Items in ANSI (936): shown converted, read back as the very bytes they came as.
  void SetAnsiItems(const std::vector<AnsiString>& items);
  // The selected item's ANSI text; empty with no selection.
  AnsiString AnsiText() const;
};

class TProgressBar : public QProgressBar {
 public:
  TProgressBar(QWidget* parent, const char* name, int left, int top, int width, int height);
  void SetMin(int value) { setMinimum(value); }
  void SetMax(int value) { setMaximum(value); }
  void SetPosition(int value) { setValue(value); }
  int Position() const { return value(); }
};

// A rich-text edit, not a plain one: only the rich-text layout keeps a fixed line pitch,
// which the designed boxes are measured for.
class TMemo : public QTextEdit {
 public:
  // Read-only text without border or 3-D edge, lines spaced at the designed pitch.
  TMemo(QWidget* parent, const char* name, int left, int top, int width, int height, const QStringList& lines);
};
