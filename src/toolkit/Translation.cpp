#include "toolkit/Translation.h"

#include <QRegularExpression>
#include <QStringList>
#include <QTranslator>
#include <memory>

namespace {
// The one context of the program's texts in the translation files.
constexpr char kContext[] = "Tavro";
constexpr char kEnglishTexts[] = ":/i18n/tavro_en.qm";

std::unique_ptr<QTranslator> translator;  // set while English is in use

// "zh_CN.UTF-8" -> "zh"; "C.UTF-8" -> "c".
QString LanguageCode(const QString& locale) {
  QString code = locale;
  const qsizetype end = code.indexOf(QRegularExpression("[_.@-]"));
  if (end >= 0) code.truncate(end);
  return code.toLower();
}
}  // namespace

TLanguage DesktopLanguage() {
  QString messages;
  for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
    messages = qEnvironmentVariable(name);
    if (!messages.isEmpty()) break;
  }
  const QString code = LanguageCode(messages);
  if (code.isEmpty() || code == "c" || code == "posix") return lgChinese;
  QStringList preferred = qEnvironmentVariable("LANGUAGE").split(':', Qt::SkipEmptyParts);
  preferred << messages;
  for (const QString& language : preferred) {
    if (LanguageCode(language) == "zh") return lgChinese;
    if (LanguageCode(language) == "en") return lgEnglish;
  }
  return lgEnglish;
}

bool UseLanguage(TLanguage language) {
  if (language == lgChinese) {
    translator.reset();
    return true;
  }
  auto english = std::make_unique<QTranslator>();
  if (!english->load(kEnglishTexts)) return false;
  translator = std::move(english);
  return true;
}

TLanguage LanguageInUse() { return translator ? lgEnglish : lgChinese; }

QString AcceptLanguage(TLanguage language) {
  return language == lgEnglish ? "en-US,en;q=0.9" : "zh-CN,zh;q=0.9";
}

QString Tavro::tr(const char* source) {
  if (translator) {
    const QString text = translator->translate(kContext, source);
    if (!text.isEmpty()) return text;
  }
  return QString::fromUtf8(source);
}

QString Tavro::tr(const char* source, const char* disambiguation, int n) {
  QString text = translator ? translator->translate(kContext, source, disambiguation, n) : QString();
  if (text.isEmpty()) text = QString::fromUtf8(source);
  return text.replace(QLatin1String("%n"), QString::number(n));
}
