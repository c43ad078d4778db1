#include "config/testaddresses.h"
#include "scan/probeframe.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

std::vector<std::uint8_t> Bytes(const ProbeFrame &f)
{
    return {f.bytes.begin(), f.bytes.begin() + f.size};
}

TEST(ProbeSourceMacs, LastDigitIsTheSourceIndex)
{
    const SourceMacs macs = BuildProbeSourceMacs(Settings::DefaultOwnMac());
    EXPECT_EQ(macs[0], u"00 11 22 33 44 50"_s);
    EXPECT_EQ(macs[2], u"00 11 22 33 44 52"_s);
    EXPECT_EQ(macs[11], u"00 11 22 33 44 5B"_s);
    EXPECT_EQ(macs[15], u"00 11 22 33 44 5F"_s);
}

TEST(ProbeFrame, EthernetBroadcastProbe)
{
    const SourceMacs macs = BuildProbeSourceMacs(Settings::DefaultOwnMac());
    const auto frame = BuildProbeFrame(Settings{}.TestDestination(2)->ToText(u' '), macs[2],
                                       u"192.168.0.1"_s, u"192.168.0.20"_s, FrameFormat::Ethernet2);
    ASSERT_TRUE(frame);
    const std::vector<std::uint8_t> expected = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, // destination: Br
        0x00, 0x11, 0x22, 0x33, 0x44, 0x52, // source address 2
        0x08, 0x06,                         // EtherType ARP
        0x00, 0x01, 0x08, 0x00, 0x06, 0x04, // Ethernet, IPv4, sizes 6 and 4
        0x00, 0x01,                         // request
        0x00, 0x11, 0x22, 0x33, 0x44, 0x52, // sender MAC: source address 2
        0xC0, 0xA8, 0x00, 0x01,             // sender IP: own IP 192.168.0.1
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00, // target MAC unknown
        0xC0, 0xA8, 0x00, 0x14,             // target IP 192.168.0.20
    };
    EXPECT_EQ(frame->size, 42);
    EXPECT_EQ(Bytes(*frame), expected);
}

TEST(ProbeFrame, Ieee8023B47Probe)
{
    const SourceMacs macs = BuildProbeSourceMacs(Settings::DefaultOwnMac());
    const auto frame = BuildProbeFrame(Settings{}.TestDestination(3)->ToText(u' '), macs[3],
                                       u"192.168.0.1"_s, u"192.168.0.20"_s, FrameFormat::Ieee8023);
    ASSERT_TRUE(frame);
    const std::vector<std::uint8_t> expected = {
        0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE,             // destination: B47
        0x00, 0x11, 0x22, 0x33, 0x44, 0x53,             // source address 3
        0x00, 0x2E,                                     // length 46
        0xAA, 0xAA, 0x03,                               // LLC: SNAP, unnumbered information
        0x00, 0x00, 0x00, 0x08, 0x06,                   // SNAP: organisation 0, ARP
        0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01, // ARP request header
        0x00, 0x11, 0x22, 0x33, 0x44, 0x53,             // sender MAC
        0xC0, 0xA8, 0x00, 0x01,                         // sender IP
        0x00, 0x00, 0x00, 0x00, 0x00, 0x00,             // target MAC
        0xC0, 0xA8, 0x00, 0x14,                         // target IP
    };
    EXPECT_EQ(frame->size, 50);
    EXPECT_EQ(Bytes(*frame), expected);
}

TEST(ProbeFrame, UserTestAddressTypedWithHyphens)
{
    Settings s;
    s.sp1Mac = MacFromText(u"01-00-5e-00-00-02"_s);
    EXPECT_EQ(s.TestDestination(10)->ToText(u' '), u"01 00 5E 00 00 02"_s);
    const SourceMacs macs = BuildProbeSourceMacs(*s.ownMac);
    const auto frame = BuildProbeFrame(s.TestDestination(10)->ToText(u' '), macs[10], u"10.0.0.1"_s,
                                       u"10.0.0.2"_s, FrameFormat::Ethernet2);
    ASSERT_TRUE(frame);
    EXPECT_EQ(std::vector<std::uint8_t>(frame->bytes.begin(), frame->bytes.begin() + 12),
              (std::vector<std::uint8_t>{0x01, 0x00, 0x5E, 0x00, 0x00, 0x02, 0x00, 0x11, 0x22, 0x33,
                                         0x44, 0x5A}));
}

TEST(ProbeFrame, NoFrameFromBadTexts)
{
    EXPECT_FALSE(BuildProbeFrame(QString(), u"00 11 22 33 44 52"_s, u"10.0.0.1"_s, u"10.0.0.2"_s,
                                 FrameFormat::Ethernet2));
    EXPECT_FALSE(BuildProbeFrame(u"FF FF FF FF FF FF"_s, u"00 11 22 33 44 52"_s, u"10 0.0.1"_s,
                                 u"10.0.0.2"_s, FrameFormat::Ethernet2));
}

TEST(HexTextToBytes, TokensOfOneOrTwoDigits)
{
    EXPECT_EQ(HexTextToBytes(u"1 2 3 4 5 6"_s), QByteArray("\x01\x02\x03\x04\x05\x06", 6));
    EXPECT_EQ(HexTextToBytes(u"FF\r\n0a  b"_s), QByteArray("\xFF\x0A\x0B", 3));
    EXPECT_EQ(HexTextToBytes(u"FF 1G"_s), QByteArray());
    EXPECT_EQ(HexTextToBytes(u"100"_s), QByteArray());
}

TEST(IpNumberToText, NoLeadingZeros)
{
    EXPECT_EQ(IpNumberToText(0xC0A80001u), u"192.168.0.1"_s);
    EXPECT_EQ(IpNumberToText(0xFFFFFFFFu), u"255.255.255.255"_s);
    EXPECT_EQ(IpNumberToText(0), u"0.0.0.0"_s);
}

TEST(SenderOwnIp, HasItsOwnFailureText)
{
    QStringList messages;
    const MessageSink sink = [&](const QString &m) { messages << m; };
    EXPECT_EQ(SenderOwnIp(IpAddress::FromIpv4(0xC0A80001), sink), 0xC0A80001u);
    EXPECT_FALSE(SenderOwnIp(std::nullopt, sink));
    EXPECT_EQ(messages, QStringList{u"IP Address ERROR !!! "_s});
}

TEST(TestAddresses, ColumnsAndVerdicts)
{
    int column = 2;
    for (const TestAddress &t : TestAddresses) {
        EXPECT_EQ(t.column, column++);
        EXPECT_EQ(t.correct, t.column == 2 || t.column == 8);
    }
    EXPECT_EQ(QString::fromUtf16(TestAddresses[7].checkBox), u"M2"_s);
    EXPECT_EQ(QString::fromUtf16(TestAddresses[7].label), u"M3"_s);
}

} // namespace
