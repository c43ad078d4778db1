#include "config/settingsscreen.h"
#include "config/settingsstore.h"

#include <QFile>
#include <QSettings>
#include <QTemporaryDir>
#include <QVariant>

#include <cstdint>
#include <cstdlib>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// What the INI reader makes of values without a data stream: texts, byte
// arrays, the geometry types, "@Invalid()" and lists of them. Anything else
// came through one, so the screen let a streamed value pass.
bool ReadWithoutStream(const QVariant &value)
{
    switch (value.typeId()) {
    case QMetaType::UnknownType:
    case QMetaType::QString:
    case QMetaType::QStringList:
    case QMetaType::QByteArray:
    case QMetaType::QRect:
    case QMetaType::QSize:
    case QMetaType::QPoint:
        return true;
    case QMetaType::QVariantList:
        for (const QVariant &item : value.toList()) {
            if (!ReadWithoutStream(item))
                return false;
        }
        return true;
    default:
        return false;
    }
}

void Write(const QString &path, QByteArrayView bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        std::abort();
    file.write(bytes.data(), bytes.size());
}

} // namespace

// The input is the settings file, read as the programs read it.
extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size)
{
    static QTemporaryDir dir;
    const QByteArrayView input(data, qsizetype(size));

    const QString screenedPath = dir.filePath(u"screened.conf"_s);
    Write(screenedPath, ScreenSettingsText(input).kept);
    const QSettings screened(screenedPath, QSettings::IniFormat);
    for (const QString &key : screened.allKeys()) {
        if (!ReadWithoutStream(screened.value(key)))
            std::abort();
    }

    const QString path = dir.filePath(u"keelwatch.conf"_s);
    Write(path, input);
    Settings settings;
    ReadSettingsFile(settings, path,
                     {{u"eth0"_s, IpAddress::FromIpv4(0x0A000001)},
                      {u"lo"_s, IpAddress::FromIpv4(0x7F000001), false}});
    return 0;
}
