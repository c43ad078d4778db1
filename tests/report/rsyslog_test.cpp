#include "config/addresstext.h"
#include "recordingoutputs.h"

#include "report/eventlog.h"
#include "report/hostname.h"
#include "report/syslog5424.h"
#include "report/syslogsender.h"

#include "support/labsegment.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QTemporaryDir>
#include <QTimeZone>

#include <memory>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString SenderIp = QString::fromLatin1(LabSegment::ScannerIp);
const QString SyslogHostIp = QString::fromLatin1(LabSegment::SyslogHostIp);

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
    NodeTable nodes;
    const int row =
        nodes.AddNodeRow(u"192.168.0.5"_s, u"00:11:22:33:44:55"_s, settings.values.tests);
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

    EventLog log(settings, nodes, clock, out, *sender);
    log.WriteEvent(u"start"_s, 0, 0);
    log.WriteEvent(u"UP"_s, 3, row);
    clock.Set(QDateTime(QDate(2004, 1, 15), QTime(9, 5, 7)));
    log.WriteEvent(u"mac"_s, 3, row);
    log.WriteEvent(u"X"_s, 3, row); // not forwarded
    log.WriteEvent(u"X"_s, 2, row);
    log.WriteEvent(u"+"_s, 2, row);

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
    NodeTable nodes;
    const int row =
        nodes.AddNodeRow(u"192.168.0.5"_s, u"00:11:22:33:44:55"_s, settings.values.tests);
    nodes.SetCell(row, NodeTable::VendorColumn, u"Cisco"_s);
    nodes.SetCell(row, NodeTable::CommentColumn, u"rack \"A\" [3]"_s);
    FixedClock clock(QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27, 250), QTimeZone(-5 * 3600)));
    RecordingOutputs out;

    std::unique_ptr<SyslogSender> sender;
    {
        EnteredNamespace keelwatchSide(lab->Namespace(u"scan"_s));
        ASSERT_TRUE(keelwatchSide.entered);
        sender = std::make_unique<SyslogSender>(settings, out);
    }
    EventLog log(settings, nodes, clock, out, *sender);
    log.WriteEvent(u"start"_s, 0, 0);
    log.WriteEvent(u"UP"_s, 3, row);
    log.WriteEvent(u"X"_s, 2, row);

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

} // namespace
