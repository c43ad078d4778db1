#include "config/addresstext.h"
#include "recordingoutputs.h"

#include "report/syslog5424.h"
#include "report/syslogsender.h"
#include "scan/confirmationprobes.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QNetworkDatagram>
#include <QStringDecoder>
#include <QTimeZone>
#include <QUdpSocket>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

QDateTime At(int offsetSeconds, QTime time = QTime(14, 3, 27, 45))
{
    return QDateTime(QDate(2004, 1, 5), time, QTimeZone(offsetSeconds));
}

SyslogEvent NodeEvent(const QString &words)
{
    return SyslogEvent{.when = At(3600),
                       .severity = SeverityAlert,
                       .text = u"192.168.0.5 [00:11:22:33:44:55] "_s + words,
                       .event = words,
                       .ip = u"192.168.0.5"_s,
                       .mac = u"00:11:22:33:44:55"_s};
}

struct DatagramCase
{
    const char *name;
    SyslogEvent event;
    QByteArray bytes;
};

void PrintTo(const DatagramCase &c, std::ostream *os)
{
    *os << c.name;
}

class Rfc5424Bytes : public ::testing::TestWithParam<DatagramCase>
{
};

TEST_P(Rfc5424Bytes, HeaderStructuredDataAndMessage)
{
    EXPECT_EQ(Rfc5424Datagram(GetParam().event, "scanpc.example.org", 4711), GetParam().bytes);
}

SyslogEvent WithVendorAndComment(SyslogEvent event, const QString &vendor, const QString &comment)
{
    event.vendor = vendor;
    event.comment = comment;
    return event;
}

SyslogEvent WithTest(SyslogEvent event, const QString &test)
{
    event.test = test;
    event.severity = SeverityInformational;
    return event;
}

INSTANTIATE_TEST_SUITE_P(
    Events, Rfc5424Bytes,
    ::testing::Values(
        // No node: only time and event, no test, vendor or comment.
        DatagramCase{"Start",
                     {.when = At(3600),
                      .severity = SeverityInformational,
                      .text = u"START"_s,
                      .event = u"START"_s},
                     "<166>1 2004-01-05T14:03:27.045+01:00 scanpc.example.org KEELWATCH 4711 "
                     "START [keelwatch@32473 time=\"05/Jan/2004 14:03:27\" event=\"START\"] START"},
        DatagramCase{"PromiscStart", NodeEvent(u"PROMISC START"_s),
                     "<161>1 2004-01-05T14:03:27.045+01:00 scanpc.example.org KEELWATCH 4711 "
                     "PROMISC_START [keelwatch@32473 time=\"05/Jan/2004 14:03:27\" "
                     "ip=\"192.168.0.5\" mac=\"00:11:22:33:44:55\" event=\"PROMISC START\"] "
                     "192.168.0.5 [00:11:22:33:44:55] PROMISC START"},
        DatagramCase{"NodeFoundHasItsTest", WithTest(NodeEvent(u"NODE FOUND"_s), u"Br"_s),
                     "<166>1 2004-01-05T14:03:27.045+01:00 scanpc.example.org KEELWATCH 4711 "
                     "NODE_FOUND [keelwatch@32473 time=\"05/Jan/2004 14:03:27\" "
                     "ip=\"192.168.0.5\" mac=\"00:11:22:33:44:55\" test=\"Br\" "
                     "event=\"NODE FOUND\"] 192.168.0.5 [00:11:22:33:44:55] NODE FOUND"},
        // The three characters that would end a value or the element early.
        DatagramCase{"EscapedValues",
                     WithVendorAndComment(NodeEvent(u"MAC CHANGE"_s), u"Cisco \"Systems\""_s,
                                          u"rack [3]\\b"_s),
                     "<161>1 2004-01-05T14:03:27.045+01:00 scanpc.example.org KEELWATCH 4711 "
                     "MAC_CHANGE [keelwatch@32473 time=\"05/Jan/2004 14:03:27\" "
                     "ip=\"192.168.0.5\" mac=\"00:11:22:33:44:55\" event=\"MAC CHANGE\" "
                     "vendor=\"Cisco \\\"Systems\\\"\" comment=\"rack [3\\]\\\\b\"] "
                     "192.168.0.5 [00:11:22:33:44:55] MAC CHANGE"},
        // A value is UTF-8 without a mark; a message that is not ASCII gets one.
        DatagramCase{"Utf8",
                     SyslogEvent{.when = At(0),
                                 .severity = SeverityWarning,
                                 .text = u"Büro"_s,
                                 .event = u"PROMISC SUSPECT"_s,
                                 .comment = u"Büro"_s},
                     "<164>1 2004-01-05T14:03:27.045+00:00 scanpc.example.org KEELWATCH 4711 "
                     "PROMISC_SUSPECT [keelwatch@32473 time=\"05/Jan/2004 14:03:27\" "
                     "event=\"PROMISC SUSPECT\" comment=\"B\xC3\xBCro\"] \xEF\xBB\xBF"
                     "B\xC3\xBCro"},
        // Nothing to say: NILVALUE in the header, an element with no
        // parameters, and no message.
        DatagramCase{"Empty", SyslogEvent{.severity = SeverityWarning},
                     "<164>1 - scanpc.example.org KEELWATCH 4711 - [keelwatch@32473]"}),
    [](const ::testing::TestParamInfo<DatagramCase> &info) { return info.param.name; });

// The count of a confirmation stays out of MSGID, so a collector can match
// PROMISC_CONFIRMED as a fixed text; it travels as its own parameter.
TEST(Rfc5424Confirmation, MessageIdIsFixedAndTheCountIsStructuredData)
{
    Settings settings;
    ScanEvent confirmation{.kind = ScanEventKind::VerdictReached,
                           .count = 23,
                           .verdict = ConfirmationVerdict::Confirmed};
    confirmation.node.ip = *IpAddress::FromText(u"192.168.0.5");
    confirmation.node.mac = *MacAddress::FromText(u"00:11:22:33:44:55");
    const EventLine line = BuildEventLine(confirmation, settings, u"05/Jan/2004 14:03:27"_s);
    SyslogEvent event = line.syslog;
    event.when = At(3600);
    const QByteArray answered =
        QByteArray::number(23) + '/' + QByteArray::number(ConfirmationProbeCount);
    EXPECT_EQ(Rfc5424Datagram(event, "scanpc", 4711),
              // A warning: the START that comes with it is the alert.
              "<164>1 2004-01-05T14:03:27.045+01:00 scanpc KEELWATCH 4711 PROMISC_CONFIRMED "
              "[keelwatch@32473 time=\"05/Jan/2004 14:03:27\" ip=\"192.168.0.5\" "
              "mac=\"00:11:22:33:44:55\" event=\"PROMISC CONFIRMED\" answers=\"" +
                  answered + "\"] 192.168.0.5 [00:11:22:33:44:55] PROMISC CONFIRMED " + answered);
}

struct BoundCase
{
    const char *name;
    qsizetype commentLength;
    qsizetype vendorLength;
    int maxBytes;
    QByteArray host;
};

void PrintTo(const BoundCase &c, std::ostream *os)
{
    *os << c.name;
}

class Rfc5424Bound : public ::testing::TestWithParam<BoundCase>
{
};

// Whether bytes are well-formed UTF-8 (after the message's byte order mark).
bool IsUtf8(const QByteArray &bytes)
{
    QStringDecoder decoder(QStringDecoder::Utf8);
    (void)decoder.decode(bytes);
    return !decoder.hasError();
}

// A long comment (multi-byte letters, characters that need escaping) is
// shortened with a mark so that the message fits; the header, the other
// parameters and the message text stay whole.
TEST_P(Rfc5424Bound, LongTextsAreShortenedToFit)
{
    const BoundCase &c = GetParam();
    SyslogEvent event = NodeEvent(u"PROMISC START"_s);
    QString comment;
    while (comment.size() < c.commentLength)
        comment += u"Büro \"3\"] "_s;
    comment.truncate(c.commentLength);
    event.comment = comment;
    event.vendor = QString(c.vendorLength, u'v');
    const QByteArray datagram = Rfc5424Datagram(event, c.host, 4711, c.maxBytes);
    EXPECT_LE(datagram.size(), c.maxBytes);
    EXPECT_TRUE(IsUtf8(datagram));
    EXPECT_TRUE(datagram.contains(" ip=\"192.168.0.5\" mac=\"00:11:22:33:44:55\""));
    const bool fits = Rfc5424Datagram(event, c.host, 4711, 1 << 30).size() <= c.maxBytes;
    EXPECT_EQ(datagram.contains(QByteArray(QByteArray(ShortenedMark) + "\"]")), !fits);
    if (c.host.size() < 100) {
        EXPECT_TRUE(datagram.endsWith("] 192.168.0.5 [00:11:22:33:44:55] PROMISC START"));
        // Filled up to the limit, short of one escaped character and the mark.
        if (!fits) {
            EXPECT_GE(datagram.size(), c.maxBytes - 8);
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Sizes, Rfc5424Bound,
    ::testing::Values(BoundCase{"ShortFits", 20, 10, 2048, "scanpc"},
                      BoundCase{"NineThousand", 9000, 30, 2048, "scanpc"},
                      BoundCase{"HundredThousand", 100000, 30, 2048, "scanpc"},
                      BoundCase{"LargerLimit", 9000, 30, 8192, "scanpc"},
                      BoundCase{"LongVendorToo", 9000, 3000, 2048, "scanpc"},
                      BoundCase{"SmallestLimitLongHost", 9000, 3000, 480, QByteArray(255, 'h')}),
    [](const ::testing::TestParamInfo<BoundCase> &info) { return info.param.name; });

struct TimestampCase
{
    const char *name;
    QDateTime when;
    QByteArray text;
};

void PrintTo(const TimestampCase &c, std::ostream *os)
{
    *os << c.name;
}

class Rfc3339 : public ::testing::TestWithParam<TimestampCase>
{
};

TEST_P(Rfc3339, LocalTimeWithItsOffset)
{
    EXPECT_EQ(Rfc3339Timestamp(GetParam().when), GetParam().text);
}

INSTANTIATE_TEST_SUITE_P(
    Offsets, Rfc3339,
    ::testing::Values(
        TimestampCase{"East", At(3600), "2004-01-05T14:03:27.045+01:00"},
        TimestampCase{"WestWithMinutes", At(-(3 * 3600 + 30 * 60), QTime(0, 0)),
                      "2004-01-05T00:00:00.000-03:30"},
        TimestampCase{"Utc", At(0, QTime(23, 59, 59, 999)), "2004-01-05T23:59:59.999+00:00"},
        TimestampCase{"Nepal", At(5 * 3600 + 45 * 60), "2004-01-05T14:03:27.045+05:45"}),
    [](const ::testing::TestParamInfo<TimestampCase> &info) { return info.param.name; });

TEST(Rfc5424HostName, KeepsOnlyWhatTheFieldAllows)
{
    EXPECT_EQ(Rfc5424HostName("scanpc.example.org"), "scanpc.example.org");
    EXPECT_EQ(Rfc5424HostName("scan pc\t\x7F\xC3\xBC"), "scanpc");
    EXPECT_EQ(Rfc5424HostName(QByteArray(300, 'a')), QByteArray(255, 'a'));
    EXPECT_EQ(Rfc5424HostName(""), "-");
}

// The setting is read at every event, so a change in the Setup dialog takes
// effect at the next datagram.
TEST(SyslogSenderFormat, Rfc5424LeavesTheSocketWhileChosen)
{
    QUdpSocket receiver;
    ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
    FixedSettings settings;
    settings.values.syslog = true;
    settings.values.syslogServer = IpFromText(u"127.0.0.1"_s);
    RecordingOutputs out;
    SyslogSender sender(settings, out, receiver.localPort(), 0);
    sender.SendSyslog(NodeEvent(u"PROMISC START"_s));
    ASSERT_TRUE(receiver.waitForReadyRead(3000));
    const QByteArray bsd = receiver.receiveDatagram().data();
    EXPECT_TRUE(bsd.startsWith("<161>Jan  5 ")) << bsd.toStdString();
    EXPECT_FALSE(bsd.contains("keelwatch@32473")) << bsd.toStdString();

    settings.values.syslogRfc5424 = true;
    sender.SendSyslog(NodeEvent(u"PROMISC START"_s));
    ASSERT_TRUE(receiver.waitForReadyRead(3000));
    const QByteArray pid = QByteArray::number(QCoreApplication::applicationPid());
    const QByteArray data = receiver.receiveDatagram().data();
    EXPECT_TRUE(data.startsWith("<161>1 2004-01-05T14:03:27.045+01:00 ")) << data.toStdString();
    EXPECT_TRUE(data.contains(QByteArray(" KEELWATCH " + pid + " PROMISC_START [keelwatch@32473 ")))
        << data.toStdString();
}

} // namespace
