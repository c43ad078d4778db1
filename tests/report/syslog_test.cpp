#include "config/addresstext.h"
#include "recordingoutputs.h"

#include "config/datetimetext.h"
#include "report/eventline.h"
#include "report/hostname.h"
#include "report/syslogsender.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QLocale>
#include <QNetworkDatagram>
#include <QThread>
#include <QUdpSocket>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

struct DatagramCase
{
    const char *name;
    QDateTime when;
    int severity;
    QByteArray bytes;
};

void PrintTo(const DatagramCase &c, std::ostream *os)
{
    *os << c.name;
}

class SyslogDatagramBytes : public ::testing::TestWithParam<DatagramCase>
{
};

TEST_P(SyslogDatagramBytes, PriorityTimestampHostTagText)
{
    const DatagramCase &c = GetParam();
    EXPECT_EQ(SyslogDatagram(c.when, c.severity, "SCANPC",
                             u"192.168.0.5 [00:11:22:33:44:55] PROMISC START"_s),
              c.bytes);
}

INSTANTIATE_TEST_SUITE_P(
    Days, SyslogDatagramBytes,
    ::testing::Values(
        // Days 1 to 9: two blanks, then the single digit.
        DatagramCase{"Day5", QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27)), 1,
                     "<161>Jan  5 14:03:27 SCANPC KEELWATCH: 192.168.0.5 [00:11:22:33:44:55] "
                     "PROMISC START"},
        DatagramCase{"Day15", QDateTime(QDate(2004, 12, 15), QTime(9, 5, 7)), 4,
                     "<164>Dec 15 09:05:07 SCANPC KEELWATCH: 192.168.0.5 [00:11:22:33:44:55] "
                     "PROMISC START"},
        DatagramCase{"Day1Midnight", QDateTime(QDate(2010, 5, 1), QTime(0, 0, 0)), 6,
                     "<166>May  1 00:00:00 SCANPC KEELWATCH: 192.168.0.5 [00:11:22:33:44:55] "
                     "PROMISC START"},
        DatagramCase{"Day10", QDateTime(QDate(2010, 9, 10), QTime(23, 59, 59)), 6,
                     "<166>Sep 10 23:59:59 SCANPC KEELWATCH: 192.168.0.5 [00:11:22:33:44:55] "
                     "PROMISC START"}),
    [](const ::testing::TestParamInfo<DatagramCase> &info) { return info.param.name; });

TEST(SyslogLocale, MonthsStayEnglishUnderAGermanLocale)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    // Without German month names in reach the check would prove nothing.
    ASSERT_EQ(QLocale().monthName(3, QLocale::ShortFormat), u"März"_s);

    const QDateTime march(QDate(2004, 3, 5), QTime(14, 3, 27));
    EXPECT_EQ(SyslogDatagram(march, 6, "H", u"START"_s), "<166>Mar  5 14:03:27 H KEELWATCH: START");
    EXPECT_EQ(DateTimeText(QDateTime(QDate(2004, 10, 5), QTime(1, 2, 3))),
              u"05/Oct/2004 01:02:03"_s);
    ScanEvent cycle;
    cycle.kind = ScanEventKind::CycleEnded;
    cycle.count = 1;
    EXPECT_EQ(BuildEventLine(cycle, Settings(),
                             DateTimeText(QDateTime(QDate(2004, 12, 24), QTime(18, 0))))
                  .text,
              u"#Cyclic_Count\t1\t24/Dec/2004 18:00:00"_s);
    QLocale::setDefault(previous);
}

// A sender and a receiver on loopback, on ports the system picks.
class SyslogSenderTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(receiver.bind(QHostAddress::LocalHost, 0));
        settings.values.syslog = true;
        settings.values.syslogServer = IpFromText(u"127.0.0.1"_s);
    }

    std::unique_ptr<SyslogSender> MakeSender(quint16 preferredLocalPort = 0)
    {
        return std::make_unique<SyslogSender>(settings, out, receiver.localPort(),
                                              preferredLocalPort);
    }

    // The next datagram that reaches the receiver, or a null one.
    QNetworkDatagram Received(int waitMs = 3000)
    {
        if (!receiver.hasPendingDatagrams() && !receiver.waitForReadyRead(waitMs))
            return QNetworkDatagram();
        return receiver.receiveDatagram();
    }

    FixedSettings settings;
    RecordingOutputs out;
    QUdpSocket receiver;
};

TEST_F(SyslogSenderTest, DatagramLeavesWithTheBytesOfDays5And15)
{
    auto sender = MakeSender();
    const QDateTime day5(QDate(2004, 1, 5), QTime(14, 3, 27));
    const QDateTime day15(QDate(2004, 1, 15), QTime(14, 3, 27));
    sender->SendSyslog({.when = day5,
                        .severity = SeverityAlert,
                        .text = u"192.168.0.5 [00:11:22:33:44:55] PROMISC START"_s});
    sender->SendSyslog({.when = day15, .severity = SeverityInformational, .text = u"START"_s});
    const QByteArray host = LocalHostName();
    EXPECT_EQ(Received().data(), "<161>Jan  5 14:03:27 " + host +
                                     " KEELWATCH: 192.168.0.5 [00:11:22:33:44:55] PROMISC START");
    EXPECT_EQ(Received().data(), "<166>Jan 15 14:03:27 " + host + " KEELWATCH: START");
}

struct ServerCase
{
    const char *name;
    QString typed;
    QStringList journal; // what the windows see
    bool sent;
};

void PrintTo(const ServerCase &c, std::ostream *os)
{
    *os << c.name;
}

class SyslogServerText : public SyslogSenderTest, public ::testing::WithParamInterface<ServerCase>
{
};

// The server's text is read once, as the Setup dialog reads its field.
TEST_P(SyslogServerText, ReadOnceAndSentOrRefused)
{
    settings.values.syslogServer = IpFromText(GetParam().typed);
    auto sender = MakeSender();
    sender->SendSyslog({.when = QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27)),
                        .severity = 6,
                        .text = u"START"_s});
    EXPECT_EQ(out.journal, GetParam().journal);
    EXPECT_EQ(Received(GetParam().sent ? 3000 : 300).isValid(), GetParam().sent);
}

INSTANTIATE_TEST_SUITE_P(
    Servers, SyslogServerText,
    ::testing::Values(
        ServerCase{"Blanks", u" 127.0.0.1 "_s, {}, true},
        // Leading zeros mean decimal.
        ServerCase{"LeadingZeros", u"127.000.000.001"_s, {}, true},
        ServerCase{"Empty", QString(), {u"box Wrong IP address for SYSLOG server."_s}, false},
        ServerCase{
            "OctetTooBig", u"127.0.0.256"_s, {u"box Wrong IP address for SYSLOG server."_s}, false},
        ServerCase{
            "ThreeNumbers", u"127.0.1"_s, {u"box Wrong IP address for SYSLOG server."_s}, false},
        ServerCase{"NullAddress", u"0.0.0.0"_s, {u"box Null Remote Address"_s}, false},
        ServerCase{"NullAddressWithZeros", u"000.0.00.0"_s, {u"box Null Remote Address"_s}, false}),
    [](const ::testing::TestParamInfo<ServerCase> &info) { return info.param.name; });

TEST_F(SyslogSenderTest, UncheckedSendsNothingAndSaysNothing)
{
    settings.values.syslog = false;
    settings.values.syslogServer = IpFromText(u"not an address"_s);
    auto sender = MakeSender();
    sender->SendSyslog({.when = QDateTime::currentDateTime(), .severity = 6, .text = u"START"_s});
    EXPECT_TRUE(out.journal.isEmpty());
    EXPECT_FALSE(Received(300).isValid());
}

// A port that was free a moment ago.
quint16 FreePort()
{
    QUdpSocket probe;
    probe.bind(QHostAddress::AnyIPv4, 0);
    return probe.localPort();
}

TEST_F(SyslogSenderTest, LeavesFromThePreferredPortWhenFree)
{
    const quint16 port = FreePort();
    auto sender = MakeSender(port);
    EXPECT_EQ(sender->LocalPort(), port);
    sender->SendSyslog({.when = QDateTime::currentDateTime(), .severity = 6, .text = u"START"_s});
    EXPECT_EQ(Received().senderPort(), port);
}

TEST_F(SyslogSenderTest, TakenPortIsNeitherSharedNorFatal)
{
    // The holder asks for address sharing, as a syslog daemon may; the sender
    // must still move to another port rather than share it.
    QUdpSocket holder;
    ASSERT_TRUE(holder.bind(QHostAddress::AnyIPv4, 0,
                            QUdpSocket::ShareAddress | QUdpSocket::ReuseAddressHint));
    auto sender = MakeSender(holder.localPort());
    EXPECT_NE(sender->LocalPort(), holder.localPort());
    EXPECT_NE(sender->LocalPort(), 0);
    sender->SendSyslog({.when = QDateTime::currentDateTime(), .severity = 6, .text = u"START"_s});
    EXPECT_EQ(Received().senderPort(), sender->LocalPort());
}

SyslogEvent Event(const QString &word)
{
    return {.when = QDateTime::currentDateTime(), .severity = 6, .text = word, .event = word};
}

// A failure that every forwarded event meets is told once per scan.
struct RepeatCase
{
    const char *name;
    QString server;
    bool refusingPeer; // the server text names loopback, where nothing listens
    QString boxStart;
};

void PrintTo(const RepeatCase &c, std::ostream *os)
{
    *os << c.name;
}

class SyslogFailureOncePerScan : public SyslogSenderTest,
                                 public ::testing::WithParamInterface<RepeatCase>
{
};

TEST_P(SyslogFailureOncePerScan, EachTextOnceUntilTheNextStart)
{
    settings.values.syslogServer = IpFromText(GetParam().server);
    // A port that was free a moment ago: the system answers port unreachable.
    const quint16 closed = FreePort();
    SyslogSender sender(settings, out, GetParam().refusingPeer ? closed : receiver.localPort(), 0);
    const auto scan = [&] {
        sender.SendSyslog(Event(u"START"_s));
        for (int i = 0; i < 6; ++i) {
            // The refusal comes back a moment after the datagram left.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
            QThread::msleep(20);
            sender.SendSyslog(Event(u"NODE FOUND"_s));
        }
        QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
    };
    scan();
    const QStringList first = out.Matching(u"box "_s);
    ASSERT_EQ(first.size(), 1) << out.journal.join(u"|"_s).toStdString();
    EXPECT_TRUE(first[0].startsWith(GetParam().boxStart)) << first[0].toStdString();
    scan();
    EXPECT_EQ(out.Matching(u"box "_s).size(), 2) << out.journal.join(u"|"_s).toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Failures, SyslogFailureOncePerScan,
    ::testing::Values(RepeatCase{"WrongText", u"127.0.0"_s, false,
                                 u"box Wrong IP address for SYSLOG server."_s},
                      RepeatCase{"NullAddress", u"0.0.0.0"_s, false, u"box Null Remote Address"_s}),
    [](const ::testing::TestParamInfo<RepeatCase> &info) { return info.param.name; });

// A server whose port is closed answers "port unreachable": the connected
// socket hears it, the outage is told once however many datagrams meet it,
// and its end is told when datagrams go unrefused again.
TEST_F(SyslogSenderTest, PortUnreachableIsToldOncePerOutageAndItsEnd)
{
    const quint16 port = FreePort();
    SyslogSender sender(settings, out, port, 0);
    const auto sendSome = [&] {
        for (int i = 0; i < 6; ++i) {
            sender.SendSyslog(Event(u"NODE FOUND"_s));
            // The refusal comes back a moment after the datagram left.
            QCoreApplication::processEvents(QEventLoop::AllEvents, 30);
            QThread::msleep(20);
        }
    };
    sendSome();
    EXPECT_EQ(out.Matching(u"note "_s),
              QStringList{u"note Syslog to 127.0.0.1 over UDP: Connection refused; events sent "
                          u"meanwhile do not reach the server."_s});
    EXPECT_TRUE(out.Matching(u"box "_s).isEmpty());

    QUdpSocket server;
    ASSERT_TRUE(server.bind(QHostAddress::LocalHost, port));
    sendSome();
    for (int i = 0; i < 300 && out.Matching(u"note "_s).size() < 2; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    EXPECT_EQ(out.Matching(u"note "_s).value(1),
              u"note Syslog to 127.0.0.1 over UDP: the server takes datagrams again."_s);
    EXPECT_TRUE(server.hasPendingDatagrams());

    // The next outage is told again.
    server.close();
    sendSome();
    EXPECT_EQ(out.Matching(u"note "_s).size(), 3);
}

// Bytes waiting in the receive queue of the UDP socket bound to this port,
// as /proc/net/udp shows them; -1 when no such socket exists.
qint64 ReceiveQueue(quint16 port)
{
    QFile table(u"/proc/net/udp"_s);
    if (!table.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray local = ':' + QByteArray::number(port, 16).toUpper().rightJustified(4, '0');
    for (const QByteArray &line : table.readAll().split('\n')) {
        const QList<QByteArray> fields = line.simplified().split(' ');
        if (fields.size() > 4 && fields[1].endsWith(local))
            return fields[4].split(':').value(1).toLongLong(nullptr, 16);
    }
    return -1;
}

TEST_F(SyslogSenderTest, IncomingDatagramsAreReadAndDiscarded)
{
    auto sender = MakeSender();
    QUdpSocket peer;
    for (int i = 0; i < 3; ++i)
        peer.writeDatagram("noise", QHostAddress::LocalHost, sender->LocalPort());
    ASSERT_GT(ReceiveQueue(sender->LocalPort()), 0);
    for (int i = 0; i < 50 && ReceiveQueue(sender->LocalPort()) != 0; ++i)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    EXPECT_EQ(ReceiveQueue(sender->LocalPort()), 0);
    sender->SendSyslog(
        {.when = QDateTime(QDate(2004, 1, 5), QTime(1, 2, 3)), .severity = 6, .text = u"START"_s});
    EXPECT_TRUE(Received().data().startsWith("<166>Jan  5 01:02:03 "));
}

} // namespace
