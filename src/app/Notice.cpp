#include "app/Notice.h"

int Notice(QWidget* owner, const QString& text, int style) {
  return MessageBox(owner, text, Tavro::tr(kNoticeCaption), style);
}
