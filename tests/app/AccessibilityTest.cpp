// What a screen reader and a keyboard user meet: every control that a screen reader announces
// has a name and the role of what it is, in the main window (idle, downloading, package ready)
// and in every kind of box, in both languages; the focus is always visible.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QAccessible>
#include <QImage>
#include <QApplication>
#include <QLabel>
#include <QMessageBox>
#include <QTimer>

#include "AppTestSupport.h"
#include "app/Main01.h"
#include "app/Main02.h"
#include "runtime/Hooks.h"
#include "toolkit/Controls.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Translation.h"
#include "toolkit/WebBrowser.h"

namespace {

// Roles that a screen reader speaks as it meets them: each needs a name of its own.
bool Announced(QAccessible::Role role) {
  switch (role) {
    case QAccessible::PushButton: case QAccessible::ComboBox: case QAccessible::ProgressBar:
    case QAccessible::Graphic: case QAccessible::Window: case QAccessible::Dialog:
    case QAccessible::AlertMessage:
      return true;
    default:
      return false;
  }
}

// The faults a screen reader would meet below the interface, one line each: an announced
// control without a name, an inner control announced as a window or a frame (which screen
// readers take for a window).
void Walk(QAccessibleInterface* node, const QString& path, QStringList& faults) {
  if (!node || node->state().invisible) return;
  const QAccessible::Role role = node->role();
  const QString name = node->text(QAccessible::Name).trimmed();
  const bool top = !node->parent() || node->parent()->role() == QAccessible::Application;
  if (!top && (role == QAccessible::Border || role == QAccessible::Window))
    faults << path + ": an inner control announced as a window (role " + QString::number(role) + ")";
  if (Announced(role) && name.isEmpty()) faults << path + ": no name (role " + QString::number(role) + ")";
  for (int i = 0; i < node->childCount(); ++i) {
    QAccessibleInterface* child = node->child(i);
    const QString step = child && child->object() ? child->object()->objectName() : QString();
    Walk(child, path + "/" + (step.isEmpty() ? QString::number(i) : step), faults);
  }
}

// The faults of a window, whose own role must be a window or dialog named by its caption.
QStringList FaultsOf(QWidget* window) {
  QStringList faults;
  QAccessibleInterface* iface = QAccessible::queryAccessibleInterface(window);
  if (iface->role() != QAccessible::Window && iface->role() != QAccessible::Dialog &&
      iface->role() != QAccessible::AlertMessage)
    faults << window->objectName() + ": not a window (role " + QString::number(iface->role()) + ")";
  if (iface->text(QAccessible::Name) != window->windowTitle())
    faults << window->objectName() + ": named \"" + iface->text(QAccessible::Name) + "\", not by its caption";
  Walk(iface, window->objectName(), faults);
  return faults;
}

class Accessible : public AppTest, public ::testing::WithParamInterface<TLanguage> {
 protected:
  void SetUp() override {
    AppTest::SetUp();
    ASSERT_TRUE(UseLanguage(GetParam()));
    program_.Write("TavroMP3LiveUpdate.ini", kCatalogue);
    server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("notes")).Close());
    form1_ = MakeForm1("/player");
    form2_ = MakeForm2(*form1_);
    form2_->show();
  }
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
};

TEST_P(Accessible, MainWindowIdleDownloadingAndReadyNamesEveryControlWithItsRole) {
  EXPECT_EQ(FaultsOf(form2_.get()).join("\n").toStdString(), "");
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form2_->ComboBox1)->text(QAccessible::Name), form2_->Label2->Caption());
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form2_->ComboBox2)->text(QAccessible::Value), "2.00");
  // What a list offers a screen reader it does: "show menu" opens it.
  QAccessibleActionInterface* actions = QAccessible::queryAccessibleInterface(form2_->ComboBox2)->actionInterface();
  ASSERT_NE(actions, nullptr);
  actions->doAction(QAccessibleActionInterface::showMenuAction());
  EXPECT_TRUE(form2_->ComboBox2->view()->isVisible());
  form2_->ComboBox2->hidePopup();
  // As the download shows itself: the progress bar is named and tells its value.
  form2_->Button1->hide();
  form2_->Button3->show();
  form2_->Panel2->show();
  form2_->ProgressBar1->SetPosition(42);
  QAccessibleInterface* progress = QAccessible::queryAccessibleInterface(form2_->ProgressBar1);
  EXPECT_EQ(progress->text(QAccessible::Name), form2_->Label6->Caption());
  ASSERT_NE(progress->valueInterface(), nullptr);
  EXPECT_EQ(progress->valueInterface()->currentValue().toInt(), 42);
  EXPECT_EQ(FaultsOf(form2_.get()).join("\n").toStdString(), "");
  form2_->Panel2->hide();
  program_.Write("FirmwareBack/ModelB_2.00.zip", "PK");
  form2_->ShowHidP3(form2_.get());
  EXPECT_EQ(QAccessible::queryAccessibleInterface(form2_->Panel3)->text(QAccessible::Name), form2_->Label11->Caption());
  EXPECT_EQ(FaultsOf(form2_.get()).join("\n").toStdString(), "");
  EXPECT_EQ(FaultsOf(form1_.get()).join("\n").toStdString(), "");
}

TEST_P(Accessible, EveryKindOfBoxIsADialogWithANamedIconAtTheScreensScale) {
  TDialogSeam::Responder = nullptr;
  QStringList faults;
  int opened = 0;
  const auto inspectThenClose = [&] {
    QTimer::singleShot(0, [&] {
      QWidget* box = QApplication::activeModalWidget();
      ASSERT_NE(box, nullptr);
      ++opened;
      faults << FaultsOf(box);
      auto* icon = box->findChild<QLabel*>("qt_msgboxex_icon_label");
      ASSERT_NE(icon, nullptr);
      // Drawn for the screen it is on: sharp at any scale.
      const QPixmap pixmap = icon->pixmap();
      EXPECT_EQ(pixmap.devicePixelRatio(), box->devicePixelRatio());
      EXPECT_GE(pixmap.width(), qRound(32 * box->devicePixelRatio()));
      static_cast<QDialog*>(box)->reject();
    });
  };
  for (int style : {MB_OK | MB_ICONEXCLAMATION, MB_OKCANCEL | MB_ICONEXCLAMATION, MB_OK | MB_ICONHAND}) {
    inspectThenClose();
    MessageBox(form2_.get(), "text\rline", "caption", style);
  }
  for (TMsgDlgType type : {mtWarning, mtError, mtInformation, mtConfirmation}) {
    inspectThenClose();
    ShowMessageDlg("text", type, {mbAbort, mbRetry, mbIgnore});
  }
  EXPECT_EQ(opened, 7);
  EXPECT_EQ(faults.join("\n").toStdString(), "");
}

TEST_P(Accessible, TheFocusedControlShowsItsFocusFromTheStartAndInsideAPage) {
  // The window as it opens: the model list has the focus before any Tab was pressed.
  form2_->hide();
  server_.AddConnection(ConnectionScript().ExpectRequest().Send(HttpReply("notes")).Close());
  auto form2 = MakeForm2(*form1_);
  form2->show();
  form2->activateWindow();
  QApplication::setActiveWindow(form2.get());
  ProcessEvents();
  form2->ComboBox1->setFocus(Qt::ActiveWindowFocusReason);
  ProcessEvents();
  for (QWidget* control : {static_cast<QWidget*>(form2->ComboBox1), static_cast<QWidget*>(form2->WebBrowser2)}) {
    QWidget* focus = control == form2->WebBrowser2 ? control->findChild<QWidget*>() : control;
    focus->setFocus(Qt::OtherFocusReason);
    ProcessEvents();
    ASSERT_EQ(QApplication::focusWidget(), focus) << control->objectName().toStdString();
    const QImage focused = control->grab().toImage();
    form2->Button1->setFocus(Qt::OtherFocusReason);
    ProcessEvents();
    EXPECT_NE(control->grab().toImage(), focused) << control->objectName().toStdString() << " shows no focus";
  }
}

INSTANTIATE_TEST_SUITE_P(Languages, Accessible, ::testing::Values(lgChinese, lgEnglish),
                         [](const auto& info) { return info.param == lgChinese ? "Chinese" : "English"; });

}  // namespace
