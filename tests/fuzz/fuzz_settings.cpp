#include "config/settingsstore.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>

#include <cstdint>

using namespace keelwatch;
using namespace Qt::StringLiterals;

// The input is the settings file, read as the program reads its store.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    const QString path = dir.filePath(u"keelwatch.conf"_s);
    {
        QFile file(path);
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            return 0;
        file.write(reinterpret_cast<const char *>(data), qint64(size));
    }
    QSettings store(path, QSettings::IniFormat);
    Settings settings;
    ReadSettingsStore(settings, store, {u"10.0.0.1 : eth0"_s, u"lo"_s});
    return 0;
}
