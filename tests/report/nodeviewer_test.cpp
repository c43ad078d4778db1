#include "report/nodeviewer.h"

#include "config/fieldsplit.h"

#include "support/qtprint.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

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

TEST_F(NodeViewerTest, IpIsMatchedAsASubstringOfTheLine)
{
    Append(Banner + Mark("192.168.0.10", "B16", "ON") + Mark("192.168.0.123", "B8", "ON") +
           Mark("192.168.0.2", "Gr", "ON"));
    viewer.Start(u"192.168.0.1"_s, LogPath());
    EXPECT_EQ(Cell(2, 4), u"X"_s);
    EXPECT_EQ(Cell(2, 5), u"X"_s);
    EXPECT_EQ(Cell(2, 6), u"-"_s);
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

INSTANTIATE_TEST_SUITE_P(NodeViewer, DelimiterTest, testing::Values(false, true),
                         [](const auto &info) { return info.param ? "Comma" : "Tab"; });

TEST_F(NodeViewerTest, RefreshReadsOnlyTheNewLines)
{
    Append(Banner);
    viewer.Start(u"192.168.0.5"_s, LogPath());
    QSignalSpy restored(&viewer, &NodeViewer::followedFieldsRestored);
    QSignalSpy selected(&viewer, &NodeViewer::latestRowSelected);
    Append(Mark("192.168.0.5", "B47", "ON") + Cycle(1));
    viewer.RefreshNodeViewer();
    ASSERT_EQ(Rows(), 5);
    EXPECT_EQ(Cell(3, 3), u"X"_s);
    ASSERT_EQ(restored.count(), 1);
    EXPECT_EQ(restored[0][0].toString(), u"192.168.0.5"_s);
    EXPECT_EQ(restored[0][1].toString(), LogPath());
    ASSERT_FALSE(selected.isEmpty());
    EXPECT_EQ(selected.last()[0].toInt(), 3);

    viewer.RefreshNodeViewer();
    EXPECT_EQ(Rows(), 5);

    // Clear while live: the next refresh adds only what was logged after it.
    viewer.Clear();
    EXPECT_EQ(viewer.Caption(), u"Node Viewer"_s);
    EXPECT_EQ(Rows(), 2);
    Append(Cycle(2));
    viewer.RefreshNodeViewer();
    ASSERT_EQ(Rows(), 3);
    EXPECT_EQ(Cell(1, 0), u"2"_s);
    EXPECT_EQ(Cell(1, 3), u"X"_s);

    // Stopped: events no longer read the log.
    viewer.Stop();
    Append(Cycle(3));
    viewer.RefreshNodeViewer();
    EXPECT_EQ(Rows(), 3);
}

TEST_F(NodeViewerTest, RotationReadsTheNewFileIntoTheSameGrid)
{
    Append(Banner + Cycle(1) + Cycle(2));
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(Rows(), 6);
    ASSERT_TRUE(QFile::rename(LogPath(), dir.filePath(u"keelwatch20040104.log"_s)));
    Append(Banner);
    viewer.ResetReadPosition();
    viewer.RefreshNodeViewer();
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
    for (int i = 1; i <= 2100; ++i)
        log += Cycle(i);
    Append(log);
    QSignalSpy removed(&viewer.Grid(), &QAbstractItemModel::rowsRemoved);
    viewer.Start(u"192.168.0.5"_s, LogPath());
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

TEST_F(NodeViewerTest, EmptyFileCannotBeMapped)
{
    Append(QByteArray());
    viewer.Start(u"192.168.0.5"_s, LogPath());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].startsWith(u"File Mapping Error"_s));
    bool isNumber = false;
    messages[0].mid(18).toInt(&isNumber);
    EXPECT_TRUE(isNumber) << messages[0].toStdString();
    EXPECT_FALSE(viewer.IsLive());
}

TEST_F(NodeViewerTest, FileThatCannotBeOpened)
{
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"keelwatch.log"_s));
    viewer.Start(u"192.168.0.5"_s, LogPath());
    EXPECT_EQ(messages, QStringList{u"Cannot open Log file.-1"_s});
    EXPECT_FALSE(viewer.IsLive());
}

TEST_F(NodeViewerTest, LogOfFourGibibytesIsRefused)
{
    QFile f(LogPath());
    ASSERT_TRUE(f.open(QIODevice::WriteOnly));
    if (!f.resize(NodeViewer::MaxLogSize))
        GTEST_SKIP() << "no sparse file of 4 GiB here";
    f.close();
    viewer.Start(u"192.168.0.5"_s, LogPath());
    EXPECT_EQ(messages, QStringList{u"Too big log file"_s});
    EXPECT_FALSE(viewer.IsLive());
}

} // namespace
