#include "config/settings.h"
#include "config/setuprules.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

TEST(SetupRules, NumberFieldsAreForcedIntoRange)
{
    EXPECT_EQ(NumberFromText(ScanTimerRule, u"0"), 5);
    EXPECT_EQ(NumberFromText(ScanTimerRule, u"61"), 5);
    EXPECT_EQ(NumberFromText(ScanTimerRule, u"060"), 60);
    EXPECT_EQ(NumberFromText(ScanTimerRule, u""), 5);
    EXPECT_EQ(NumberFromText(PacketCountRule, u"11"), 3);
    EXPECT_EQ(NumberFromText(PacketCountRule, u"10"), 10);
    EXPECT_EQ(NumberFromText(NodeTimerRule, u"70000"), 60000);
    EXPECT_EQ(NumberFromText(NodeTimerRule, u"-5"), 0);
    EXPECT_EQ(NumberFromText(NodeTimerRule, u"abc"), 500);
    EXPECT_EQ(NumberFromText(NodeTimerRule, u"0"), 0);
    EXPECT_EQ(NumberFromText(SendRateRule, u"2000000"), 1000000);
    EXPECT_EQ(NumberFromText(SendRateRule, u"-1"), 0);
    EXPECT_EQ(NumberFromText(SendRateRule, u""), 0);
    EXPECT_EQ(NumberFromText(SendRateRule, u"020000"), 20000);
    // Beyond what an int holds, still a number: the nearer end.
    EXPECT_EQ(NumberFromText(SendRateRule, u"99999999999"), 1000000);
}

struct EstimateCase
{
    const char *name;
    QString from;
    QString to;
    int sendRate;
    int nodeTimer;
    int packetCount;
    int testsOn;
    std::optional<double> seconds;
};

class SweepEstimate : public testing::TestWithParam<EstimateCase>
{
};

TEST_P(SweepEstimate, FollowsRangeTestsAndPacing)
{
    const EstimateCase &c = GetParam();
    Settings s;
    s.from = c.from;
    s.to = c.to;
    s.sendRate = c.sendRate;
    s.nodeTimerMs = c.nodeTimer;
    s.packetCount = c.packetCount;
    for (int i = 0; i < TestCount; ++i)
        s.tests[size_t(i)] = i < c.testsOn;
    EXPECT_EQ(s.EstimatedSweepSeconds(), c.seconds);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SweepEstimate,
    testing::Values(
        // 254 addresses x 10 tests x 2 frames at 20,000 frames a second.
        EstimateCase{"Paced", u"10.0.0.1"_s, u"10.0.0.254"_s, 20000, 500, 2, 10, 0.254},
        EstimateCase{"PacedFewerTests", u"10.0.0.1"_s, u"10.0.0.100"_s, 1000, 500, 3, 2, 0.6},
        EstimateCase{"NodeTimerWhenRateIsOff", u"10.0.0.1"_s, u"10.0.0.254"_s, 0, 500, 3, 10,
                     127.0},
        EstimateCase{"NoRateIsOff", u"10.0.0.1"_s, u"10.0.0.4"_s, 0, 250, 3, 10, 1.0},
        EstimateCase{"AcrossOctets", u"10.0.0.0"_s, u"10.0.3.255"_s, 1024, 0, 1, 1, 1.0},
        EstimateCase{"ReversedRange", u"10.0.0.9"_s, u"10.0.0.1"_s, 2000, 0, 1, 1, std::nullopt},
        EstimateCase{"NoRange", QString(), u"10.0.0.1"_s, 2000, 0, 1, 1, std::nullopt}),
    [](const testing::TestParamInfo<EstimateCase> &info) { return info.param.name; });

TEST(Settings, RangeIsReadFromTheTypedTextsOnce)
{
    Settings s;
    s.from = u" 10.0.0.1"_s;
    s.to = u"10.0.1.000"_s;
    ASSERT_TRUE(s.Range());
    EXPECT_EQ(s.Range()->first, IpAddress::FromIpv4(0x0A000001));
    EXPECT_EQ(s.Range()->last, IpAddress::FromIpv4(0x0A000100));
    EXPECT_EQ(s.Range()->Count(), 256u);
    s.to = u"10.0.0.0"_s;
    EXPECT_FALSE(s.Range());
}

struct SyslogNumberCase
{
    const char *name;
    QString spoolKib;
    QString maxBytes;
    int spoolKibRead;
    int maxBytesRead;
};

class SyslogNumbers : public testing::TestWithParam<SyslogNumberCase>
{
};

// Typed or stored, a syslog number outside its range takes the nearest
// bound, and one that cannot be read the first-run value.
TEST_P(SyslogNumbers, AreClampedOrDefaulted)
{
    EXPECT_EQ(NumberFromText(SyslogSpoolRule, GetParam().spoolKib), GetParam().spoolKibRead);
    EXPECT_EQ(NumberFromText(SyslogMessageRule, GetParam().maxBytes), GetParam().maxBytesRead);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SyslogNumbers,
    testing::Values(SyslogNumberCase{"FirstRun", u"1024"_s, u"2048"_s, 1024, 2048},
                    SyslogNumberCase{"Empty", QString(), QString(), 1024, 2048},
                    SyslogNumberCase{"Unreadable", u"lots"_s, u"2k"_s, 1024, 2048},
                    SyslogNumberCase{"BelowTheRange", u"1"_s, u"100"_s, 16, 480},
                    SyslogNumberCase{"AboveTheRange", u"99999999"_s, u"70000"_s, 65536, 65000},
                    SyslogNumberCase{"Blanks", u" 64 "_s, u" 4096"_s, 64, 4096}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Settings, SyslogTransportIsUdpUnlessNamedOtherwise)
{
    EXPECT_EQ(Settings().syslogTransport, SyslogTransport::Udp);
    EXPECT_EQ(SyslogTransportNamed(u" TLS "_s), SyslogTransport::Tls);
    EXPECT_EQ(SyslogTransportNamed(u"tcp"_s), SyslogTransport::Tcp);
    EXPECT_EQ(SyslogTransportNamed(u"udp"_s), SyslogTransport::Udp);
    // A store from a newer version, or a typing error.
    EXPECT_FALSE(SyslogTransportNamed(u"relp"_s));
    for (const SyslogTransport transport :
         {SyslogTransport::Udp, SyslogTransport::Tcp, SyslogTransport::Tls})
        EXPECT_EQ(SyslogTransportNamed(SyslogTransportWord(transport)), transport);
}

} // namespace
