#include "config/testaddresses.h"

namespace keelwatch {

SourceMacs BuildProbeSourceMacs(const MacAddress &ownMac)
{
    SourceMacs macs;
    for (int k = 0; k < SourceAddressCount; ++k) {
        MacAddress source = ownMac;
        source.bytes[5] = std::uint8_t((source.bytes[5] & 0xF0) | k);
        macs[size_t(k)] = source.ToText(u' ');
    }
    return macs;
}

} // namespace keelwatch
