#include "app/Notice.h"

int Notice(QWidget* owner, const QString& text, int style) {
  return MessageBox(owner, text, Tavro::tr(kNoticeCaption), style);
}

QString JobNotice(const char* text, const TJobFailure& failure) {
  const QString translated = Tavro::tr(text);
  if (failure.Kind != fkLocal && failure.Kind != fkSettings) return translated;
  return translated.arg(AnsiToQString(failure.Subject), AnsiToQString(failure.Reason));
}
