#include "recordingoutputs.h"
#include "tinydisk.h"

#include "support/scaneventvalues.h"

#include "core/nodelist.h"
#include "core/scanevents.h"
#include "report/eventlog.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QThread>
#include <QTimeZone>

#include <optional>
#include <utility>

using namespace keelwatch;
using namespace Qt::StringLiterals;
using enum keelwatch::ScanEventKind;

namespace {

const QDateTime EventTime(QDate(2004, 1, 5), QTime(14, 3, 27));
const QString ThreeLineAlert =
    u"alert Back up ERROR!!!\r\nCannot rename log file\r\nCurrent file will be used as is"_s;

// The node the node events are about: 192.168.0.5 [00:11:22:33:44:55].
Node LoggedNode()
{
    Node node;
    node.ip = IpAddress::FromIpv4(0xC0A80005);
    node.mac = *MacAddress::FromText(u"00:11:22:33:44:55");
    return node;
}

ScanEvent Scan(ScanEventKind kind, int count = 0)
{
    return ScanWideEvent(kind, count);
}

ScanEvent Cycle(int count)
{
    return ScanWideEvent(CycleEnded, count);
}

ScanEvent About(ScanEventKind kind, int column, const Node &node = LoggedNode())
{
    return NodeEvent(node, kind, column);
}

ScanEvent Answered(Answer answer, FrameFormat format, int column)
{
    return AnswerEvent(LoggedNode(), answer, format, column);
}

ScanEvent Verdict(ConfirmationVerdict verdict, int answered)
{
    return VerdictEvent(LoggedNode(), verdict, answered);
}

class EventLogTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        ASSERT_TRUE(dir.isValid());
        settings.values.logPath = LogPath();
        settings.values.from = u"192.168.0.1"_s;
        settings.values.to = u"192.168.0.254"_s;
        // Br, B47, B16 and Gr: the mask 0017.
        settings.values.tests = {true, true, true, false, true, false, false, false, false, false};
        log.SetRefreshHook([this] { out.journal << u"refresh"_s; });
        log.SetRotationHook([this] { out.journal << u"rotated"_s; });
    }

    QString LogPath() const { return dir.filePath(u"keelwatch.log"_s); }
    QString BackupPath(const QString &stamp) const
    {
        return dir.filePath(u"keelwatch"_s + stamp + u".log"_s);
    }

    static QByteArray Contents(const QString &path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<missing>");
    }

    static void WriteFile(const QString &path, const QByteArray &bytes, const QDateTime &modified)
    {
        QFile f(path);
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(bytes);
        f.flush();
        ASSERT_TRUE(f.setFileTime(modified, QFileDevice::FileModificationTime));
    }

    QTemporaryDir dir;
    FixedSettings settings;
    FixedClock clock{EventTime};
    RecordingOutputs out;
    EventLog log{settings, clock, out, out};
};

// One case per line format: the pane line (TAB between fields), the file bytes
// with the comma delimiter, the beep and the syslog forwarding.
struct LineCase
{
    const char *name;
    ScanEvent event;
    FrameFormat format;
    QString paneText;
    QByteArray commaFileText;
    bool beeps;
    QString syslog; // journal entry, empty when nothing is forwarded
};

void PrintTo(const LineCase &c, std::ostream *os)
{
    *os << c.name;
}

class EventLineFormat : public EventLogTest, public ::testing::WithParamInterface<LineCase>
{
};

TEST_P(EventLineFormat, PaneFileBeepAndSyslog)
{
    const LineCase &c = GetParam();
    settings.values.format = c.format;
    settings.values.beep = true;
    // The plain rule's beeps; with confirmation see ConfirmationBeepsOnlyWithAlerts.
    settings.values.confirmSuspects = false;

    // TAB delimiter: the file holds the pane text.
    log.OpenEventLog();
    log.WriteEvent(c.event);
    EXPECT_EQ(Contents(LogPath()), c.paneText.toUtf8() + "\r\n");
    EXPECT_EQ(out.Matching(u"pane "_s), QStringList{u"pane "_s + c.paneText});
    EXPECT_EQ(out.journal.contains(u"beep"_s), c.beeps);
    const QStringList forwarded = out.Matching(u"syslog "_s);
    EXPECT_EQ(forwarded, c.syslog.isEmpty() ? QStringList() : QStringList{c.syslog});

    // Comma delimiter: every TAB of the file text becomes a comma; the pane
    // keeps its TABs.
    log.CloseEventLog();
    settings.values.tabDelimiter = false;
    settings.values.logPath = dir.filePath(u"comma.log"_s);
    out.journal.clear();
    log.OpenEventLog();
    log.WriteEvent(c.event);
    EXPECT_EQ(Contents(settings.values.logPath), c.commaFileText);
    EXPECT_EQ(out.pane.last(), c.paneText.split(u"\r\n"_s).last());
}

INSTANTIATE_TEST_SUITE_P(
    Kinds, EventLineFormat,
    ::testing::Values(
        LineCase{
            "StartBanner", Scan(ScanStarted), FrameFormat::Ethernet2,
            u"\r\n### START Keelwatch\t0017\t05/Jan/2004 14:03:27\t192.168.0.1-192.168.0.254 ###"_s,
            "\r\n### START Keelwatch,0017,05/Jan/2004 14:03:27,192.168.0.1-192.168.0.254 ###\r\n",
            false, u"syslog 6 START"_s},
        LineCase{"Cycle", Cycle(3), FrameFormat::Ethernet2,
                 u"#Cyclic_Count\t3\t05/Jan/2004 14:03:27"_s,
                 "#Cyclic_Count,3,05/Jan/2004 14:03:27\r\n", false, QString()},
        LineCase{"Dropped", Scan(FramesDropped, 31), FrameFormat::Ethernet2,
                 u"#Dropped_Frames\t31\t05/Jan/2004 14:03:27"_s,
                 "#Dropped_Frames,31,05/Jan/2004 14:03:27\r\n", false, QString()},
        LineCase{"Rejected", Scan(RepliesRejected, 12), FrameFormat::Ethernet2,
                 u"#Rejected_Replies\t12\t05/Jan/2004 14:03:27"_s,
                 "#Rejected_Replies,12,05/Jan/2004 14:03:27\r\n", false, QString()},
        LineCase{"MacChange", About(MacChanged, 4), FrameFormat::Ethernet2,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tMAC\tCHANGE\t-"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],MAC,CHANGE,-\r\n", true,
                 u"syslog 4 192.168.0.5 [00:11:22:33:44:55] MAC CHANGE"_s},
        LineCase{"Suspect", About(SuspectFound, 3), FrameFormat::Ethernet2,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSUSPECT\t"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],PROMISC,SUSPECT,\r\n", true,
                 u"syslog 4 192.168.0.5 [00:11:22:33:44:55] PROMISC SUSPECT"_s},
        LineCase{"Up", About(PromiscuousStarted, 3), FrameFormat::Ethernet2,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSTART\t"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],PROMISC,START,\r\n", true,
                 u"syslog 1 192.168.0.5 [00:11:22:33:44:55] PROMISC START"_s},
        LineCase{
            "Confirmed", Verdict(ConfirmationVerdict::Confirmed, 23), FrameFormat::Ethernet2,
            u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tCONFIRMED\t23/192"_s,
            "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],PROMISC,CONFIRMED,23/192\r\n",
            // The START that goes with it is the alert.
            false, u"syslog 4 192.168.0.5 [00:11:22:33:44:55] PROMISC CONFIRMED 23/192"_s},
        LineCase{
            "FilterMatch", Verdict(ConfirmationVerdict::FilterMatch, 2), FrameFormat::Ethernet2,
            u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tFILTER-MATCH\t2/192"_s,
            "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],PROMISC,FILTER-MATCH,2/192\r\n",
            false, u"syslog 6 192.168.0.5 [00:11:22:33:44:55] PROMISC FILTER-MATCH 2/192"_s},
        LineCase{"Down", About(PromiscuousStopped, 9), FrameFormat::Ethernet2,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSTOP\t"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],PROMISC,STOP,\r\n", true,
                 u"syslog 1 192.168.0.5 [00:11:22:33:44:55] PROMISC STOP"_s},
        // A normal answer ("O", "o") is logged ON like an illegal one.
        LineCase{"UpperOOnB47", Answered(Answer::Normal, FrameFormat::Ethernet2, 3),
                 FrameFormat::Ethernet2,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tB47\tON\tethernet"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],B47,ON,ethernet\r\n", true,
                 QString()},
        LineCase{"LowerXOnS2", Answered(Answer::Illegal, FrameFormat::Ieee8023, 11),
                 FrameFormat::Ieee8023,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tS2\tON\tieee802.3"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],S2,ON,ieee802.3\r\n", true,
                 QString()},
        LineCase{"BrFound", Answered(Answer::Normal, FrameFormat::Ieee8023, 2),
                 FrameFormat::Ieee8023,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tBr\tON\tieee802.3"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],Br,ON,ieee802.3\r\n", false,
                 u"syslog 6 192.168.0.5 [00:11:22:33:44:55] NODE FOUND"_s},
        LineCase{"BrLostEthernet", About(ResponseLost, 2), FrameFormat::Ethernet2,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tBr\tOFF\tethernet"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],Br,OFF,ethernet\r\n", false,
                 u"syslog 6 192.168.0.5 [00:11:22:33:44:55] NODE LOST"_s},
        LineCase{"BrLostIeee", About(ResponseLost, 2), FrameFormat::Ieee8023,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tBr\tOFF\tieee802.3"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],Br,OFF,ieee802.3\r\n", false,
                 u"syslog 6 192.168.0.5 [00:11:22:33:44:55] NODE LOST"_s},
        LineCase{"M1LostNoBeep", About(ResponseLost, 8), FrameFormat::Ieee8023,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tM1\tOFF\tieee802.3"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],M1,OFF,ieee802.3\r\n", false,
                 QString()},
        LineCase{"ColumnTwelveHasNoTestName", Answered(Answer::Illegal, FrameFormat::Ethernet2, 12),
                 FrameFormat::Ethernet2,
                 u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\t-\tON\tethernet"_s,
                 "05/Jan/2004 14:03:27,192.168.0.5,[00:11:22:33:44:55],-,ON,ethernet\r\n", true,
                 QString()}),
    [](const ::testing::TestParamInfo<LineCase> &info) { return info.param.name; });

// With confirmation the verdict alerts: of every event only the START and
// STOP that follow it beep, answers, suspects and verdict lines do not.
TEST_F(EventLogTest, ConfirmationBeepsOnlyWithAlerts)
{
    settings.values.beep = true;
    settings.values.confirmSuspects = true;
    std::vector<ScanEvent> kinds{Scan(ScanStarted),
                                 Cycle(2),
                                 Scan(FramesDropped, 3),
                                 About(MacChanged, 4),
                                 About(SuspectFound, 3),
                                 About(PromiscuousStarted, 3),
                                 About(PromiscuousStopped, 3),
                                 Verdict(ConfirmationVerdict::Confirmed, 24),
                                 Verdict(ConfirmationVerdict::FilterMatch, 4)};
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
        kinds.push_back(Answered(Answer::Illegal, FrameFormat::Ethernet2, column));
        kinds.push_back(About(ResponseLost, column));
    }
    for (const ScanEvent &event : kinds) {
        out.journal.clear();
        log.WriteEvent(event);
        EXPECT_EQ(out.journal.contains(u"beep"_s), RaisesAlert(event.kind))
            << int(event.kind) << " on column " << event.column;
    }
}

TEST_F(EventLogTest, MarksBeepExceptOnBrAndM1)
{
    settings.values.beep = true;
    settings.values.confirmSuspects = false;
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
        for (const ScanEvent &event : {Answered(Answer::Illegal, FrameFormat::Ethernet2, column),
                                       Answered(Answer::Normal, FrameFormat::Ieee8023, column),
                                       About(ResponseLost, column)}) {
            out.journal.clear();
            log.WriteEvent(event);
            EXPECT_EQ(out.journal.contains(u"beep"_s), column != 2 && column != 8)
                << int(event.kind) << " on column " << column;
        }
    }
}

TEST_F(EventLogTest, StepsRunInOrderWithTheLineInTheFileBeforeSyslog)
{
    settings.values.beep = true;
    log.OpenEventLog();
    log.SetRefreshHook([this] {
        out.journal << u"refresh, file has "_s + QString::fromUtf8(Contents(LogPath())).trimmed();
    });
    log.WriteEvent(About(PromiscuousStarted, 5));
    const QString line =
        u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSTART\t"_s;
    EXPECT_EQ(out.journal, (QStringList{u"bound 100"_s, u"beep"_s, u"pane "_s + line,
                                        u"syslog 1 192.168.0.5 [00:11:22:33:44:55] PROMISC START"_s,
                                        u"refresh, file has "_s + line.trimmed()}));
    ASSERT_EQ(out.syslogEvents.size(), 1);
    EXPECT_EQ(out.syslogEvents[0].when, EventTime);
}

// The fields structured syslog formats carry: the node's cells as they were
// when the event was raised, the test only for the node found or lost.
TEST_F(EventLogTest, ForwardedEventsCarryTheirFieldsApart)
{
    Node node = LoggedNode();
    node.vendor = u"Cisco"_s;
    node.comment = u"router"_s;
    log.WriteEvent(Scan(ScanStarted));
    log.WriteEvent(About(SuspectFound, 5, node));
    ScanEvent answered = About(TestAnswered, 2, node);
    answered.mark = Mark::Answered(Answer::Normal, FrameFormat::Ethernet2);
    log.WriteEvent(answered);
    answered.column = 3;
    answered.mark.answer = Answer::Illegal;
    log.WriteEvent(answered); // not forwarded
    ASSERT_EQ(out.syslogEvents.size(), 3);

    const auto fields = [](const SyslogEvent &e) {
        return QStringList{e.event, e.ip, e.mac, e.test, e.vendor, e.comment};
    };
    EXPECT_EQ(fields(out.syslogEvents[0]), (QStringList{u"START"_s, {}, {}, {}, {}, {}}));
    EXPECT_EQ(fields(out.syslogEvents[1]), (QStringList{u"PROMISC SUSPECT"_s,
                                                        u"192.168.0.5"_s,
                                                        u"00:11:22:33:44:55"_s,
                                                        {},
                                                        u"Cisco"_s,
                                                        u"router"_s}));
    EXPECT_EQ(fields(out.syslogEvents[2]),
              (QStringList{u"NODE FOUND"_s, u"192.168.0.5"_s, u"00:11:22:33:44:55"_s, u"Br"_s,
                           u"Cisco"_s, u"router"_s}));
}

TEST_F(EventLogTest, PaneHoldsAtMostAHundredLinesBeforeEachAdd)
{
    for (int i = 1; i <= 150; ++i)
        log.WriteEvent(Cycle(i));
    EXPECT_EQ(out.pane.size(), 101);
    EXPECT_EQ(out.pane.first(), u"#Cyclic_Count\t50\t05/Jan/2004 14:03:27"_s);
    log.WriteEvent(Scan(ScanStarted));
    EXPECT_EQ(out.pane.size(), 102);
    EXPECT_EQ(out.pane[100], QString());
}

// A listened event carries its node as it was when the signal was raised.
TEST_F(EventLogTest, NodeFieldsAreReadAtTheMomentOfTheEvent)
{
    NodeList nodes;
    ScanEvents events;
    log.Listen(events);
    const Node logged = LoggedNode();
    const int index = nodes.Add(logged.ip, logged.mac, settings.values.tests);
    Q_EMIT events.macChanged(nodes.At(index), 3);
    nodes.SetMac(index, *MacAddress::FromText(u"00:11:22:33:44:66"), QString());
    Q_EMIT events.macChanged(nodes.At(index), 3);
    EXPECT_EQ(out.Matching(u"syslog"_s),
              (QStringList{u"syslog 4 192.168.0.5 [00:11:22:33:44:55] MAC CHANGE"_s,
                           u"syslog 4 192.168.0.5 [00:11:22:33:44:66] MAC CHANGE"_s}));
}

TEST_F(EventLogTest, EventsRaisedWhileAMessageBoxIsOpenWaitTheirTurn)
{
    // A real sender with no server address opens a message box, once per
    // scan.
    SyslogSender sender(settings, out, 9, 0);
    EventLog boxed(settings, clock, out, sender);
    settings.values.syslog = true;
    boxed.SetRefreshHook([this] { out.journal << u"refresh"_s; });
    bool nested = false;
    out.onMessageBox = [&] {
        if (!std::exchange(nested, true))
            boxed.WriteEvent(About(SuspectFound, 3));
    };
    boxed.WriteEvent(About(PromiscuousStarted, 3));
    EXPECT_EQ(
        out.journal,
        (QStringList{
            u"bound 100"_s,
            u"pane 05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSTART\t"_s,
            u"box Wrong IP address for SYSLOG server."_s, u"bound 100"_s,
            u"pane 05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSUSPECT\t"_s,
            // Written in one go, read by the node viewer once.
            u"refresh"_s}));
}

TEST_F(EventLogTest, NewLogIsCreatedAndAppendedTo)
{
    ASSERT_FALSE(QFile::exists(LogPath()));
    log.OpenEventLog();
    EXPECT_TRUE(log.IsOpen());
    log.WriteEvent(Cycle(1));
    log.WriteEvent(Cycle(2));
    EXPECT_EQ(
        Contents(LogPath()),
        "#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n#Cyclic_Count\t2\t05/Jan/2004 14:03:27\r\n");
    EXPECT_TRUE(out.Matching(u"alert"_s).isEmpty());
}

TEST_F(EventLogTest, ErrorNoteIsOneLineWhileTheLogIsOpen)
{
    log.WriteErrorNote(u"Cannot write comment.txt.\nNo space left on device"_s);
    EXPECT_FALSE(QFile::exists(LogPath()));
    log.OpenEventLog();
    log.WriteErrorNote(u"Cannot write comment.txt.\nNo space left on device"_s);
    log.CloseEventLog();
    log.WriteErrorNote(u"after the scan"_s);
    EXPECT_EQ(Contents(LogPath()), "#Error\tCannot write comment.txt. No space left on device\t"
                                   "05/Jan/2004 14:03:27\r\n");
}

TEST_F(EventLogTest, DayChangeWithoutAFileCreatesOneAndClearsTheFlag)
{
    // The log was deleted while a scan ran past midnight: nothing is left
    // to back up, and a later start the same day must not rotate today's
    // file under yesterday's name.
    log.SetDayChanged(true);
    log.OpenEventLog();
    EXPECT_TRUE(log.IsOpen());
    EXPECT_FALSE(log.DayChangePending());
    log.WriteEvent(Cycle(1));
    log.CloseEventLog();
    log.OpenEventLog();
    EXPECT_FALSE(QFile::exists(BackupPath(u"20040104"_s)));
    EXPECT_EQ(Contents(LogPath()), "#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n");
}

TEST_F(EventLogTest, LogWrittenTodayIsAppendedTo)
{
    WriteFile(LogPath(), "old\r\n", QDateTime(EventTime.date(), QTime(0, 0)));
    log.OpenEventLog();
    log.WriteEvent(Cycle(1));
    EXPECT_EQ(Contents(LogPath()), "old\r\n#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n");
    EXPECT_FALSE(QFile::exists(BackupPath(u"20040104"_s)));
    EXPECT_FALSE(out.journal.contains(u"rotated"_s));
}

TEST_F(EventLogTest, LogWrittenYesterdayBecomesTheDatedBackup)
{
    WriteFile(LogPath(), "old\r\n", QDateTime(QDate(2004, 1, 4), QTime(23, 59, 59)));
    log.OpenEventLog();
    log.WriteEvent(Cycle(1));
    EXPECT_EQ(Contents(BackupPath(u"20040104"_s)), "old\r\n");
    EXPECT_EQ(Contents(LogPath()), "#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n");
    EXPECT_EQ(out.journal.count(u"rotated"_s), 1);
    EXPECT_TRUE(out.Matching(u"alert"_s).isEmpty());
}

TEST_F(EventLogTest, BackupTakesTheFixedStemAndTheDayOfTheLastWrite)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"logs"_s));
    settings.values.logPath = dir.filePath(u"logs/scan-events.txt"_s);
    // Last written three months ago: filed under that day, not yesterday.
    WriteFile(settings.values.logPath, "old\r\n", QDateTime(QDate(2003, 12, 1), QTime(8, 0)));
    clock.Set(QDateTime(QDate(2004, 3, 1), QTime(0, 0, 1)));
    log.OpenEventLog();
    EXPECT_EQ(Contents(dir.filePath(u"logs/keelwatch20031201.log"_s)), "old\r\n");
    EXPECT_FALSE(QFileInfo::exists(dir.filePath(u"logs/keelwatch20040229.log"_s)));
    EXPECT_TRUE(log.IsOpen());
    EXPECT_EQ(Contents(settings.values.logPath), QByteArray());
}

TEST_F(EventLogTest, ExistingBackupKeepsLoggingInTheOldFile)
{
    WriteFile(BackupPath(u"20040104"_s), "backup\r\n", EventTime.addDays(-1));
    WriteFile(LogPath(), "old\r\n", QDateTime(QDate(2004, 1, 4), QTime(12, 0)));
    log.SetDayChanged(true);
    log.OpenEventLog();
    EXPECT_EQ(out.Matching(u"alert"_s), QStringList{ThreeLineAlert});
    EXPECT_TRUE(log.IsOpen());
    log.WriteEvent(Cycle(1));
    EXPECT_EQ(Contents(LogPath()), "old\r\n#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n");
    EXPECT_EQ(Contents(BackupPath(u"20040104"_s)), "backup\r\n");
    EXPECT_TRUE(log.DayChangePending());
    EXPECT_FALSE(out.journal.contains(u"rotated"_s));
}

TEST_F(EventLogTest, DayChangeClosesAndRotatesTheOpenLog)
{
    log.OpenEventLog();
    log.WriteEvent(Cycle(1));
    // The scan went past midnight; the file was written "today" by the file
    // system's clock, but the flag decides.
    clock.Set(QDateTime(QDate(2004, 1, 6), QTime(0, 0, 5)));
    log.SetDayChanged(true);
    log.OpenEventLog();
    EXPECT_FALSE(log.DayChangePending());
    EXPECT_EQ(out.journal.count(u"rotated"_s), 1);
    log.WriteEvent(Scan(ScanStarted));
    EXPECT_EQ(Contents(BackupPath(u"20040105"_s)), "#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n");
    EXPECT_EQ(
        Contents(LogPath()),
        "\r\n### START Keelwatch\t0017\t06/Jan/2004 00:00:05\t192.168.0.1-192.168.0.254 ###\r\n");
}

TEST_F(EventLogTest, FolderAtTheLogPathIsNeverRenamed)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"keelwatch.log"_s));
    log.SetDayChanged(true);
    log.OpenEventLog();
    ASSERT_EQ(out.Matching(u"alert"_s).size(), 1);
    EXPECT_TRUE(out.Matching(u"alert"_s)[0].startsWith(u"alert Cannot open log file.\r\n"_s));
    EXPECT_TRUE(QFileInfo(LogPath()).isDir());
    EXPECT_FALSE(QFileInfo::exists(BackupPath(u"20040104"_s)));
}

// A log path that cannot be opened: what is in the way, and the reason the
// system gives for it.
struct UnopenableCase
{
    const char *name;
    QString logName;
    QString reason;
};

void PrintTo(const UnopenableCase &c, std::ostream *os)
{
    *os << c.name;
}

class UnopenableLog : public EventLogTest, public ::testing::WithParamInterface<UnopenableCase>
{
};

TEST_P(UnopenableLog, IsReportedOnceWithPathAndReasonWhileEventsGoOn)
{
    const UnopenableCase &c = GetParam();
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"folder.log"_s));
    WriteFile(dir.filePath(u"plain-file"_s), "x", EventTime);
    settings.values.logPath = dir.filePath(c.logName);
    log.OpenEventLog();
    EXPECT_FALSE(log.IsOpen());
    log.WriteEvent(Scan(ScanStarted));
    log.WriteEvent(About(PromiscuousStarted, 3));
    EXPECT_EQ(out.Matching(u"alert"_s),
              QStringList{u"alert Cannot open log file.\r\n"_s + settings.values.logPath +
                          u"\r\n"_s + c.reason});
    EXPECT_EQ(out.Matching(u"syslog"_s).size(), 2);
    EXPECT_EQ(out.pane.size(), 3);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, UnopenableLog,
    ::testing::Values(
        UnopenableCase{"MissingFolder", u"missing/keelwatch.log"_s, u"No such file or directory"_s},
        UnopenableCase{"FolderAtThePath", u"folder.log"_s, u"Is a directory"_s},
        UnopenableCase{"FileAsFolder", u"plain-file/keelwatch.log"_s, u"Not a directory"_s}),
    [](const ::testing::TestParamInfo<UnopenableCase> &info) { return info.param.name; });

TEST_F(EventLogTest, ReadOnlyDiskIsReportedOnceWithPathAndReason)
{
    TinyDisk disk(16, MS_RDONLY);
    SKIP_WITHOUT_TINY_DISK(disk);
    settings.values.logPath = disk.FilePath(u"keelwatch.log"_s);
    log.OpenEventLog();
    log.WriteEvent(Cycle(1));
    EXPECT_EQ(out.Matching(u"alert"_s),
              QStringList{u"alert Cannot open log file.\r\n"_s + settings.values.logPath +
                          u"\r\nRead-only file system"_s});
}

TEST_F(EventLogTest, LogRenamedAwayIsOpenedAnewAtItsPath)
{
    log.OpenEventLog();
    log.WriteEvent(Cycle(1));
    // As logrotate without copytruncate does it.
    ASSERT_TRUE(QFile::rename(LogPath(), LogPath() + u".1"_s));
    log.WriteEvent(Cycle(2));
    EXPECT_EQ(Contents(LogPath() + u".1"_s), "#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n");
    EXPECT_EQ(Contents(LogPath()), "#Cyclic_Count\t2\t05/Jan/2004 14:03:27\r\n");
    // The node viewer reads the new file from its beginning.
    EXPECT_EQ(out.journal.count(u"rotated"_s), 1);
    EXPECT_TRUE(out.Matching(u"alert"_s).isEmpty());
}

TEST_F(EventLogTest, RemovedLogFolderIsReportedOnceAndTheLogComesBackWithIt)
{
    const QString folder = dir.filePath(u"logs"_s);
    ASSERT_TRUE(QDir().mkdir(folder));
    settings.values.logPath = folder + u"/keelwatch.log"_s;
    log.OpenEventLog();
    log.WriteEvent(Cycle(1));
    ASSERT_TRUE(QDir(folder).removeRecursively());
    log.WriteEvent(Cycle(2));
    log.WriteEvent(Cycle(3));
    EXPECT_EQ(out.Matching(u"alert"_s),
              QStringList{u"alert Cannot open log file.\r\n"_s + settings.values.logPath +
                          u"\r\nNo such file or directory"_s});
    ASSERT_TRUE(QDir().mkdir(folder));
    log.WriteEvent(Cycle(4));
    // The lines of the outage waited and come first, in order.
    EXPECT_EQ(Contents(settings.values.logPath), "#Cyclic_Count\t2\t05/Jan/2004 14:03:27\r\n"
                                                 "#Cyclic_Count\t3\t05/Jan/2004 14:03:27\r\n"
                                                 "#Cyclic_Count\t4\t05/Jan/2004 14:03:27\r\n");
    EXPECT_EQ(out.Matching(u"alert"_s).size(), 1);
}

TEST_F(EventLogTest, FullDiskCutsNoLineIntoTheNextAndIsReportedOnce)
{
    TinyDisk disk(16);
    SKIP_WITHOUT_TINY_DISK(disk);
    settings.values.logPath = disk.FilePath(u"keelwatch.log"_s);
    log.OpenEventLog();
    log.WriteEvent(About(PromiscuousStarted, 3));
    // The log's first block has room left; every other block is taken.
    ASSERT_TRUE(disk.Fill(u"filler"_s));
    for (int i = 0; i < 100; ++i)
        log.WriteEvent(About(PromiscuousStarted, 3));
    const QString path = settings.values.logPath;
    EXPECT_EQ(out.Matching(u"alert"_s), QStringList{u"alert Cannot write log file.\r\n"_s + path +
                                                    u"\r\nNo space left on device"_s});

    ASSERT_TRUE(QFile::remove(disk.FilePath(u"filler"_s)));
    log.WriteEvent(Cycle(7));
    const QByteArray up =
        "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSTART\t";
    const QByteArray cycle = "#Cyclic_Count\t7\t05/Jan/2004 14:03:27";
    QList<QByteArray> lines = Contents(path).split('\n');
    ASSERT_EQ(lines.takeLast(), QByteArray());
    ASSERT_EQ(lines.takeLast(), cycle + '\r');
    // Whole lines, then at most one cut line that ends where it was cut.
    ASSERT_GE(lines.size(), 2);
    const QByteArray last = lines.takeLast();
    EXPECT_TRUE(last == up + '\r' || (up.startsWith(last.chopped(1)) && last.endsWith('\r')))
        << last.toStdString();
    for (const QByteArray &line : lines)
        EXPECT_EQ(line, up + '\r');
    EXPECT_EQ(out.Matching(u"alert"_s).size(), 1);
}

// Spins the event loop until the log has written what waited, at most a
// few of its retries.
bool WaitUntilWritten(const EventLog &log)
{
    for (int i = 0; i < 500 && log.UnwrittenLines() > 0; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(10);
    }
    return log.UnwrittenLines() == 0;
}

// While the disk is full the lines wait; when room comes back they go into
// the file in order, whole, without a further event to carry them.
TEST_F(EventLogTest, FullDiskLosesNoLineWhileTheQueueHasRoom)
{
    TinyDisk disk(64);
    SKIP_WITHOUT_TINY_DISK(disk);
    settings.values.logPath = disk.FilePath(u"keelwatch.log"_s);
    log.OpenEventLog();
    log.WriteEvent(Scan(ScanEventKind::ScanStarted));
    ASSERT_TRUE(disk.Fill(u"filler"_s));
    QByteArray expected = Contents(settings.values.logPath);
    for (int i = 1; i <= 300; ++i) {
        log.WriteEvent(Cycle(i));
        expected += "#Cyclic_Count\t" + QByteArray::number(i) + "\t05/Jan/2004 14:03:27\r\n";
    }
    log.WritePendingEvents();
    // The log's last block took the first lines; the rest wait.
    EXPECT_GT(log.UnwrittenLines(), 100);
    EXPECT_EQ(out.Matching(u"alert"_s).size(), 1);

    ASSERT_TRUE(QFile::remove(disk.FilePath(u"filler"_s)));
    ASSERT_TRUE(WaitUntilWritten(log));
    EXPECT_EQ(Contents(settings.values.logPath), expected);
}

// Events wait while replies wait to be classified, and then go into the
// file in one go: whole, in order, and read once by the node viewer. A full
// disk keeps such a burst whole until room comes back.
class EventBurst : public EventLogTest, public ::testing::WithParamInterface<bool>
{
};

TEST_P(EventBurst, WaitsBehindRepliesAndReachesTheFileWholeInOrder)
{
    const bool fullDisk = GetParam();
    std::optional<TinyDisk> disk;
    if (fullDisk) {
        disk.emplace(64);
        if (!disk->IsMounted())
            GTEST_SKIP() << disk->Reason();
        settings.values.logPath = disk->FilePath(u"keelwatch.log"_s);
    }
    bool repliesWaiting = true;
    log.SetYieldHook([&] { return repliesWaiting; });
    log.OpenEventLog();
    if (fullDisk) {
        ASSERT_TRUE(disk->Fill(u"filler"_s));
    }
    QByteArray expected;
    // More than one write's lines, or what the tiny disk holds when freed.
    const int events = fullDisk ? 300 : int(EventLog::ChunkLines) * 2 + 5;
    for (int i = 1; i <= events; ++i) {
        log.WriteEvent(Cycle(i));
        expected += "#Cyclic_Count\t" + QByteArray::number(i) + "\t05/Jan/2004 14:03:27\r\n";
    }
    QCoreApplication::processEvents();
    EXPECT_TRUE(log.HasPendingEvents());
    EXPECT_TRUE(out.Matching(u"pane"_s).isEmpty());

    repliesWaiting = false;
    int turns = 0;
    for (; turns < 1000 && log.HasPendingEvents(); ++turns)
        QCoreApplication::processEvents();
    EXPECT_FALSE(log.HasPendingEvents());
    EXPECT_EQ(out.Matching(u"pane"_s).size(), events);
    if (!fullDisk) {
        // One read per go of the event loop, however many events it wrote.
        EXPECT_LE(out.journal.count(u"refresh"_s), turns);
    } else {
        EXPECT_EQ(out.Matching(u"alert"_s).size(), 1);
        ASSERT_TRUE(QFile::remove(disk->FilePath(u"filler"_s)));
        ASSERT_TRUE(WaitUntilWritten(log));
    }
    EXPECT_EQ(Contents(settings.values.logPath), expected);
}

INSTANTIATE_TEST_SUITE_P(Disk, EventBurst, ::testing::Values(false, true),
                         [](const ::testing::TestParamInfo<bool> &info) {
                             return info.param ? "Full" : "Roomy";
                         });

// Replies that never stop arriving hold events back a second at most.
TEST_F(EventLogTest, EventsWaitBehindRepliesASecondAtMost)
{
    log.SetYieldHook([] { return true; });
    log.WriteEvent(Cycle(1));
    EXPECT_TRUE(log.HasPendingEvents());
    QElapsedTimer waited;
    waited.start();
    while (log.HasPendingEvents() && waited.elapsed() < 5000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
    EXPECT_FALSE(log.HasPendingEvents());
    EXPECT_GE(waited.elapsed(), EventLog::YieldLimitMs - 50);
    EXPECT_EQ(out.Matching(u"pane"_s).size(), 1);
}

// Past the queue's bound the oldest waiting lines go, and one "#" line
// says how many and from when to when, where they would have stood.
TEST_F(EventLogTest, FullDiskBeyondTheQueueWritesOneGapLine)
{
    TinyDisk disk(1024);
    SKIP_WITHOUT_TINY_DISK(disk);
    settings.values.logPath = disk.FilePath(u"keelwatch.log"_s);
    settings.values.tabDelimiter = false;
    settings.values.commaDelimiter = true;
    // Opened empty, the log has no block with room left in it.
    log.OpenEventLog();
    ASSERT_TRUE(disk.Fill(u"filler"_s));
    const int over = 5;
    for (int i = 1; i <= EventLog::UnwrittenLineLimit + over; ++i) {
        clock.Set(EventTime.addSecs(i));
        log.WriteEvent(Cycle(i));
    }
    log.WritePendingEvents();
    ASSERT_TRUE(QFile::remove(disk.FilePath(u"filler"_s)));
    log.WriteEvent(Cycle(-1));
    log.WritePendingEvents();

    const QList<QByteArray> lines = Contents(settings.values.logPath).split('\n');
    ASSERT_EQ(lines.size(), 1 + EventLog::UnwrittenLineLimit + 1 + 1);
    EXPECT_EQ(lines[0], "#Unwritten_Lines,5,05/Jan/2004 14:03:28,05/Jan/2004 14:03:32\r");
    EXPECT_EQ(lines[1], "#Cyclic_Count,6,05/Jan/2004 14:03:33\r");
    EXPECT_TRUE(lines[lines.size() - 2].startsWith("#Cyclic_Count,-1,"));
}

// A log that could not take its lines before Stop gets the gap line first
// when it is opened again.
TEST_F(EventLogTest, LinesLeftAtCloseAreCountedInTheNextLog)
{
    TinyDisk disk(64);
    SKIP_WITHOUT_TINY_DISK(disk);
    settings.values.logPath = disk.FilePath(u"keelwatch.log"_s);
    log.OpenEventLog();
    ASSERT_TRUE(disk.Fill(u"filler"_s));
    log.WriteEvent(Cycle(1));
    log.WriteEvent(Cycle(2));
    log.CloseEventLog();
    EXPECT_EQ(log.UnwrittenLines(), 0);
    ASSERT_TRUE(QFile::remove(disk.FilePath(u"filler"_s)));
    log.OpenEventLog();
    log.WriteEvent(Cycle(3));
    EXPECT_EQ(Contents(settings.values.logPath),
              "#Unwritten_Lines\t2\t05/Jan/2004 14:03:27\t05/Jan/2004 14:03:27\r\n"
              "#Cyclic_Count\t3\t05/Jan/2004 14:03:27\r\n");
}

TEST_F(EventLogTest, ClosedLogReceivesNothing)
{
    log.OpenEventLog();
    log.WriteEvent(Cycle(1));
    log.CloseEventLog();
    EXPECT_FALSE(log.IsOpen());
    log.WriteEvent(Cycle(2));
    EXPECT_EQ(Contents(LogPath()), "#Cyclic_Count\t1\t05/Jan/2004 14:03:27\r\n");
    EXPECT_EQ(out.pane.size(), 2);
}

TEST_F(EventLogTest, ReaderSeesEveryLineWithoutClosing)
{
    log.OpenEventLog();
    QFile reader(LogPath());
    ASSERT_TRUE(reader.open(QIODevice::ReadOnly));
    for (int i = 1; i <= 3; ++i) {
        log.WriteEvent(Cycle(i));
        log.FlushEventLog();
        EXPECT_EQ(reader.readLine(),
                  u"#Cyclic_Count\t%1\t05/Jan/2004 14:03:27\r\n"_s.arg(i).toUtf8());
    }
}

// What ends a burst's wait for later turns: the event loop's turns, closing
// the log, an error note, or the program's end.
enum class BurstEnd { Turns, Close, ErrorNote, ProgramEnd };

class LongBurst : public EventLogTest, public ::testing::WithParamInterface<BurstEnd>
{
};

// Events beyond a turn's writing time wait for later turns; an event raised
// meanwhile queues behind them, and the file gets every line once, in order,
// each with its node as it was when the event was raised.
TEST_P(LongBurst, WaitingEventsReachFileAndPaneInOrder)
{
    NodeList nodes;
    ScanEvents events;
    log.Listen(events);
    const Node logged = LoggedNode();
    const int index = nodes.Add(logged.ip, logged.mac, settings.values.tests);
    log.OpenEventLog();
    int raised = 0;
    while (!log.HasPendingEvents() && raised < 2'000'000)
        Q_EMIT events.cycleEnded(++raised);
    ASSERT_TRUE(log.HasPendingEvents());
    const int writtenAtOnce = raised - 1;
    Q_EMIT events.macChanged(nodes.At(index), 0);
    ++raised;
    nodes.SetMac(index, *MacAddress::FromText(u"00:11:22:33:44:66"), QString());
    EXPECT_EQ(Contents(LogPath()).count('\n'), writtenAtOnce);

    switch (GetParam()) {
    case BurstEnd::Turns:
        while (log.HasPendingEvents())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        break;
    case BurstEnd::Close:
        log.CloseEventLog();
        break;
    case BurstEnd::ErrorNote:
        log.WriteErrorNote(u"note"_s);
        break;
    case BurstEnd::ProgramEnd:
        log.WritePendingEvents();
        break;
    }
    EXPECT_FALSE(log.HasPendingEvents());
    QByteArray expected;
    for (int i = 1; i < raised; ++i)
        expected += "#Cyclic_Count\t" + QByteArray::number(i) + "\t05/Jan/2004 14:03:27\r\n";
    expected += "05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tMAC\tCHANGE\t-\r\n";
    if (GetParam() == BurstEnd::ErrorNote)
        expected += "#Error\tnote\t05/Jan/2004 14:03:27\r\n";
    EXPECT_EQ(Contents(LogPath()), expected);
    // The pane's last line is the last event's.
    EXPECT_EQ(out.pane.last(),
              u"05/Jan/2004 14:03:27\t192.168.0.5\t[00:11:22:33:44:55]\tMAC\tCHANGE\t-"_s);
}

INSTANTIATE_TEST_SUITE_P(EventLog, LongBurst,
                         ::testing::Values(BurstEnd::Turns, BurstEnd::Close, BurstEnd::ErrorNote,
                                           BurstEnd::ProgramEnd));

// The clock's time zone survives the instant being taken apart from its
// date and time.
TEST(Clock, InstantTakenApartKeepsTheClocksTimeZone)
{
    const FixedClock clock(QDateTime(QDate(2004, 1, 5), QTime(14, 3, 27, 250), QTimeZone(-18000)));
    const QDateTime later = clock.FromMSecsSinceEpoch(clock.NowMSecsSinceEpoch() + 1500);
    EXPECT_EQ(later.offsetFromUtc(), -18000);
    EXPECT_EQ(later.time(), QTime(14, 3, 28, 750));
    EXPECT_EQ(clock.FromMSecsSinceEpoch(clock.NowMSecsSinceEpoch()), clock.Now());
}

} // namespace
