// The application's notices: message boxes with its own caption ("Tavro MP3 LiveUpdate 提示"),
// and the UTF-8 literals of its texts as Qt strings.
#pragma once

#include <QString>

#include "job/JobFailure.h"
#include "job/JobTexts.h"
#include "toolkit/MessageBox.h"
#include "toolkit/Translation.h"

class QWidget;

inline constexpr char kNoticeCaption[] = QT_TRANSLATE_NOOP("Tavro", "Tavro MP3 LiveUpdate 提示");

inline QString Utf8(const char* text) { return QString::fromUtf8(text); }

// Shows text (a translated text: Tavro::tr) in a notice box owned by owner (OK with the
// exclamation icon unless style says otherwise) and returns the button chosen (IDOK, IDCANCEL).
int Notice(QWidget* owner, const QString& text, int style = MB_OK | MB_ICONEXCLAMATION);
// A bare literal would reach the person untranslated: wrap it in Tavro::tr().
int Notice(QWidget* owner, const char* text, int style = MB_OK | MB_ICONEXCLAMATION) = delete;

// A notice of the job (JobNoticeText) in the language in use; a local failure's names the
// folder and the system's reason.
QString JobNotice(const char* text, const TJobFailure& failure);
