#include "core/addressindex.h"

namespace keelwatch {

const AddressIndex::Entry *AddressIndex::Find(const IpAddress &ip) const
{
    if (!ip.IsIpv4()) {
        const auto found = others.constFind(ip);
        return found == others.cend() ? nullptr : &*found;
    }
    const std::uint32_t address = ip.ToIpv4();
    const auto block = blockOfPrefix.constFind(address >> 8);
    if (block == blockOfPrefix.cend())
        return nullptr;
    const Entry &entry = blocks[size_t(*block)][address & 0xFF];
    return entry.count == 0 ? nullptr : &entry;
}

AddressIndex::Entry &AddressIndex::Insert(const IpAddress &ip)
{
    if (!ip.IsIpv4())
        return others[ip];
    const std::uint32_t address = ip.ToIpv4();
    const auto block = blockOfPrefix.constFind(address >> 8);
    if (block != blockOfPrefix.cend())
        return blocks[size_t(*block)][address & 0xFF];
    blockOfPrefix.insert(address >> 8, int(blocks.size()));
    return blocks.emplace_back()[address & 0xFF];
}

void AddressIndex::Clear()
{
    blockOfPrefix.clear();
    blocks.clear();
    others.clear();
}

} // namespace keelwatch
