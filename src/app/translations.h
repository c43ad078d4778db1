#pragma once

#include <QLocale>
#include <QTranslator>

namespace keelwatch {

// The windows' texts in the locale's language, with Qt's own (message box
// buttons, file dialogs), installed while this object lives; the locale
// becomes the default one for numbers. English, the language of the
// sources, loads nothing. Files, logs and syslog stay English whatever the
// locale: their texts never pass through a translator.
class Translations
{
  public:
    explicit Translations(const QLocale &locale);
    ~Translations();
    Translations(const Translations &) = delete;
    Translations &operator=(const Translations &) = delete;

    // Whether the program's own texts are translated.
    bool ProgramTranslated() const { return programLoaded; }

  private:
    QLocale previousDefault;
    QTranslator program;
    QTranslator toolkit;
    bool programLoaded = false;
    bool toolkitLoaded = false;
};

} // namespace keelwatch
