#pragma once

#include "config/netaddress.h"

#include <QHash>

#include <array>
#include <cstdint>
#include <vector>

namespace keelwatch {

// The nodes of a list by IP: how many hold each address, and the last of
// them. IPv4 addresses sit in blocks of 256 by their /24, found through a
// small table of prefixes, so a sweep's replies, which come in address
// order, look up neighbouring entries instead of hashing 16 bytes into a
// table the size of the list. Other addresses go to a plain hash.
class AddressIndex
{
  public:
    struct Entry
    {
        int count = 0;
        int last = -1;
    };

    // The entry of ip, or null when no node holds it.
    const Entry *Find(const IpAddress &ip) const;
    // The entry of ip, made empty when there was none. Valid until the next
    // Insert or Clear.
    Entry &Insert(const IpAddress &ip);
    void Clear();

  private:
    using Block = std::array<Entry, 256>;
    QHash<std::uint32_t, int> blockOfPrefix;
    std::vector<Block> blocks;
    QHash<IpAddress, Entry> others;
};

} // namespace keelwatch
