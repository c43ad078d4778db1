#include "config/settings.h"
#include "config/setuprules.h"

#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

TEST(SetupRules, NumberFieldsAreForcedIntoRange)
{
    EXPECT_EQ(ScanTimerExit(u"0"_s), u"5"_s);
    EXPECT_EQ(ScanTimerExit(u"61"_s), u"5"_s);
    EXPECT_EQ(ScanTimerExit(u"060"_s), u"60"_s);
    EXPECT_EQ(ScanTimerExit(QString()), u"5"_s);
    EXPECT_EQ(PacketNumberExit(u"11"_s), u"3"_s);
    EXPECT_EQ(PacketNumberExit(u"10"_s), u"10"_s);
    EXPECT_EQ(NodeTimerExit(u"70000"_s), u"60000"_s);
    EXPECT_EQ(NodeTimerExit(u"-5"_s), u"0"_s);
    EXPECT_EQ(NodeTimerExit(u"abc"_s), u"500"_s);
    EXPECT_EQ(NodeTimerExit(u"0"_s), u"0"_s);
    EXPECT_EQ(SendRateExit(u"2000000"_s), u"1000000"_s);
    EXPECT_EQ(SendRateExit(u"-1"_s), u"0"_s);
    EXPECT_EQ(SendRateExit(QString()), u"0"_s);
    EXPECT_EQ(SendRateExit(u"020000"_s), u"20000"_s);
}

struct EstimateCase
{
    const char *name;
    QString from;
    QString to;
    QString sendRate;
    QString nodeTimer;
    QString packetNumber;
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
    s.nodeTimer = c.nodeTimer;
    s.packetNumber = c.packetNumber;
    for (int i = 0; i < TestCount; ++i)
        s.tests[size_t(i)] = i < c.testsOn;
    EXPECT_EQ(s.EstimatedSweepSeconds(), c.seconds);
}

INSTANTIATE_TEST_SUITE_P(Settings, SweepEstimate,
                         testing::Values(
                             // 254 addresses x 10 tests x 2 frames at 20,000 frames a second.
                             EstimateCase{"Paced", u"10.0.0.1"_s, u"10.0.0.254"_s, u"20000"_s,
                                          u"500"_s, u"2"_s, 10, 0.254},
                             EstimateCase{"PacedFewerTests", u"10.0.0.1"_s, u"10.0.0.100"_s,
                                          u"1000"_s, u"500"_s, u"3"_s, 2, 0.6},
                             EstimateCase{"NodeTimerWhenRateIsOff", u"10.0.0.1"_s, u"10.0.0.254"_s,
                                          u"0"_s, u"500"_s, u"3"_s, 10, 127.0},
                             EstimateCase{"EmptyRateIsOff", u"10.0.0.1"_s, u"10.0.0.4"_s, QString(),
                                          u"250"_s, u"3"_s, 10, 1.0},
                             EstimateCase{"AcrossOctets", u"10.0.0.0"_s, u"10.0.3.255"_s, u"1024"_s,
                                          u"0"_s, u"1"_s, 1, 1.0},
                             EstimateCase{"ReversedRange", u"10.0.0.9"_s, u"10.0.0.1"_s, u"2000"_s,
                                          u"0"_s, u"1"_s, 1, std::nullopt},
                             EstimateCase{"NoRange", QString(), u"10.0.0.1"_s, u"2000"_s, u"0"_s,
                                          u"1"_s, 1, std::nullopt}),
                         [](const testing::TestParamInfo<EstimateCase> &info) {
                             return info.param.name;
                         });

TEST(Settings, AdapterNameIsTextAfterFirstSeparator)
{
    Settings s;
    s.adapterItem = u"10.9.0.1 : kw0 : x"_s;
    EXPECT_EQ(s.AdapterName(), u"kw0 : x"_s);
    s.adapterItem = u"kw0"_s;
    EXPECT_EQ(s.AdapterName(), QString());
}

struct SyslogNumberCase
{
    const char *name;
    QString spoolKib;
    QString maxBytes;
    qint64 spoolBytes;
    int messageLimit;
};

class SyslogNumbers : public testing::TestWithParam<SyslogNumberCase>
{
};

// Typed or stored, a syslog number outside its range takes the nearest
// bound, and one that cannot be read the first-run value.
TEST_P(SyslogNumbers, AreClampedOrDefaulted)
{
    Settings s;
    s.syslogSpoolKib = GetParam().spoolKib;
    s.syslogMaxBytes = GetParam().maxBytes;
    EXPECT_EQ(s.SyslogSpoolBytes(), GetParam().spoolBytes);
    EXPECT_EQ(s.SyslogMessageLimit(), GetParam().messageLimit);
}

INSTANTIATE_TEST_SUITE_P(
    Settings, SyslogNumbers,
    testing::Values(SyslogNumberCase{"FirstRun", u"1024"_s, u"2048"_s, 1024 * 1024, 2048},
                    SyslogNumberCase{"Empty", QString(), QString(), 1024 * 1024, 2048},
                    SyslogNumberCase{"Unreadable", u"lots"_s, u"2k"_s, 1024 * 1024, 2048},
                    SyslogNumberCase{"BelowTheRange", u"1"_s, u"100"_s, 16 * 1024, 480},
                    SyslogNumberCase{"AboveTheRange", u"99999999"_s, u"70000"_s,
                                     qint64(65536) * 1024, 65000},
                    SyslogNumberCase{"Blanks", u" 64 "_s, u" 4096"_s, 64 * 1024, 4096}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(Settings, SyslogTransportIsUdpUnlessNamedOtherwise)
{
    Settings s;
    EXPECT_EQ(s.Transport(), SyslogTransport::Udp);
    s.syslogTransport = u" TLS "_s;
    EXPECT_EQ(s.Transport(), SyslogTransport::Tls);
    s.syslogTransport = u"tcp"_s;
    EXPECT_EQ(s.Transport(), SyslogTransport::Tcp);
    // A store from a newer version, or a typing error: the old datagrams.
    s.syslogTransport = u"relp"_s;
    EXPECT_EQ(s.Transport(), SyslogTransport::Udp);
    EXPECT_FALSE(SyslogTransportNamed(u"relp"_s));
}

} // namespace
