#include "config/testaddresses.h"

namespace keelwatch {

SourceMacs BuildProbeSourceMacs(const QString &ownMac)
{
    static constexpr char16_t Digits[] = u"0123456789ABCDEF";
    SourceMacs macs;
    for (int k = 0; k < SourceAddressCount; ++k) {
        QString mac = ownMac;
        if (mac.size() >= 17)
            mac[16] = QChar(Digits[k]);
        macs[size_t(k)] = mac;
    }
    return macs;
}

} // namespace keelwatch
