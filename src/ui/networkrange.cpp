#include "ui/networkrange.h"

#include "config/addresstext.h"

#include <QNetworkInterface>

#include <algorithm>
#include <cstdint>

namespace keelwatch {

IpRange HostRange(IpAddress address, int prefixLength)
{
    const int bits = std::clamp(prefixLength, 0, 32);
    const std::uint32_t mask = bits == 0 ? 0 : ~std::uint32_t(0) << (32 - bits);
    std::uint32_t first = address.ToIpv4() & mask;
    std::uint32_t last = first | ~mask;
    if (bits < 31) {
        ++first;
        --last;
    }
    return {IpAddress::FromIpv4(first), IpAddress::FromIpv4(last)};
}

std::optional<IpRange> RangeFromCidr(const QString &text)
{
    const QStringList parts = text.trimmed().split(u'/');
    if (parts.size() != 2)
        return std::nullopt;
    const std::optional<IpAddress> address = IpFromText(parts[0].trimmed());
    const QString prefixText = parts[1].trimmed();
    const bool digits = !prefixText.isEmpty() && prefixText.size() <= 2 &&
                        std::all_of(prefixText.begin(), prefixText.end(),
                                    [](QChar c) { return c >= u'0' && c <= u'9'; });
    const int prefixLength = prefixText.toInt();
    if (!address || !digits || prefixLength > 32)
        return std::nullopt;
    return HostRange(*address, prefixLength);
}

std::optional<IpRange> AdapterNetwork(const NetworkAdapter &adapter)
{
    const QNetworkInterface card = QNetworkInterface::interfaceFromName(adapter.name);
    for (const QNetworkAddressEntry &entry : card.addressEntries()) {
        bool isIpv4 = false;
        const quint32 ip = entry.ip().toIPv4Address(&isIpv4);
        if (!isIpv4 || ip != adapter.address.ToIpv4() || entry.prefixLength() < 0)
            continue;
        const IpRange range = HostRange(adapter.address, entry.prefixLength());
        if (range.Count() > LargestPlainRange)
            return std::nullopt;
        return range;
    }
    return std::nullopt;
}

} // namespace keelwatch
