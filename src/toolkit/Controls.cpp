#include "toolkit/Controls.h"

#include <QAbstractItemView>
#include <QEvent>
#include <QFontMetrics>
#include <QPainter>
#include <QPointer>
#include <algorithm>
#include <QTextBlockFormat>
#include <QTextCursor>
#include <QTextDocument>

#include "toolkit/Accessibility.h"
#include "toolkit/MessageBox.h"

void PlaceControl(QWidget* control, const char* name, int left, int top, int width, int height) {
  control->setObjectName(name);
  control->setGeometry(left, top, width, height);
}

void SetControlColors(QWidget* control, const QColor& text, const QColor& background) {
  QPalette palette = control->palette();
  for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText}) {
    palette.setColor(QPalette::Active, role, text);
    palette.setColor(QPalette::Inactive, role, text);
    // A disabled control looks disabled: its text greys, as the platform's does.
    palette.setColor(QPalette::Disabled, role, TColors::clGrayText);
  }
  if (background.isValid()) {
    palette.setColor(QPalette::Window, background);
    palette.setColor(QPalette::Base, background);
    control->setAutoFillBackground(true);
  }
  control->setPalette(palette);
}

TLabel::TLabel(QWidget* parent, const char* name, int left, int top, int width, int height, const QString& caption,
               bool autoSize)
    : QLabel(parent), autoSize_(autoSize) {
  PlaceControl(this, name, left, top, width, height);
  setAlignment(Qt::AlignLeft | Qt::AlignTop);
  SetCaption(caption);
}

namespace {
// Labels whose caption waits for their window's next paint (GUI thread only).
std::vector<QPointer<TLabel>>& PendingLabels() {
  static std::vector<QPointer<TLabel>> labels;
  return labels;
}
}  // namespace

void TLabel::SetCaption(const QString& caption) {
  caption_ = caption;
  if (!isVisible()) {
    ApplyCaption();
    return;
  }
  if (!pending_) {
    pending_ = true;
    PendingLabels().emplace_back(this);
    update();  // asks the window for a paint, at which the caption is applied
  }
}

void TLabel::ApplyCaption() {
  pending_ = false;
  // Progress labels are set once per received block; an unchanged caption costs nothing.
  if (caption_ == text()) return;
  setText(caption_);
  FitToCaption();
}

void TLabel::ApplyPendingCaptions() {
  std::vector<QPointer<TLabel>> labels;
  labels.swap(PendingLabels());
  for (const QPointer<TLabel>& label : labels)
    if (label && label->pending_) label->ApplyCaption();
}

void TLabel::changeEvent(QEvent* event) {
  QLabel::changeEvent(event);
  if (event->type() == QEvent::FontChange) FitToCaption();
}

namespace {
// From the baseline up to the top of the face's tallest characters, Chinese and Latin.
int CharacterTop(const QFontMetrics& metrics) {
  return -metrics.tightBoundingRect(QString::fromUtf8("中本Mb")).top();
}
}  // namespace

void TLabel::FitToCaption() {
  if (!autoSize_) return;
  // The text's advance, not the label's full size hint: progress labels change with every
  // received block and the text layout behind sizeHint() is the costlier measure.
  const QFontMetrics metrics(font());
  const QMargins margins = contentsMargins();
  const int below = std::max(1, metrics.tightBoundingRect(text()).bottom() + 1);
  const QSize fit(std::max(1, metrics.horizontalAdvance(text()) + margins.left() + margins.right()),
                  std::max(font().pixelSize(), CharacterTop(metrics) + below) + margins.top() + margins.bottom());
  if (fit != size()) resize(fit);
}

void TLabel::paintEvent(QPaintEvent*) {
  QPainter painter(this);
  painter.setFont(font());
  painter.setPen(palette().color(isEnabled() ? QPalette::Active : QPalette::Disabled, foregroundRole()));
  const QRect box = contentsRect();
  painter.drawText(QPoint(box.left(), box.top() + CharacterTop(QFontMetrics(font()))), text());
}

TPanel::TPanel(QWidget* parent, const char* name, int left, int top, int width, int height) : QFrame(parent) {
  PlaceControl(this, name, left, top, width, height);
  setFrameStyle(QFrame::Panel | QFrame::Raised);
  setLineWidth(1);
  // Panels cover what lies below them (the lower panels lie on top of the memo).
  setAutoFillBackground(true);
  SetAccessibleKind(this, akPanel);
}

TPanel::~TPanel() { ForgetAccessibleKind(this); }

TButton::TButton(QWidget* parent, const char* name, int left, int top, int width, int height,
                 const QString& caption)
    : QPushButton(caption, parent) {
  PlaceControl(this, name, left, top, width, height);
}

TComboBox::TComboBox(QWidget* parent, const char* name, int left, int top, int width, int height)
    : QComboBox(parent) {
  PlaceControl(this, name, left, top, width, height);
  setEditable(false);
  SetAccessibleKind(this, akList);
}

TComboBox::~TComboBox() { ForgetAccessibleKind(this); }

void TComboBox::SetItems(const QStringList& items) {
  clear();
  addItems(items);
  setCurrentIndex(-1);
}

void TComboBox::SetAnsiItems(const std::vector<AnsiString>& items) {
  clear();
  for (const AnsiString& item : items)
    addItem(AnsiToQString(item), QByteArray(item.data(), static_cast<qsizetype>(item.size())));
  setCurrentIndex(-1);
}

AnsiString TComboBox::AnsiText() const {
  if (currentIndex() < 0) return AnsiString();
  return currentData().toByteArray().toStdString();
}

void TComboBox::SetItemIndex(int index) { setCurrentIndex(index >= 0 && index < count() ? index : -1); }

TProgressBar::TProgressBar(QWidget* parent, const char* name, int left, int top, int width, int height)
    : QProgressBar(parent) {
  PlaceControl(this, name, left, top, width, height);
  setTextVisible(false);
}

TMemo::TMemo(QWidget* parent, const char* name, int left, int top, int width, int height, const QStringList& lines)
    : QTextEdit(parent) {
  PlaceControl(this, name, left, top, width, height);
  setFrameStyle(QFrame::NoFrame);
  setReadOnly(true);
  // The designed height holds the lines exactly; a memo shows no scroll bars.
  setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
  // The face's tallest glyphs reach one pixel above the line the fixed pitch gives them.
  document()->setDocumentMargin(2);
  setPlainText(lines.join('\n'));
  // Lines as tall as the designed font, as the platform's memo spaces them.
  QTextCursor cursor(document());
  cursor.select(QTextCursor::Document);
  QTextBlockFormat format;
  format.setLineHeight(13, QTextBlockFormat::FixedHeight);
  cursor.mergeBlockFormat(format);
}
