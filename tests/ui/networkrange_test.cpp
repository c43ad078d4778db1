#include "ui/networkrange.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct CidrCase
{
    const char *name;
    const char16_t *text;
    const char16_t *first; // nullptr: no network
    const char16_t *last;
};

class CidrText : public ::testing::TestWithParam<CidrCase>
{
};

TEST_P(CidrText, GivesTheHostsOfItsNetwork)
{
    const std::optional<IpRange> range = RangeFromCidr(QString::fromUtf16(GetParam().text));
    if (!GetParam().first) {
        EXPECT_FALSE(range.has_value());
        return;
    }
    ASSERT_TRUE(range.has_value());
    EXPECT_EQ(range->first.ToText(), QString::fromUtf16(GetParam().first));
    EXPECT_EQ(range->last.ToText(), QString::fromUtf16(GetParam().last));
}

INSTANTIATE_TEST_SUITE_P(
    Texts, CidrText,
    ::testing::Values(CidrCase{"Slash24", u"10.77.0.0/24", u"10.77.0.1", u"10.77.0.254"},
                      CidrCase{"HostOfTheNetwork", u"10.77.0.77/24", u"10.77.0.1", u"10.77.0.254"},
                      CidrCase{"Blanks", u" 192.168.1.0 / 30 ", u"192.168.1.1", u"192.168.1.2"},
                      CidrCase{"Slash16", u"172.16.9.9/16", u"172.16.0.1", u"172.16.255.254"},
                      CidrCase{"PointToPoint", u"10.0.0.5/31", u"10.0.0.4", u"10.0.0.5"},
                      CidrCase{"OneHost", u"10.0.0.5/32", u"10.0.0.5", u"10.0.0.5"},
                      CidrCase{"Everything", u"0.0.0.0/0", u"0.0.0.1", u"255.255.255.254"},
                      CidrCase{"PrefixTooLong", u"10.0.0.0/33", nullptr, nullptr},
                      CidrCase{"NoPrefix", u"10.0.0.0/", nullptr, nullptr},
                      CidrCase{"PlainAddress", u"10.0.0.0", nullptr, nullptr},
                      CidrCase{"ThreeOctets", u"10.0.0/24", nullptr, nullptr},
                      CidrCase{"TwoSlashes", u"10.0.0.0/24/1", nullptr, nullptr},
                      CidrCase{"NegativePrefix", u"10.0.0.0/-1", nullptr, nullptr},
                      CidrCase{"SignedPrefix", u"10.0.0.0/+8", nullptr, nullptr},
                      CidrCase{"Mask", u"10.0.0.0/255.255.255.0", nullptr, nullptr},
                      CidrCase{"OctetTooLarge", u"10.0.0.256/24", nullptr, nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

// Only an interface with that very address tells its network; the loopback
// network is larger than a plain scan takes.
TEST(AdapterNetwork, NeedsTheInterfaceWithItsAddressAndAScannableSize)
{
    EXPECT_FALSE(AdapterNetwork({u"kw-no-such-card"_s, IpAddress::FromIpv4(0x0A4D0001)}));
    EXPECT_FALSE(AdapterNetwork({u"lo"_s, IpAddress::FromIpv4(0x0A4D0001)}));
    EXPECT_FALSE(AdapterNetwork({u"lo"_s, IpAddress::FromIpv4(0x7F000001)}));
}

} // namespace
