#include "toolkit/Accessibility.h"

#include <QAbstractItemView>
#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>
#include <QPointer>
#include <unordered_map>

#include "toolkit/Controls.h"

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

// The toolkit's own windows, panels and lists, by address. The factory is asked about every
// object of the process, the browser engine's among them, which are built without run-time
// type information: it looks objects up here and by the class name it is given, and calls
// nothing on an object that is not its own.
std::unordered_map<const QObject*, TAccessibleKind>& Kinds() {
  static std::unordered_map<const QObject*, TAccessibleKind> kinds;
  return kinds;
}

QAccessibleInterface* Factory(const QString& className, QObject* object) {
  if (className == QLatin1String("QQuickWidgetOffscreenWindow")) return new TUnlisted;
  const auto found = Kinds().find(object);
  if (found == Kinds().end()) return nullptr;
  auto* widget = static_cast<QWidget*>(object);
  switch (found->second) {
    case akWindow: return new QAccessibleWidget(widget, QAccessible::Window);
    case akPanel: return new TLabelledWidget(widget, QAccessible::Grouping);
    case akList: return new TAccessibleList(static_cast<QComboBox*>(widget));
  }
  return nullptr;
}
}  // namespace

void SetAccessibleKind(QWidget* widget, TAccessibleKind kind) { Kinds()[widget] = kind; }
void ForgetAccessibleKind(QWidget* widget) { Kinds().erase(widget); }

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
  if (!Kinds().contains(control)) control->setAccessibleName(LabelText(control));
}

