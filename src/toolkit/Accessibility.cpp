#include "toolkit/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QPointer>

#include "toolkit/Controls.h"
#include "toolkit/Form.h"

namespace {
// The dynamic property that holds a control's label.
constexpr char kLabelledBy[] = "tavroLabelledBy";

QString LabelText(const QObject* control) {
  const auto* label = qobject_cast<const QLabel*>(control->property(kLabelledBy).value<QObject*>());
  if (!label) return QString();
  if (const auto* designed = dynamic_cast<const TLabel*>(label)) return designed->Caption();
  return label->text();
}

// A widget whose name, when no accessible name is set, is its label's current caption.
class TLabelledWidget : public QAccessibleWidget {
 public:
  TLabelledWidget(QWidget* widget, QAccessible::Role role) : QAccessibleWidget(widget, role) {}
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Name && widget()->accessibleName().isEmpty()) {
      const QString label = LabelText(object());
      if (!label.isEmpty()) return label;
    }
    return QAccessibleWidget::text(t);
  }
};

// A drop-down list: named by its label, its value the selected item, its one child the list
// of items (as the platform's own combo boxes expose them).
class TAccessibleList : public TLabelledWidget {
 public:
  explicit TAccessibleList(QComboBox* list) : TLabelledWidget(list, QAccessible::ComboBox) {}
  QComboBox* List() const { return static_cast<QComboBox*>(widget()); }
  int childCount() const override { return 1; }
  QAccessibleInterface* child(int index) const override {
    return index == 0 ? QAccessible::queryAccessibleInterface(List()->view()) : nullptr;
  }
  int indexOfChild(const QAccessibleInterface* child) const override {
    return child && child->object() == List()->view() ? 0 : -1;
  }
  QString text(QAccessible::Text t) const override {
    if (t == QAccessible::Value) return List()->currentText();
    if (t == QAccessible::Description && widget()->accessibleDescription().isEmpty()) return List()->currentText();
    return TLabelledWidget::text(t);
  }
  QAccessible::State state() const override {
    QAccessible::State state = TLabelledWidget::state();
    state.expandable = true;
    state.expanded = List()->view()->isVisible();
    return state;
  }
  QStringList actionNames() const override { return QStringList{showMenuAction()} << TLabelledWidget::actionNames(); }
  void doAction(const QString& action) override {
    if (action == showMenuAction() || action == pressAction())
      List()->showPopup();
    else
      TLabelledWidget::doAction(action);
  }
};

// The browser views draw their pages through windows of their own that are never shown; left
// to themselves they would be listed among the program's windows ("Offscreen"). The page
// itself is reached through the view. Standing for such a window, this interface is no
// window at all: it has no object, so the application lists nothing for it.
class TUnlisted : public QAccessibleInterface {
 public:
  bool isValid() const override { return false; }
  QObject* object() const override { return nullptr; }
  QWindow* window() const override { return nullptr; }
  QAccessibleInterface* focusChild() const override { return nullptr; }
  QAccessibleInterface* childAt(int, int) const override { return nullptr; }
  QAccessibleInterface* parent() const override { return nullptr; }
  QAccessibleInterface* child(int) const override { return nullptr; }
  int childCount() const override { return 0; }
  int indexOfChild(const QAccessibleInterface*) const override { return -1; }
  QString text(QAccessible::Text) const override { return QString(); }
  void setText(QAccessible::Text, const QString&) override {}
  QRect rect() const override { return QRect(); }
  QAccessible::Role role() const override { return QAccessible::NoRole; }
  QAccessible::State state() const override {
    QAccessible::State state;
    state.invisible = true;
    return state;
  }
};

QAccessibleInterface* Factory(const QString&, QObject* object) {
  if (object && object->inherits("QQuickWidgetOffscreenWindow")) return new TUnlisted;
  auto* widget = qobject_cast<QWidget*>(object);
  if (!widget) return nullptr;
  if (dynamic_cast<TForm*>(widget)) return new QAccessibleWidget(widget, QAccessible::Window);
  if (dynamic_cast<TPanel*>(widget)) return new TLabelledWidget(widget, QAccessible::Grouping);
  if (auto* list = dynamic_cast<TComboBox*>(widget)) return new TAccessibleList(list);
  return nullptr;
}
}  // namespace

void InstallAccessibility() {
  // The factory installed last is asked first: moved to the end, it goes before those that
  // the libraries installed meanwhile.
  QAccessible::removeFactory(Factory);
  QAccessible::installFactory(Factory);
}

void LabelControl(QWidget* control, QLabel* label) {
  label->setBuddy(control);
  control->setProperty(kLabelledBy, QVariant::fromValue<QObject*>(label));
  // Controls with the toolkit's own accessible kinds follow the label as it changes; the
  // others (a progress bar) keep the caption it has now.
  if (!dynamic_cast<TPanel*>(control) && !dynamic_cast<TComboBox*>(control))
    control->setAccessibleName(LabelText(control));
}

