#include "report/nodeviewer.h"

#include "config/fieldsplit.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTime>

#include <random>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

using Marks = NodeViewerGrid::Marks;

const QByteArray Banner = "\r\n### START Keelwatch\t0003\t05/Jan/2004 14:00:00\t"
                          "192.168.0.1-192.168.0.254 ###\r\n";

QByteArray Cycle(int n)
{
    return "#Cyclic_Count\t" + QByteArray::number(n) + "\t05/Jan/2004 14:1" +
           QByteArray::number(n % 10) + ":00\r\n";
}

QByteArray Mark(const QByteArray &ip, const QByteArray &test, const QByteArray &state)
{
    return "05/Jan/2004 14:03:27\t" + ip + "\t[00:11:22:33:44:55]\t" + test + '\t' + state +
           "\tethernet\r\n";
}

class NodeViewerTest : public testing::Test
{
  protected:
    NodeViewerTest() : viewer(settings, [this](const QString &m) { messages.append(m); }) {}

    QString LogPath() const { return dir.filePath(u"keelwatch.log"_s); }

    void Append(const QByteArray &text, bool commas = false)
    {
        QFile f(LogPath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Append));
        f.write(commas ? QByteArray(text).replace('\t', ',') : text);
    }

    // Reads what was logged since the last read, as the event log's refresh
    // does, and waits for the read.
    void Refresh()
    {
        viewer.RefreshNodeViewer();
        Settle();
    }
    void Settle()
    {
        while (viewer.IsReading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    QString Cell(int row, int column) const { return viewer.Grid().Cell(row, column); }
    int Rows() const { return viewer.Grid().RowCount(); }
    Marks RowMarks(int row) const { return viewer.Grid().RowMarks(row); }

    QTemporaryDir dir;
    FixedSettings settings;
    QStringList messages;
    NodeViewer viewer;
};

Marks MarksOf(std::initializer_list<const char16_t *> texts)
{
    Marks m;
    size_t i = 0;
    for (const char16_t *t : texts)
        m[i++] = QString::fromUtf16(t);
    return m;
}

TEST_F(NodeViewerTest, BannerMaskOpensAStartRowAndAZeroRow)
{
    Append(Banner);
    ASSERT_TRUE(viewer.Start(u"192.168.0.5"_s, LogPath()));
    EXPECT_TRUE(messages.isEmpty());
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(Cell(0, 0), u"STATUS"_s);
    EXPECT_EQ(Cell(0, 12), u"Comment"_s);
    EXPECT_EQ(Cell(1, 0), u"START"_s);
    EXPECT_EQ(Cell(1, 1), QString());
    EXPECT_EQ(Cell(2, 0), u"0"_s);
    EXPECT_EQ(Cell(2, 1), u"05/Jan/2004 14:00:00"_s);
    EXPECT_EQ(RowMarks(2), MarksOf({u"", u"", u"-", u"-", u"-", u"-", u"-", u"-", u"-", u"-"}));
    for (int c = 0; c < NodeViewerGrid::ColumnCount; ++c)
        EXPECT_EQ(Cell(3, c), QString()) << c;
    EXPECT_EQ(viewer.Caption(), u"Node Viewer : 192.168.0.5"_s);
    EXPECT_EQ(viewer.ReadPosition(), QFileInfo(LogPath()).size());
}

TEST_F(NodeViewerTest, UnreadableMaskCountsAsZeroAndOtherBannersAreIgnored)
{
    Append("\r\n### START Keelwatch\tzz\t05/Jan/2004 14:00:00\t1.1.1.1-1.1.1.9 ###\r\n"
           "### START Keelwatch\t03FF\t05/Jan/2004 14:00:00\t1.1.1.1 - 1.1.1.9 ###\r\n");
    viewer.Start(u"1.1.1.5"_s, LogPath());
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(RowMarks(2), MarksOf({u"-", u"-", u"-", u"-", u"-", u"-", u"-", u"-", u"-", u"-"}));
}

TEST_F(NodeViewerTest, MarksFollowTheNodeFromCycleToCycle)
{
    Append(Banner + Mark("192.168.0.5", "Br", "ON") + Mark("192.168.0.5", "B47", "ON") +
           Mark("192.168.0.5", "M1", "ON") + Mark("192.168.0.5", "S1", "ON") + Cycle(1) +
           Mark("192.168.0.5", "B47", "OFF") + Mark("192.168.0.5", "S2", "ON") +
           Mark("192.168.0.5", "Zz", "ON") + Mark("192.168.0.5", "Br", "DOWN") + Cycle(2));
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 6);
    // Cycle 1 is the row the banner opened; its marks were set by the node lines.
    EXPECT_EQ(RowMarks(2), MarksOf({u"O", u"X", u"-", u"-", u"-", u"-", u"O", u"-", u"X", u"-"}));
    EXPECT_EQ(Cell(3, 0), u"1"_s);
    EXPECT_EQ(Cell(3, 1), u"05/Jan/2004 14:11:00"_s);
    EXPECT_EQ(RowMarks(3), MarksOf({u"O", u"", u"-", u"-", u"-", u"-", u"O", u"-", u"X", u"X"}));
    EXPECT_EQ(Cell(4, 0), u"2"_s);
    EXPECT_EQ(RowMarks(4), RowMarks(3));
    EXPECT_EQ(viewer.CurrentMarks(), RowMarks(3));
}

TEST_F(NodeViewerTest, IpIsComparedWithTheLinesIpFieldExactly)
{
    Append(Banner + Mark("192.168.0.10", "B16", "ON") + Mark("192.168.0.123", "B8", "ON") +
           Mark("192.168.0.2", "Gr", "ON") + Mark("10.192.168.0.1", "Br", "ON") +
           Mark("192.168.0.1", "B47", "ON"));
    viewer.Start(u"192.168.0.1"_s, LogPath());
    EXPECT_EQ(RowMarks(2), MarksOf({u"", u"X", u"-", u"-", u"-", u"-", u"-", u"-", u"-", u"-"}));
}

TEST_F(NodeViewerTest, NodeLinesBeforeTheFirstBannerAreIgnored)
{
    Append(Mark("192.168.0.5", "B47", "ON") + Banner);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(Cell(2, 3), QString());
}

class DelimiterTest : public NodeViewerTest, public testing::WithParamInterface<bool>
{
};

TEST_P(DelimiterTest, PromiscLinesAndMarkLines)
{
    const bool commas = GetParam();
    settings.values.tabDelimiter = !commas;
    const QByteArray promisc =
        "05/Jan/2004 14:05:02\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tSUSPECT\t\r\n";
    // The verdict after it has seven pieces with either delimiter, and no
    // test name either: the marks stay.
    const QByteArray verdict =
        "05/Jan/2004 14:05:02\t192.168.0.5\t[00:11:22:33:44:55]\tPROMISC\tCONFIRMED\t24/24\r\n";
    Append(Banner + Mark("192.168.0.5", "B47", "ON") + promisc + verdict, commas);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 4);
    EXPECT_EQ(Cell(2, 3), u"X"_s);
    // A trailing comma adds an empty piece, a trailing TAB does not: with
    // commas the line has the 7 pieces of a node line but names no test.
    QByteArray bare = promisc.chopped(2);
    const QString line = QString::fromLatin1(commas ? bare.replace('\t', ',') : bare);
    EXPECT_EQ(SplitFields(line, settings.values.Delimiter()).size(), commas ? 7 : 6);
    EXPECT_EQ(viewer.CurrentMarks(), RowMarks(2));
}

// A cycle that lost frames says so in a line of the cycle line's shape: it
// opens no row and changes no mark.
TEST_P(DelimiterTest, DroppedFramesLineIsPassedOver)
{
    const bool commas = GetParam();
    settings.values.tabDelimiter = !commas;
    Append(Banner + Mark("192.168.0.5", "B47", "ON") + Cycle(1) +
               "#Dropped_Frames\t31\t05/Jan/2004 14:12:00\r\n" +
               "#Unwritten_Lines\t5\t05/Jan/2004 14:12:00\t05/Jan/2004 14:13:00\r\n" + Cycle(2),
           commas);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 6);
    EXPECT_EQ(Cell(4, 0), u"2"_s);
    EXPECT_EQ(RowMarks(4), RowMarks(2));
}

INSTANTIATE_TEST_SUITE_P(NodeViewer, DelimiterTest, testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Comma" : "Tab"; });

TEST_F(NodeViewerTest, RefreshReadsOnlyTheNewLines)
{
    Append(Banner);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    QSignalSpy restored(&viewer, &NodeViewer::followedFieldsRestored);
    QSignalSpy selected(&viewer, &NodeViewer::latestRowSelected);
    Append(Mark("192.168.0.5", "B47", "ON") + Cycle(1));
    Refresh();
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(3, 3), u"X"_s);
    ASSERT_EQ(restored.count(), 1);
    EXPECT_EQ(restored[0][0].toString(), u"192.168.0.5"_s);
    EXPECT_EQ(restored[0][1].toString(), LogPath());
    ASSERT_FALSE(selected.isEmpty());
    EXPECT_EQ(selected.last()[0].toInt(), 3);

    Refresh();
    EXPECT_EQ(Rows(), 5);

    // Clear while live: the next refresh adds only what was logged after it.
    viewer.Clear();
    EXPECT_EQ(viewer.Caption(), u"Node Viewer"_s);
    EXPECT_EQ(Rows(), 2);
    Append(Cycle(2));
    Refresh();
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(1, 0), u"2"_s);
    EXPECT_EQ(Cell(1, 3), u"X"_s);

    // Stopped: events no longer read the log.
    viewer.Stop();
    Append(Cycle(3));
    Refresh();
    EXPECT_EQ(Rows(), 3);
}

// The first event of a turn of the event loop is read at once; the rest of
// a burst waits for one read at the next turn.
TEST_F(NodeViewerTest, BurstOfRefreshesCostsTwoReads)
{
    Append(Banner);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    Settle();
    QCoreApplication::processEvents();
    QSignalSpy selected(&viewer, &NodeViewer::latestRowSelected);
    Append(Cycle(1));
    viewer.RefreshNodeViewer();
    EXPECT_EQ(Rows(), 5);
    for (int i = 2; i <= 50; ++i) {
        Append(Cycle(i));
        viewer.RefreshNodeViewer();
    }
    EXPECT_EQ(Rows(), 5);
    EXPECT_TRUE(viewer.IsReading());
    Settle();
    EXPECT_EQ(Rows(), 54);
    EXPECT_EQ(Cell(52, 0), u"50"_s);
    EXPECT_EQ(selected.count(), 2);
}

TEST_F(NodeViewerTest, RotationReadsTheNewFileIntoTheSameGrid)
{
    Append(Banner + Cycle(1) + Cycle(2));
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 6);
    ASSERT_TRUE(QFile::rename(LogPath(), dir.filePath(u"keelwatch20040104.log"_s)));
    Append(Banner);
    viewer.ResetReadPosition();
    Refresh();
    ASSERT_EQ(Rows(), 8);
    EXPECT_EQ(Cell(5, 0), u"START"_s);
    EXPECT_EQ(Cell(6, 0), u"0"_s);
}

TEST_F(NodeViewerTest, FlushComesBeforeTheRead)
{
    Append(Banner);
    viewer.SetFlush([this] { Append(Cycle(7)); });
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(3, 0), u"7"_s);
}

TEST_F(NodeViewerTest, GridIsBoundedByDroppingTheOldestThousandRows)
{
    QByteArray log;
    for (int i = 1; i <= 1500; ++i)
        log += Cycle(i);
    Append(log);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 1502);
    log.clear();
    for (int i = 1501; i <= 2100; ++i)
        log += Cycle(i);
    Append(log);
    QSignalSpy removed(&viewer.Grid(), &QAbstractItemModel::rowsRemoved);
    Refresh();
    EXPECT_EQ(removed.count(), 1);
    ASSERT_EQ(Rows(), 1102);
    EXPECT_EQ(Cell(0, 0), u"STATUS"_s);
    EXPECT_EQ(Cell(1, 0), u"1001"_s);
    EXPECT_EQ(Cell(1100, 0), u"2100"_s);
}

TEST_F(NodeViewerTest, LinesEndedByLineFeedAloneAreRead)
{
    Append(QByteArray(Banner + Mark("192.168.0.5", "B8", "ON") + Cycle(1)).replace("\r\n", "\n"));
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(2, 5), u"X"_s);
}

TEST_F(NodeViewerTest, MissingFileHidesTheWindowAndEndsLiveMode)
{
    QSignalSpy hide(&viewer, &NodeViewer::hideRequested);
    QSignalSpy live(&viewer, &NodeViewer::liveChanged);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    EXPECT_EQ(messages, QStringList{u"No log file fount."_s});
    EXPECT_EQ(hide.count(), 1);
    EXPECT_FALSE(viewer.IsLive());
    ASSERT_EQ(live.count(), 2);
    EXPECT_FALSE(live[1][0].toBool());
}

// A rotation tool's copytruncate leaves an empty log: nothing logged yet.
TEST_F(NodeViewerTest, EmptyLogIsNothingYetAndLiveModeStays)
{
    Append(QByteArray());
    viewer.Start(u"192.168.0.5"_s, LogPath());
    EXPECT_TRUE(messages.isEmpty());
    EXPECT_TRUE(viewer.IsLive());
    EXPECT_EQ(Rows(), 2);
    Append(Banner + Cycle(1));
    Refresh();
    EXPECT_EQ(Rows(), 5);
    EXPECT_TRUE(messages.isEmpty());
}

TEST_F(NodeViewerTest, FileThatCannotBeOpened)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"keelwatch.log"_s));
    viewer.Start(u"192.168.0.5"_s, LogPath());
    EXPECT_EQ(messages, QStringList{u"Cannot open Log file.-1"_s});
    EXPECT_FALSE(viewer.IsLive());
}

// Lines too long to be event lines are measured and skipped, never split,
// whether they fit in one read window or not.
TEST_F(NodeViewerTest, OverlongLinesAreSkipped)
{
    const QByteArray longCycle = "#Cyclic_Count\t" + QByteArray(NodeViewer::MaxLineLength, '7') +
                                 "\t05/Jan/2004 14:00:00\r\n";
    const QByteArray hugeMark =
        Mark("192.168.0.5", "B8", "ON")
            .replace("ethernet", QByteArray(NodeViewer::WindowSize + 10, 'e'));
    Append(Banner + longCycle + hugeMark + Mark("192.168.0.5", "B16", "ON") + Cycle(1));
    viewer.Start(u"192.168.0.5"_s, LogPath());
    Settle();
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(2, 4), u"X"_s);
    EXPECT_EQ(Cell(2, 5), u"-"_s);
    EXPECT_EQ(Cell(3, 0), u"1"_s);
    EXPECT_EQ(viewer.ReadPosition(), QFileInfo(LogPath()).size());
}

// Reads the log made of lines from its start in one go, and a copy of it
// growing by a few lines per refresh, and expects the same grid.
void ExpectWholeReadAsLineByLine(NodeViewer &viewer, const QString &path,
                                 const QList<QByteArray> &lines)
{
    QByteArray whole;
    for (const QByteArray &line : lines)
        whole += line;
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(whole);
    file.close();
    viewer.Start(u"192.168.0.5"_s, path);
    while (viewer.IsReading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);

    QTemporaryDir otherDir;
    FixedSettings otherSettings;
    NodeViewer byLines(otherSettings, [](const QString &) {});
    const QString otherPath = otherDir.filePath(u"keelwatch.log"_s);
    QFile log(otherPath);
    ASSERT_TRUE(log.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    byLines.Start(u"192.168.0.5"_s, otherPath);
    for (qsizetype i = 0; i < lines.size(); i += 997) {
        for (qsizetype j = i; j < std::min(lines.size(), i + 997); ++j)
            log.write(lines[j]);
        byLines.RefreshNodeViewer();
        while (byLines.IsReading())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }
    const NodeViewerGrid &grid = viewer.Grid();
    ASSERT_EQ(grid.RowCount(), byLines.Grid().RowCount());
    ASSERT_GT(grid.RowCount(), 1000);
    for (int r = 0; r < grid.RowCount(); ++r) {
        for (int c = 0; c < NodeViewerGrid::ColumnCount; ++c)
            ASSERT_EQ(grid.Cell(r, c), byLines.Grid().Cell(r, c)) << r << ' ' << c;
    }
    EXPECT_EQ(viewer.CurrentMarks(), byLines.CurrentMarks());
}

// A log bigger than one read window, with lines cut by the windows' ends,
// gives the grid that reading it line by line gives.
TEST_F(NodeViewerTest, WindowedReadMatchesLineByLineReading)
{
    QList<QByteArray> lines;
    const QByteArray ips[] = {"192.168.0.5", "192.168.0.50", "192.168.0.6"};
    const QByteArray tests[] = {"Br", "B47", "B16", "B8", "M1", "S2"};
    for (int i = 0; lines.size() < 120000; ++i) {
        if (i % 9000 == 0)
            lines.append(Banner.mid(2));
        lines.append(Mark(ips[i % 3], tests[i % 6], i % 4 ? "ON" : "OFF"));
        if (i % 2 == 0)
            lines.append(Cycle(i));
        if (i % 1001 == 0)
            lines.append(" " + Cycle(i)); // taken through the general path
    }
    ASSERT_NO_FATAL_FAILURE(ExpectWholeReadAsLineByLine(viewer, LogPath(), lines));
    EXPECT_GT(QFileInfo(LogPath()).size(), NodeViewer::WindowSize);
}

// Windows of nothing but cycle lines and windows with hardly one: the rows a
// window leaves waiting reach the grid with their texts whatever follows,
// and the followed node's marks land in the right rows.
TEST_F(NodeViewerTest, QuietAndBusyWindowsMatchLineByLineReading)
{
    QList<QByteArray> lines{Banner.mid(2)};
    qint64 size = 0;
    const QByteArray tests[] = {"Br", "B47", "B16", "B8", "M1", "S2"};
    const qint64 window = NodeViewer::WindowSize;
    for (int i = 0; size < 4 * window; ++i) {
        // Quiet for one and a half windows, then busy: fewer rows in a
        // window than the grid holds, so the quiet rows stay to the end.
        const bool quiet = size < window * 3 / 2;
        QByteArray line;
        if (quiet)
            line =
                i % 500 == 0 ? Mark("192.168.0.5", tests[i % 6], i % 3 ? "ON" : "OFF") : Cycle(i);
        else
            line = i % 7000 == 0 ? Cycle(i) : Mark("192.168.0.6", "Br", "ON");
        size += line.size();
        lines.append(line);
    }
    ASSERT_NO_FATAL_FAILURE(ExpectWholeReadAsLineByLine(viewer, LogPath(), lines));
}

// Cycle lines of random shapes, read in place and (behind a blank) through
// the general reading, give the same grid.
TEST_F(NodeViewerTest, RandomCycleLinesReadInPlaceAsInGeneral)
{
    for (const bool commas : {false, true}) {
        settings.values.tabDelimiter = !commas;
        std::mt19937 random(commas ? 7 : 3);
        const QByteArray alphabet("0123456789/: \t,\"#aZ\x00\r\n\xc3", 22);
        QByteArray inPlace = Banner;
        QByteArray general = Banner;
        for (int i = 0; i < 3000; ++i) {
            QByteArray line = "#Cyclic_Count";
            if (i % 3 == 0)
                line += commas ? ",12,05/Jan/2004 14:00:00" : "\t12\t05/Jan/2004 14:00:00";
            const int extra = int(random() % 12);
            for (int k = 0; k < extra; ++k)
                line += alphabet[qsizetype(random() % alphabet.size())];
            // Lines are cut at their own CR or LF, so both logs hold the same
            // lines; only the first byte differs.
            line = line.left(line.indexOf('\r') < 0 ? line.size() : line.indexOf('\r'));
            line = line.left(line.indexOf('\n') < 0 ? line.size() : line.indexOf('\n'));
            inPlace += line + (i % 2 ? "\r\n" : "\n");
            general += " " + line + (i % 2 ? "\r\n" : "\n");
        }
        QTemporaryDir otherDir;
        const QString generalPath = otherDir.filePath(u"general.log"_s);
        QFile generalLog(generalPath);
        ASSERT_TRUE(generalLog.open(QIODevice::WriteOnly));
        generalLog.write(general);
        generalLog.close();
        QFile::remove(LogPath());
        Append(inPlace);
        NodeViewer other(settings, [](const QString &) {});
        viewer.Start(u"192.168.0.5"_s, LogPath());
        other.Start(u"192.168.0.5"_s, generalPath);
        ASSERT_EQ(Rows(), other.Grid().RowCount()) << commas;
        ASSERT_GT(Rows(), 500);
        for (int r = 0; r < Rows(); ++r) {
            for (int c = 0; c < NodeViewerGrid::ColumnCount; ++c)
                ASSERT_EQ(Cell(r, c), other.Grid().Cell(r, c)) << r << ' ' << c << ' ' << commas;
        }
    }
}

// Cycle lines are read in place unless they need the general reading; both
// give the same rows.
class CycleLineShapes : public NodeViewerTest, public testing::WithParamInterface<const char *>
{
};

TEST_P(CycleLineShapes, GiveWhatTheGeneralReadingGives)
{
    const bool commas = QByteArray(GetParam()).contains(',');
    settings.values.tabDelimiter = !commas;
    const QByteArray line = GetParam();
    Append(Banner + line + "\r\n " + line + "\r\n", commas);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows() % 2, 0) << Rows();
    const int added = (Rows() - 4) / 2;
    for (int r = 3; r < 3 + added; ++r) {
        for (int c = 0; c < NodeViewerGrid::ColumnCount; ++c)
            EXPECT_EQ(Cell(r, c), Cell(r + added, c)) << r << ' ' << c;
    }
}

INSTANTIATE_TEST_SUITE_P(
    NodeViewer, CycleLineShapes,
    testing::Values(
        "#Cyclic_Count\t7\t05/Jan/2004 14:00:00", "#Cyclic_Count,7,05/Jan/2004 14:00:00",
        "#Cyclic_Count,7,05/Jan/2004,", "#Cyclic_Count,,05/Jan/2004 14:00:00",
        "#Cyclic_Count\t7\t05/Jan/2004\t", "#Cyclic_Count  7 \t 05/Jan/2004   14:00:00  ",
        "#Cyclic_Count\t7\t05/Jan/2004 14:00:00 extra",
        "#Cyclic_Count\t\"7 8\"\t05/Jan/2004 14:00:00", "#Cyclic_Count\t7\t05/Jan/2004 # 14:00:00",
        "#Cyclic_Countx\t7\t05/Jan/2004 14:00:00",
        "#Cyclic_Count\t1234567890\t05/Jan/2004 14:00:00",
        "#Cyclic_Count\t12345678901\t05/Jan/2004 14:00:00",
        "#Cyclic_Count\t7\t05/Jan/2004\t14:00:00", "#Cyclic_Count\t7\t05/Jan/2004 14:00:0\"",
        "#Cyclic_Count\t7\t05/Jan/2004 14:00:00\t", "#Cyclic_Count\t7\t05/Jan/2004 14:00:000",
        "#Cyclic_Count\t7a\t05/Jan/2004 14:00:00", "#Cyclic_Count\t7\t05/Jan/2004  4:00:00"));

// A churn log: a cycle every two seconds with zero to three events of the
// hosts 10.77.0.1 to 10.77.0.199, whose texts 10.77.0.10 to .199 begin with
// the followed 10.77.0.1. It starts as a rotated log does, without a banner,
// and a scan starts again in the middle. The lines are the event log's own.
QByteArray ChurnLog(int cycles, int bannerCycle, std::uint32_t seed)
{
    std::mt19937 random(seed);
    const char *tests[] = {"Br", "B47", "B16", "B8", "Gr", "M0", "M1", "M3", "S1", "S2"};
    const char *events[] = {
        "ON\tethernet",     "OFF\tethernet",   "ON\tieee802.3",  "PROMISC\tSUSPECT\t",
        "PROMISC\tSTART\t", "PROMISC\tSTOP\t", "MAC\tCHANGE\t-", "PROMISC\tCONFIRMED\t24/24"};
    QByteArray log;
    for (int cycle = 1; cycle <= cycles; ++cycle) {
        const int second = 2 * cycle;
        const QByteArray when = "05/Jan/2004 " + QTime(0, 0).addSecs(second).toString().toLatin1();
        if (cycle == bannerCycle)
            log += "\r\n### START Keelwatch\t03FF\t" + when + "\t10.77.0.1-10.77.0.199 ###\r\n";
        for (int e = int(random() % 4); e > 0; --e) {
            // One event in three is the followed host's.
            const int host = random() % 3 == 0 ? 1 : 10 + int(random() % 190);
            const QByteArray event = events[random() % std::size(events)];
            log += when + "\t10.77.0." + QByteArray::number(host) + "\t[00:16:3E:4D:00:" +
                   QByteArray::number(host, 16).toUpper().rightJustified(2, '0') + "]\t" +
                   (event.contains('\t') && !event.startsWith("ON") && !event.startsWith("OFF")
                        ? event
                        : tests[random() % std::size(tests)] + QByteArray("\t") + event) +
                   "\r\n";
        }
        log += "#Cyclic_Count\t" + QByteArray::number(cycle) + '\t' + when + "\r\n";
    }
    return log;
}

// The rows a log of the event log's own lines gives for an IP, read here
// straight from the format: TAB-separated fields, the date and time in one.
QList<NodeViewerGrid::Row> RowsOf(const QByteArray &log, const QString &ip)
{
    const QStringList tests{u"Br"_s, u"B47"_s, u"B16"_s, u"B8"_s, u"Gr"_s,
                            u"M0"_s, u"M1"_s,  u"M3"_s,  u"S1"_s, u"S2"_s};
    QList<NodeViewerGrid::Row> rows;
    NodeViewerGrid::Row current;
    const auto add = [&](const QString &status, const QString &time) {
        NodeViewerGrid::Row row = current;
        row[0] = status;
        row[1] = time;
        rows.append(row);
    };
    for (const QString &line : QString::fromUtf8(log).split(u"\r\n"_s, Qt::SkipEmptyParts)) {
        const QStringList f = line.split(u'\t');
        if (f[0] == u"### START Keelwatch") {
            const uint mask = f[1].toUInt(nullptr, 16);
            for (int t = 0; t < 10; ++t)
                current[size_t(2 + t)] = mask & (1u << t) ? QString() : u"-"_s;
            rows.append(NodeViewerGrid::Row{u"START"_s});
            add(u"0"_s, f[2]);
        } else if (f[0] == u"#Cyclic_Count") {
            add(f[1], f[2]);
        } else if (f.size() == 6 && f[1] == ip && !rows.isEmpty() && tests.contains(f[3]) &&
                   (f[4] == u"ON" || f[4] == u"OFF")) {
            const qsizetype t = tests.indexOf(f[3]);
            current[size_t(2 + t)] =
                f[4] == u"OFF" ? QString() : (f[3] == u"Br" || f[3] == u"M1" ? u"O"_s : u"X"_s);
            std::copy(current.begin() + 2, current.end(), rows.last().begin() + 2);
        }
        if (rows.size() + 2 > 2000)
            rows.remove(0, 1000);
    }
    return rows;
}

void ExpectRows(const NodeViewerGrid &grid, const QList<NodeViewerGrid::Row> &rows,
                const char *read)
{
    ASSERT_EQ(grid.RowCount(), rows.size() + 2) << read;
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < NodeViewerGrid::ColumnCount - 1; ++c)
            ASSERT_EQ(grid.Cell(r + 1, c), rows[r][size_t(c)])
                << read << " row " << r + 1 << " column " << c;
    }
}

struct ChurnCase
{
    int cycles;
    int bannerCycle;
};

class ChurnLogReads : public NodeViewerTest, public testing::WithParamInterface<ChurnCase>
{
};

// Two reads of the same churn log, and a read that follows it as it grows
// by pieces cut anywhere (inside lines too), give the rows the log holds:
// with all its rows in the grid, and with the grid's bound dropping some.
TEST_P(ChurnLogReads, GiveTheSameRowsOnEveryRead)
{
    const QByteArray log = ChurnLog(GetParam().cycles, GetParam().bannerCycle, 21);
    const QList<NodeViewerGrid::Row> expected = RowsOf(log, u"10.77.0.1"_s);
    ASSERT_GT(expected.size(), 1000);
    Append(log);
    for (const char *read : {"first read", "second read"}) {
        viewer.Start(u"10.77.0.1"_s, LogPath());
        Settle();
        ASSERT_NO_FATAL_FAILURE(ExpectRows(viewer.Grid(), expected, read));
    }

    QTemporaryDir otherDir;
    const QString path = otherDir.filePath(u"keelwatch.log"_s);
    QFile growing(path);
    ASSERT_TRUE(growing.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
    growing.write(log.first(5));
    viewer.Start(u"10.77.0.1"_s, path);
    std::mt19937 random(5);
    for (qsizetype at = 5; at < log.size();) {
        const qsizetype piece = std::min<qsizetype>(log.size() - at, 1 + random() % 400);
        growing.write(log.sliced(at, piece));
        at += piece;
        Refresh();
    }
    ASSERT_NO_FATAL_FAILURE(ExpectRows(viewer.Grid(), expected, "followed read"));
}

INSTANTIATE_TEST_SUITE_P(NodeViewer, ChurnLogReads,
                         testing::Values(ChurnCase{1500, 1200}, ChurnCase{3000, 2600}),
                         [](const auto &info) { return info.index == 0 ? "Whole" : "Bounded"; });

// A line longer than a read window that the file ends inside of is skipped
// to its end when the rest arrives, as a read of the whole line skips it.
TEST_F(NodeViewerTest, OverlongLineEndingAfterTheFileEndIsSkippedWhole)
{
    const QByteArray head = "#" + QByteArray(NodeViewer::WindowSize + 10, 'a');
    const QByteArray tail = "Cyclic_Count\t9\t05/Jan/2004 14:00:00\r\n" + Cycle(1);
    Append(Banner + head);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    Settle();
    Append(tail);
    Refresh();
    NodeViewer whole(settings, [](const QString &) {});
    whole.Start(u"192.168.0.5"_s, LogPath());
    while (whole.IsReading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    ASSERT_EQ(Rows(), 5);
    ASSERT_EQ(whole.Grid().RowCount(), 5);
    EXPECT_EQ(Cell(3, 0), u"1"_s);
    EXPECT_EQ(viewer.ReadPosition(), QFileInfo(LogPath()).size());
}

// A line the file ends inside of waits for its end: the rows are those of
// the whole line, and the read position stays at the line's start.
TEST_F(NodeViewerTest, LineWithoutItsEndWaitsForTheRest)
{
    Append(Banner + "#Cyclic_Count\t12\t05/Jan/2004 14:1");
    viewer.Start(u"192.168.0.5"_s, LogPath());
    EXPECT_EQ(Rows(), 4);
    EXPECT_EQ(viewer.ReadPosition(), Banner.size());
    Append("0:00\r\n");
    Refresh();
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(3, 0), u"12"_s);
    EXPECT_EQ(Cell(3, 1), u"05/Jan/2004 14:10:00"_s);
}

} // namespace
