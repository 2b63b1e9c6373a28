// What a screen reader learns of the windows and controls.
//
// The toolkit's windows and controls are plain widgets to the accessibility layer unless
// told otherwise, and a screen reader then announces them wrongly: a window as a nameless
// filler, a panel as a frame (which screen readers treat as a window of its own), a
// drop-down list by its current item instead of its label. InstallAccessibility() gives
// them their roles once, before the first window is made; LabelControl() names a control
// after the label beside it.
#pragma once

class QLabel;
class QWidget;

// Windows (TForm) are windows named by their caption; panels (TPanel) are groupings, named
// by their label when LabelControl gave them one; drop-down lists (TComboBox) are combo
// boxes named by their label, whose value is the selected item. The windows through which
// the browser views draw are not listed. Called again once a library has installed
// accessible kinds of its own (the browser views do when their first page shows), so that
// these come first.
void InstallAccessibility();

// The toolkit's windows (TForm), panels (TPanel) and drop-down lists (TComboBox) say what
// they are from their constructors, and are forgotten in their destructors.
enum TAccessibleKind { akWindow, akPanel, akList };
void SetAccessibleKind(QWidget* widget, TAccessibleKind kind);
void ForgetAccessibleKind(QWidget* widget);

// The control is named by the label's text, now and whenever the label's caption changes,
// and the label is the control's buddy (the labelled-by relation). A trailing ASCII colon
// of the label is kept: the caption is spoken as shown.
void LabelControl(QWidget* control, QLabel* label);
