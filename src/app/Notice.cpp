#include "app/Notice.h"

int Notice(QWidget* owner, const char* text, int style) {
  return MessageBox(owner, Utf8(text), Utf8(kNoticeCaption), style);
}
