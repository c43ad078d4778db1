#include "config/addresstext.h"
#include "recordingoutputs.h"

#include "core/nodelist.h"
#include "core/scanevents.h"
#include "report/eventlog.h"
#include "report/hostname.h"
#include "report/syslog5424.h"
#include "report/syslogsender.h"

#include "support/labsegment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>

#include <memory>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString SenderIp = QString::fromLatin1(LabSegment::ScannerIp);
const QString SyslogHostIp = QString::fromLatin1(LabSegment::SyslogHostIp);

// 192.168.0.5 [00:11:22:33:44:55], the node every node event is about.
int AddLoggedNode(NodeList &nodes, const Settings &settings)
{
    return nodes.Add(IpAddress::FromIpv4(0xC0A80005), *MacAddress::FromText(u"00:11:22:33:44:55"),
                     settings.tests);
}

Mark EthernetAnswer(Answer answer)
{
    return Mark::Answered(answer, FrameFormat::Ethernet2);
}

// The scanner's namespace sends to the lab's syslog host, where rsyslogd
// writes what it parsed; both go when the test ends, also when it fails.
class RsyslogTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (const auto reason = LabSegment::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(dir.isValid());
        lab = std::make_unique<LabSegment>(1, QStringList(), dir.path());
        ASSERT_TRUE(lab->built) << lab->output.toStdString();
    }

    QTemporaryDir dir;
    std::unique_ptr<LabSegment> lab;
};

TEST_F(RsyslogTest, DaemonReadsPriorityHostTagAndMessage)
{
    FixedSettings settings;
    settings.values.syslog = true;
    settings.values.syslogServer = IpFromText(SyslogHostIp);
    NodeList nodes;
    const int index = AddLoggedNode(nodes, settings.values);
    FixedClock clock(QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27)));
    RecordingOutputs out;

    std::unique_ptr<SyslogSender> sender;
    {
        EnteredNamespace keelwatchSide(lab->Namespace(u"scan"_s));
        ASSERT_TRUE(keelwatchSide.entered);
        sender = std::make_unique<SyslogSender>(settings, out);
    }
    // Nothing holds port 514 on the Keelwatch side of the lab.
    EXPECT_EQ(sender->LocalPort(), SyslogSender::SyslogPort);

    ScanEvents events;
    EventLog log(settings, clock, out, *sender);
    log.Listen(events);
    const Node &node = nodes.At(index);
    Q_EMIT events.scanStarted();
    Q_EMIT events.promiscuousStarted(node, 3);
    clock.Set(QDateTime(QDate(2004, 1, 15), QTime(9, 5, 7)));
    Q_EMIT events.macChanged(node, 3);
    Q_EMIT events.testAnswered(node, 3, EthernetAnswer(Answer::Illegal)); // not forwarded
    Q_EMIT events.testAnswered(node, 2, EthernetAnswer(Answer::Normal));
    Q_EMIT events.responseLost(node, 2);

    const QString host = QString::fromLatin1(LocalHostName());
    const QString from = u"|"_s + SenderIp;
    const QString sent = u"|"_s + host + u"|KEELWATCH|KEELWATCH:| "_s;
    EXPECT_EQ(
        lab->ReceivedSyslog(5),
        (QStringList{u"166"_s + sent + u"START|Jan  5 14:03:27"_s + from,
                     u"161"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] PROMISC START|Jan  5 14:03:27"_s + from,
                     u"164"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] MAC CHANGE|Jan 15 09:05:07"_s + from,
                     u"166"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] NODE FOUND|Jan 15 09:05:07"_s + from,
                     u"166"_s + sent +
                         u"192.168.0.5 [00:11:22:33:44:55] NODE LOST|Jan 15 09:05:07"_s + from}));
    EXPECT_TRUE(out.Matching(u"box"_s).isEmpty());
}

// rsyslogd's own RFC 5424 parser splits the header and keeps the structured
// data whole; its property replacer gives the time back in RFC 3339.
TEST_F(RsyslogTest, DaemonParsesRfc5424HeaderStructuredDataAndMessage)
{
    FixedSettings settings;
    settings.values.syslog = true;
    settings.values.syslogServer = IpFromText(SyslogHostIp);
    settings.values.syslogRfc5424 = true;
    NodeList nodes;
    const int index = AddLoggedNode(nodes, settings.values);
    nodes.SetVendor(index, u"Cisco"_s);
    nodes.SetComment(index, u"rack \"A\" [3]"_s);
    FixedClock clock(QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27, 250), QTimeZone(-5 * 3600)));
    RecordingOutputs out;

    std::unique_ptr<SyslogSender> sender;
    {
        EnteredNamespace keelwatchSide(lab->Namespace(u"scan"_s));
        ASSERT_TRUE(keelwatchSide.entered);
        sender = std::make_unique<SyslogSender>(settings, out);
    }
    ScanEvents events;
    EventLog log(settings, clock, out, *sender);
    log.Listen(events);
    Q_EMIT events.scanStarted();
    Q_EMIT events.promiscuousStarted(nodes.At(index), 3);
    Q_EMIT events.testAnswered(nodes.At(index), 2, EthernetAnswer(Answer::Normal));

    const QString head = u"|2004-01-05T14:03:27.250-05:00|"_s +
                         QString::fromLatin1(Rfc5424HostName(SystemHostName())) +
                         u"|KEELWATCH|%1|"_s.arg(QCoreApplication::applicationPid());
    const QString node = u" ip=\"192.168.0.5\" mac=\"00:11:22:33:44:55\""_s;
    const QString extra = u" vendor=\"Cisco\" comment=\"rack \\\"A\\\" [3\\]\"]"_s;
    const QString time = u"[keelwatch@32473 time=\"05/Jan/2004 14:03:27\""_s;
    EXPECT_EQ(lab->ReceivedSyslog(3, 10000, u"received5424.log"_s),
              (QStringList{u"166"_s + head + u"START|"_s + time + u" event=\"START\"]|START"_s,
                           u"161"_s + head + u"PROMISC_START|"_s + time + node +
                               u" event=\"PROMISC START\""_s + extra +
                               u"|192.168.0.5 [00:11:22:33:44:55] PROMISC START"_s,
                           u"166"_s + head + u"NODE_FOUND|"_s + time + node +
                               u" test=\"Br\" event=\"NODE FOUND\""_s + extra +
                               u"|192.168.0.5 [00:11:22:33:44:55] NODE FOUND"_s}));
}

// Long comments are shortened so that each message stays within 2,048
// bytes, which rsyslogd takes whole over UDP and TCP alike: its parser finds
// the header, the structured data with the shortened comment, and the MSG.
// A confirmation's MSGID is a fixed text; its count is a parameter.
class RsyslogLongComments : public RsyslogTest, public ::testing::WithParamInterface<const char *>
{
};

TEST_P(RsyslogLongComments, AreShortenedAndEveryMessageIsParsed)
{
    FixedSettings settings;
    settings.values.syslog = true;
    settings.values.syslogServer = IpFromText(SyslogHostIp);
    settings.values.syslogRfc5424 = true;
    settings.values.syslogTransport = *SyslogTransportNamed(QString::fromLatin1(GetParam()));
    NodeList nodes;
    const int index = AddLoggedNode(nodes, settings.values);
    FixedClock clock(QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27)));
    RecordingOutputs out;
    // The whole test on the Keelwatch side: a TCP connection is made when the
    // first message goes.
    EnteredNamespace keelwatchSide(lab->Namespace(u"scan"_s));
    ASSERT_TRUE(keelwatchSide.entered);
    SyslogSender sender(settings, out, 0, SyslogSender::SyslogPort, dir.filePath(u"spool"_s));
    EventLog log(settings, clock, out, sender);
    ScanEvents events;
    log.Listen(events);
    const Node &node = nodes.At(index);
    nodes.SetComment(index, QString(8990, u'c') + u" [\"end\"]"_s);
    Q_EMIT events.promiscuousStarted(node, 3);
    nodes.SetComment(index, QString(100000, u'\u00FC'));
    Q_EMIT events.verdictReached(node, ConfirmationVerdict::Confirmed, 24);
    nodes.SetComment(index, u"short"_s);
    Q_EMIT events.testAnswered(node, 2, EthernetAnswer(Answer::Normal));
    // The long comments may have used up the event loop's turn.
    log.WritePendingEvents();
    for (int i = 0; i < 1000 && sender.WaitingMessages() > 0; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    const QStringList received = lab->ReceivedSyslog(3, 10000, u"received5424.log"_s);
    ASSERT_EQ(received.size(), 3) << received.join(u'\n').toStdString();
    const QString mark = QString::fromUtf8(ShortenedMark);
    // Datagrams may be taken in another order by rsyslogd's receivers: the
    // messages are told apart by their MSGID.
    QStringList fields[3];
    for (const QString &line : received) {
        const QStringList parts = line.split(u'|');
        const QString id = parts.value(5);
        fields[id == u"PROMISC_START"_s ? 0 : id == u"PROMISC_CONFIRMED"_s ? 1 : 2] = parts;
    }
    EXPECT_EQ(fields[0].value(5), u"PROMISC_START"_s);
    EXPECT_TRUE(fields[0].value(6).endsWith(mark + u"\"]"_s)) << fields[0].value(6).toStdString();
    EXPECT_EQ(fields[0].value(7), u"192.168.0.5 [00:11:22:33:44:55] PROMISC START"_s);
    EXPECT_EQ(fields[1].value(5), u"PROMISC_CONFIRMED"_s);
    EXPECT_TRUE(fields[1].value(6).contains(u" answers=\"24/192\""_s))
        << fields[1].value(6).toStdString();
    EXPECT_TRUE(fields[1].value(6).endsWith(u"\u00FC"_s + mark + u"\"]"_s));
    EXPECT_EQ(fields[1].value(7), u"192.168.0.5 [00:11:22:33:44:55] PROMISC CONFIRMED 24/192"_s);
    EXPECT_TRUE(fields[2].value(6).endsWith(u" comment=\"short\"]"_s));
    EXPECT_EQ(fields[2].value(7), u"192.168.0.5 [00:11:22:33:44:55] NODE FOUND"_s);
    for (const QString &line : received)
        EXPECT_LE(line.toUtf8().size(), 2048);
    EXPECT_TRUE(out.Matching(u"note"_s).isEmpty()) << out.journal.join(u'\n').toStdString();
}

INSTANTIATE_TEST_SUITE_P(Transports, RsyslogLongComments, ::testing::Values("udp", "tcp"));

} // namespace
