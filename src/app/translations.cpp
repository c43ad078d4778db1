#include "app/translations.h"

#include <QCoreApplication>
#include <QLibraryInfo>

using namespace Qt::StringLiterals;

namespace keelwatch {

Translations::Translations(const QLocale &locale)
{
    QLocale::setDefault(locale);
    // The locale's languages in the user's order of preference; English,
    // the sources' language, has no file.
    programLoaded = program.load(locale, u"keelwatch"_s, u"_"_s, u":/translations"_s) &&
                    QCoreApplication::installTranslator(&program);
    // Qt's texts only beside the program's, so that no window mixes two
    // languages; without them the buttons stay English.
    if (!programLoaded)
        return;
    toolkitLoaded = toolkit.load(locale, u"qtbase"_s, u"_"_s,
                                 QLibraryInfo::path(QLibraryInfo::TranslationsPath)) &&
                    QCoreApplication::installTranslator(&toolkit);
}

Translations::~Translations()
{
    if (toolkitLoaded)
        QCoreApplication::removeTranslator(&toolkit);
    if (programLoaded)
        QCoreApplication::removeTranslator(&program);
    QLocale::setDefault(previousDefault);
}

} // namespace keelwatch
