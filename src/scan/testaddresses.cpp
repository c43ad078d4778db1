#include "scan/testaddresses.h"

namespace keelwatch {

QString TestDestination(const Settings &settings, int column)
{
    if (column == 10)
        return settings.sp1Mac;
    if (column == 11)
        return settings.sp2Mac;
    const int i = column - FirstResultColumn;
    if (i < 0 || i >= TestCount)
        return QString();
    return QString::fromUtf16(TestAddresses[size_t(i)].destination);
}

SourceMacs BuildProbeSourceMacs(const QString &ownMac)
{
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    SourceMacs macs;
    for (int k = 0; k < 16; ++k) {
        QString mac = ownMac;
        if (mac.size() >= 17)
            mac[16] = QChar(Digits[k]);
        macs[size_t(k)] = mac;
    }
    return macs;
}

} // namespace keelwatch
