#include "config/adapterlist.h"

#include "config/addresstext.h"
#include "config/fieldsplit.h"

#include <QStringDecoder>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// Dial-up adapters, which cannot carry a scan.
constexpr const char16_t *ExcludedNames[] = {
    u"\\Device\\Packet_NdisWanIp",
    u"\\Device\\Packet_NdisWanBh",
    u"\\Device\\NPF_NdisWanIp",
    u"\\Device\\NPF_NdisWanBh",
};

} // namespace

QStringList AdapterNamesFromBuffer(const QByteArray &buffer, bool wide)
{
    QString text;
    if (wide) {
        const auto *chars = reinterpret_cast<const char16_t *>(buffer.constData());
        const qsizetype count = buffer.size() / 2;
        qsizetype end = -1;
        for (qsizetype i = 0; i + 1 < count && end < 0; ++i) {
            if (chars[i] == 0 && chars[i + 1] == 0)
                end = i;
        }
        if (end > 0)
            text = QString::fromUtf16(chars, end);
    } else {
        const qsizetype end = buffer.indexOf(QByteArrayView("\0\0", 2));
        if (end > 0)
            text = QString::fromLocal8Bit(buffer.left(end));
    }
    text.replace(QChar(0), u"\r\n"_s);
    text = TrimControls(text);
    if (text.isEmpty())
        return {};
    return text.split(u"\r\n"_s);
}

AdapterList FillAdapterList(const AdapterSource &driver)
{
    AdapterList list;
    list.DriverVersion = TrimControls(driver.PacketGetVersion().left(4));
    list.panelText = u"WinPcap"_s + list.DriverVersion + u' ';

    const bool wide = list.DriverVersion == u"3.0";
    QStringList names = AdapterNamesFromBuffer(driver.PacketGetAdapterNames(wide), wide);
    for (const char16_t *excluded : ExcludedNames) {
        const QString name = QString::fromUtf16(excluded);
        for (qsizetype i = 0; i < names.size(); ++i) {
            if (names[i].compare(name, Qt::CaseInsensitive) == 0) {
                names.removeAt(i);
                break;
            }
        }
    }

    const int entries = wide ? 1 : 3;
    for (const QString &name : names) {
        if (const auto address = driver.PacketGetNetInfoEx(name.toLocal8Bit(), entries))
            list.items.append(IpNumberToText(*address) + u" : "_s + name);
    }
    return list;
}

} // namespace keelwatch
