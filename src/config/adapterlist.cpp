#include "config/adapterlist.h"

#include "config/fieldsplit.h"

using namespace Qt::StringLiterals;

namespace keelwatch {

QStringList AdapterNamesFromBuffer(const QByteArray &buffer)
{
    const qsizetype end = buffer.indexOf(QByteArrayView("\0\0", 2));
    QString text = end > 0 ? QString::fromLocal8Bit(buffer.left(end)) : QString();
    text.replace(QChar(0), u"\r\n"_s);
    text = TrimControls(text);
    if (text.isEmpty())
        return {};
    return text.split(u"\r\n"_s);
}

AdapterList FillAdapterList(const AdapterSource &driver)
{
    AdapterList list;
    // "libpcap version 1.10.3 (with TPACKET_V3)": the panel shows it whole.
    const QString text = TrimControls(driver.PacketGetVersion());
    const QStringList words = text.split(u' ', Qt::SkipEmptyParts);
    const qsizetype at = words.indexOf(u"version"_s);
    const QString version = at >= 0 && at + 1 < words.size() ? words[at + 1] : text;
    list.driverVersion = TrimControls(version.left(4));
    list.panelText = text;
    for (const QString &name : AdapterNamesFromBuffer(driver.PacketGetAdapterNames())) {
        const QByteArray local = name.toLocal8Bit();
        if (const auto address = driver.PacketGetNetInfoEx(local))
            list.adapters.append({name, IpAddress::FromIpv4(*address), driver.IsEthernet(local)});
    }
    return list;
}

} // namespace keelwatch
