#include "support/simulatedcard.h"

#include <algorithm>
#include <bit>

namespace keelwatch {

std::uint32_t EthernetCrc(const MacBytes &mac)
{
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::uint8_t byte : mac) {
        // Bits go out least significant first on the wire.
        for (int bit = 0; bit < 8; ++bit, byte >>= 1) {
            const bool feedback = ((crc >> 31) ^ byte) & 1;
            crc <<= 1;
            if (feedback)
                crc ^= 0x04C11DB7;
        }
    }
    return crc;
}

int HashBucket(const MacBytes &mac, int buckets)
{
    const int bits = std::countr_zero(unsigned(buckets));
    return bits == 0 ? 0 : int(EthernetCrc(mac) >> (32 - bits));
}

bool SimulatedCard::Answers(const MacBytes &destination) const
{
    if (destination == own)
        return true;
    const bool group = destination[0] & 1;
    if (!group)
        return false;
    const bool broadcast = std::all_of(destination.begin(), destination.end(),
                                       [](std::uint8_t b) { return b == 0xFF; });
    const bool joined = std::find(groups.begin(), groups.end(), destination) != groups.end();
    switch (kind) {
    case Kind::HashFilter:
        return broadcast || std::any_of(groups.begin(), groups.end(), [&](const MacBytes &g) {
                   return HashBucket(g, buckets) == HashBucket(destination, buckets);
               });
    case Kind::Promiscuous:
        return true;
    case Kind::FirstBytes:
        return joined || std::all_of(destination.begin(), destination.begin() + checkedBytes,
                                     [](std::uint8_t b) { return b == 0xFF; });
    }
    return false;
}

} // namespace keelwatch
