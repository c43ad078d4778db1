#include "core/addressindex.h"

#include <gtest/gtest.h>

#include <map>
#include <random>

using namespace keelwatch;

namespace {

// Every address the index was given is found with its entry, every other
// one is not, whichever block or table holds it.
TEST(AddressIndex, FindsExactlyWhatWasInserted)
{
    AddressIndex index;
    std::map<IpAddress, int> given;
    std::mt19937 random(7);
    // Neighbours across /24 and /16 borders, the ends of the space, and the
    // all-zero address, which is no IPv4 address.
    std::vector<IpAddress> addresses = {IpAddress::FromIpv4(0x0A0100FF),
                                        IpAddress::FromIpv4(0x0A010100),
                                        IpAddress::FromIpv4(0x0A01FFFF),
                                        IpAddress::FromIpv4(0x0A020000),
                                        IpAddress::FromIpv4(0),
                                        IpAddress::FromIpv4(0xFFFFFFFF),
                                        IpAddress()};
    for (int i = 0; i < 2000; ++i)
        addresses.push_back(IpAddress::FromIpv4(0x0A000000 | (random() & 0x3FFFF)));
    for (size_t i = 0; i < addresses.size(); ++i) {
        AddressIndex::Entry &entry = index.Insert(addresses[i]);
        ++entry.count;
        entry.last = int(i);
        given[addresses[i]] = int(i);
    }
    for (const auto &[ip, last] : given) {
        const AddressIndex::Entry *entry = index.Find(ip);
        ASSERT_NE(entry, nullptr) << ip.ToText().toStdString();
        EXPECT_EQ(entry->last, last);
    }
    for (std::uint32_t probe : {0x0A0100FEu, 0x0A040000u, 0x0B000000u, 1u}) {
        const IpAddress ip = IpAddress::FromIpv4(probe);
        EXPECT_EQ(index.Find(ip) != nullptr, given.count(ip) == 1) << probe;
    }

    index.Clear();
    for (const auto &[ip, last] : given)
        EXPECT_EQ(index.Find(ip), nullptr);
}

} // namespace
