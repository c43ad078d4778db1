#include "config/netaddress.h"

#include <gtest/gtest.h>

#include <QSet>

#include <random>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

TEST(IpAddressTest, ReadsOnlyFourDecimalOctets)
{
    EXPECT_EQ(IpAddress::FromText(u"10.77.0.1"), IpAddress::FromIpv4(0x0A4D0001));
    EXPECT_EQ(IpAddress::FromText(u"010.000.000.001"), IpAddress::FromIpv4(0x0A000001));
    EXPECT_EQ(IpAddress::FromText(u"255.255.255.255"), IpAddress::FromIpv4(0xFFFFFFFF));
    for (const QString &bad :
         {u""_s, u"10.0.0"_s, u"10.0.0.256"_s, u"10..0.1"_s, u"10.0.0.1."_s, u" 10.0.0.1"_s,
          u"10.0.0.1 "_s, u"10.0.0.-1"_s, u"a.b.c.d"_s, u"10.0.0.1.5"_s, u"1\u0661.0.0.1"_s}) {
        EXPECT_FALSE(IpAddress::FromText(bad)) << bad.toStdString();
    }
}

TEST(IpAddressTest, TextAndNumberRoundTripInNumericOrder)
{
    std::mt19937 random(7);
    IpAddress previous = IpAddress::FromIpv4(0);
    std::uint32_t previousNumber = 0;
    for (int i = 0; i < 2000; ++i) {
        const std::uint32_t number = random();
        const IpAddress ip = IpAddress::FromIpv4(number);
        ASSERT_TRUE(ip.IsIpv4());
        ASSERT_EQ(ip.ToIpv4(), number);
        ASSERT_EQ(IpAddress::FromText(ip.ToText()), ip) << ip.ToText().toStdString();
        ASSERT_EQ(ip < previous, number < previousNumber);
        previous = ip;
        previousNumber = number;
    }
    EXPECT_EQ(IpAddress::FromIpv4(0x0A4D000A).ToText(), u"10.77.0.10"_s);
    EXPECT_EQ(IpAddress().ToIpv4(), 0u) << "the empty value is no IPv4 address";
    EXPECT_FALSE(IpAddress().IsIpv4());
}

TEST(MacAddressTest, ReadsSixHexBytesWithAnySeparator)
{
    const MacAddress expected{{0x00, 0x0C, 0x29, 0xAA, 0x0B, 0xCC}};
    for (const QString &text : {u"00:0C:29:AA:0B:CC"_s, u"00-0c-29-aa-0b-cc"_s,
                                u"00 0C 29 AA B CC"_s, u"0:c:29:aa:b:cc"_s})
        EXPECT_EQ(MacAddress::FromText(text), expected) << text.toStdString();
    for (const QString &bad :
         {u""_s, u"00:0C:29:AA:0B"_s, u"00:0C:29:AA:0B:CC:"_s, u"00:0C:29:AA:0B:CCC"_s,
          u"000C29AA0BCC"_s, u"00:0C:29:AA:0B:CG"_s, u"00::0C:29:AA:0B"_s}) {
        EXPECT_FALSE(MacAddress::FromText(bad)) << bad.toStdString();
    }
    EXPECT_EQ(expected.ToText(), u"00:0C:29:AA:0B:CC"_s);
    EXPECT_EQ(expected.ToText(u' '), u"00 0C 29 AA 0B CC"_s);
    EXPECT_EQ(expected.Oui(), 0x000C29u);
}

TEST(MacAddressTest, TellsGroupAndZeroAddresses)
{
    const auto mac = [](QStringView text) { return *MacAddress::FromText(text); };
    EXPECT_TRUE(mac(u"01:00:5E:00:00:01").IsGroup());
    EXPECT_TRUE(mac(u"FF:FF:FF:FF:FF:FF").IsGroup());
    EXPECT_FALSE(mac(u"02:77:00:00:00:01").IsGroup());
    EXPECT_TRUE(MacAddress().IsZero());
    EXPECT_FALSE(mac(u"00:00:00:00:00:01").IsZero());
}

TEST(AddressHashTest, EqualValuesHashEqualAndNearbyOnesSpread)
{
    QSet<IpAddress> ips;
    QSet<MacAddress> macs;
    for (std::uint32_t i = 0; i < 65536; ++i) {
        ips.insert(IpAddress::FromIpv4(0x0A4D0000 + i));
        macs.insert(MacAddress{{0x02, 0x77, 0, 0, std::uint8_t(i >> 8), std::uint8_t(i)}});
    }
    EXPECT_EQ(ips.size(), 65536);
    EXPECT_EQ(macs.size(), 65536);
    EXPECT_TRUE(ips.contains(*IpAddress::FromText(u"10.77.255.255")));
}

} // namespace
