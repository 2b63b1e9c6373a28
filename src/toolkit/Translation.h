// The language of the interface: the design's Chinese texts, or their English translation.
//
// Every text shown to a person is written in the source in its Chinese original and goes
// through Tavro::tr(), which answers in the language in use (Chinese until UseLanguage says
// otherwise). The English texts are compiled from src/app/translations/tavro_en.ts into the
// program (the resource :/i18n/tavro_en.qm). Texts that stored files, the wire or the
// single-instance handshake depend on (window captions other instances look for, file names,
// URLs, log lines) never go through Tavro::tr().
#pragma once

#include <QString>

enum TLanguage { lgChinese, lgEnglish };

// The language for the desktop's settings as the environment gives them now. The messages
// locale is the first of LC_ALL, LC_MESSAGES and LANG that is set; none, "C" or "POSIX"
// (with any codeset) means the design's Chinese, and LANGUAGE is then ignored, as gettext
// does. Otherwise the languages of LANGUAGE (colon-separated) and then the messages locale
// are tried in order: the first Chinese or English one decides; any other desktop language
// gets English, the one other language shipped.
TLanguage DesktopLanguage();

// Makes every later Tavro::tr() answer in the language. Returns false, and leaves the
// Chinese texts in use, when the English texts cannot be loaded.
bool UseLanguage(TLanguage language);
TLanguage LanguageInUse();

// The Accept-Language the web views send for the language: that language first, so that a
// server can answer with pages in it.
QString AcceptLanguage(TLanguage language);

// Declares a class's tr(); lupdate reads it as Q_DECLARE_TR_FUNCTIONS (its option
// -tr-function-alias), so that Tavro::tr("...") texts are collected in the context "Tavro".
// The second tr() gives the form for the count n, its "%n" replaced by n.
#define TAVRO_TR_FUNCTIONS(context)          \
 public:                                      \
  static QString tr(const char* source);      \
  static QString tr(const char* source, const char* disambiguation, int n);

// Its name is the context of the texts in the translation files.
class Tavro {
  // The text in the language in use; source is the Chinese original in UTF-8. Works before
  // and without the application object (the --help text).
  TAVRO_TR_FUNCTIONS(Tavro)
};
