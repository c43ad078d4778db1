#include "config/addresstext.h"

#include <gtest/gtest.h>

#include <QStringList>

#include <random>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct IpCase
{
    QString text;
    QString valid; // what ValidIpText returns
};

class ValidIpTextTest : public ::testing::TestWithParam<IpCase>
{
};

TEST_P(ValidIpTextTest, AcceptsOnlyFourOctets)
{
    EXPECT_EQ(ValidIpText(GetParam().text), GetParam().valid) << GetParam().text.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Texts, ValidIpTextTest,
    ::testing::Values(IpCase{u" 10.0.0.1 "_s, u"10.0.0.1"_s},
                      // Leading zeros stay as typed.
                      IpCase{u"010.000.000.001"_s, u"010.000.000.001"_s},
                      IpCase{u"10.0.0.256"_s, QString()}, IpCase{u"10.0.0"_s, QString()},
                      IpCase{u"10.0.0.1."_s, QString()}, IpCase{u"10..0.1"_s, QString()},
                      IpCase{u"10.0.0.-1"_s, QString()},
                      // A blank separates fields like a dot.
                      IpCase{u"10 0.0.1"_s, u"10 0.0.1"_s}, IpCase{u"10.0.0.1.5"_s, QString()},
                      IpCase{u"a.b.c.d"_s, QString()}, IpCase{QString(), QString()},
                      // Hex forms are integers too.
                      IpCase{u"$0A.0x0.x1.+2"_s, u"$0A.0x0.x1.+2"_s},
                      IpCase{u"\"10\".0.0.1"_s, u"\"10\".0.0.1"_s}));

TEST(IpTextToNumber, FirstOctetMostSignificant)
{
    EXPECT_EQ(IpTextToNumber(u"0.0.0.0"_s), 0);
    EXPECT_EQ(IpTextToNumber(u"192.168.0.1"_s), 0xC0A80001LL);
    // The top address is a number, not the invalid -1.
    EXPECT_EQ(IpTextToNumber(u"255.255.255.255"_s), 4294967295LL);
    EXPECT_EQ(IpTextToNumber(u"10.0.0"_s), -1);
    EXPECT_EQ(IpTextToNumber(u"10 0.0.1"_s), 0x0A000001LL);
}

TEST(IpTextToHexText, ConvertsOrReportsOnce)
{
    QStringList messages;
    const MessageSink sink = [&](const QString &m) { messages << m; };
    EXPECT_EQ(IpTextToHexText(u"10.0.0.1"_s, sink), u"$0A000001"_s);
    EXPECT_EQ(IpTextToHexText(u"192.168.0.1"_s, sink), u"$C0A80001"_s);
    EXPECT_TRUE(messages.isEmpty());

    EXPECT_EQ(IpTextToHexText(u"10.0.0"_s, sink), QString());
    EXPECT_EQ(messages, QStringList{u"Wrong IP address."_s});
}

TEST(IpTextToHexText, RefusesLinesThatAreNotPlainOctets)
{
    // ValidIpText lets a blank stand next to or for a dot; the line-based
    // conversion must fail rather than give a garbage range bound.
    for (const QString &text : {u"10 .0.0.1"_s, u"10 0.0.1"_s, u"10.0.0.300"_s, u"10.0.0.-1"_s}) {
        int told = 0;
        EXPECT_EQ(IpTextToHexText(text, [&](const QString &) { ++told; }), QString())
            << text.toStdString();
        EXPECT_EQ(told, 1);
    }
}

TEST(IpTextToHexBytes, TwoDigitsAndABlankPerOctet)
{
    QStringList messages;
    const MessageSink sink = [&](const QString &m) { messages << m; };
    EXPECT_EQ(IpTextToHexBytes(u"192.168.0.1"_s, sink), u"C0 A8 00 01 "_s);
    EXPECT_EQ(IpTextToHexBytes(u"1.2.3"_s, sink), QString());
    EXPECT_EQ(messages, QStringList{u"IP Address Error"_s});
}

struct MacCase
{
    QString text;
    QString ownMac; // NormalizeOwnMac
    QString mac;    // NormalizeMac
};

class MacNormalizeTest : public ::testing::TestWithParam<MacCase>
{
};

TEST_P(MacNormalizeTest, Normalizes)
{
    const MacCase &c = GetParam();
    EXPECT_EQ(NormalizeOwnMac(c.text), c.ownMac) << c.text.toStdString();
    EXPECT_EQ(NormalizeMac(c.text), c.mac) << c.text.toStdString();
    // The typed values take what the texts take; an own MAC is no group
    // address.
    const std::optional<MacAddress> own = MacAddress::FromText(c.ownMac);
    EXPECT_EQ(OwnMacFromText(c.text), own && !own->IsGroup() ? own : std::nullopt)
        << c.text.toStdString();
    EXPECT_EQ(MacFromText(c.text).has_value(), !c.mac.isEmpty()) << c.text.toStdString();
    if (const std::optional<MacAddress> mac = MacFromText(c.text)) {
        EXPECT_EQ(MacFromText(mac->ToText(u' ')), mac) << c.text.toStdString();
    }
}

INSTANTIATE_TEST_SUITE_P(
    Texts, MacNormalizeTest,
    ::testing::Values(
        MacCase{u"00-11-22-33-44-5F"_s, u"00 11 22 33 44 50"_s, u"00 11 22 33 44 5F"_s},
        MacCase{u"00:11:22:33:44:55"_s, u"00 11 22 33 44 50"_s, u"00 11 22 33 44 55"_s},
        MacCase{u"0a 1b 2c 3d 4e 5f"_s, u"0A 1B 2C 3D 4E 50"_s, u"0A 1B 2C 3D 4E 5F"_s},
        MacCase{u"001122334455"_s, QString(), QString()},
        MacCase{u"00 11 22 33 44 GG"_s, QString(), QString()},
        // One-digit bytes are not padded; the own MAC needs 17 characters.
        MacCase{u"1:2:3:4:5:6"_s, QString(), u"1 2 3 4 5 6"_s},
        MacCase{u"01-00-5e-00-00-02"_s, u"01 00 5E 00 00 00"_s, u"01 00 5E 00 00 02"_s},
        MacCase{u"00 11 22 33 44"_s, QString(), QString()},
        MacCase{u"00 11 22 33 44 55 66"_s, QString(), QString()},
        MacCase{u"00 11 22 33 44 5"_s, QString(), u"00 11 22 33 44 5"_s},
        // A leading or trailing separator is dropped, not kept as a blank.
        MacCase{u"-2-AA-BB-CC-DD-E0"_s, u"02 AA BB CC DD E0"_s, u"2 AA BB CC DD E0"_s},
        MacCase{u"1:2:3:4:5:6:"_s, QString(), u"1 2 3 4 5 6"_s},
        // The own MAC comes back in the form probes and replies use.
        MacCase{u"0 000 11 22 33 4F"_s, u"00 00 11 22 33 40"_s, u"0 000 11 22 33 4F"_s},
        // Control characters inside are no separators.
        MacCase{u"00\t11 22 33 44 55"_s, QString(), QString()},
        MacCase{u"00 11 22 33 44 55\u0000AB"_s, QString(), QString()},
        MacCase{u"00\n11\n22\n33\n44\n55"_s, QString(), QString()}));

// Normalising what was normalised changes nothing, for texts drawn from the
// characters that matter to the splitting: digits, separators, quotes,
// control characters and others.
TEST(MacNormalize, IsIdempotent)
{
    const QString alphabet = u"0123456789abcdefABCDEFG-: \"\t\n\r\u0001\u0000\u00e9\u2028"_s;
    std::mt19937 random(20041);
    for (int round = 0; round < 200000; ++round) {
        QString text;
        if (round % 2 == 0) {
            // Mostly well-formed: six bytes with random separators and noise.
            for (int b = 0; b < 6; ++b) {
                text += alphabet[random() % 16];
                text += alphabet[random() % 16];
                text += alphabet[16 + random() % (alphabet.size() - 16)];
            }
            text = text.mid(int(random() % 3), 15 + int(random() % 4));
        } else {
            const int length = int(random() % 24);
            for (int i = 0; i < length; ++i)
                text += alphabet[random() % alphabet.size()];
        }
        const QString own = NormalizeOwnMac(text);
        ASSERT_EQ(NormalizeOwnMac(own), own) << qPrintable(text);
        ASSERT_TRUE(own.isEmpty() || (own.size() == 17 && own.endsWith(u'0'))) << qPrintable(text);
        const QString mac = NormalizeMac(text);
        ASSERT_EQ(NormalizeMac(mac), mac) << qPrintable(text);
    }
}

} // namespace
