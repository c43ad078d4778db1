#pragma once

#include "scan/probeframe.h"

#include <cstdint>
#include <vector>

namespace keelwatch {

// The bucket of a group address in a card's multicast hash filter: the top
// bits of the Ethernet CRC-32 of the address, computed most significant bit
// first without the final inversion. This is the filter of the RTL8139 and
// RTL8169 families and of many cards since (64 buckets: the top 6 bits).
std::uint32_t EthernetCrc(const MacBytes &mac);
int HashBucket(const MacBytes &mac, int buckets);

// What a host's card and stack make of a frame's destination address: does
// the ARP request reach the stack and get answered?
struct SimulatedCard
{
    enum class Kind {
        // Normal mode: broadcast, its own address and the group addresses
        // whose hash bucket a joined group set.
        HashFilter,
        // Promiscuous, and the stack answers every group address (Linux).
        Promiscuous,
        // Promiscuous, and the stack takes an address for broadcast when its
        // first checkedBytes bytes are FF; other group addresses only when
        // joined.
        FirstBytes,
    };

    // Every member has an initialiser, so a card names only what it needs.
    Kind kind{Kind::HashFilter};
    MacBytes own{};
    int buckets{64};
    std::vector<MacBytes> groups{};
    int checkedBytes{2};

    bool Answers(const MacBytes &destination) const;
};

} // namespace keelwatch
