#include "core/nodetable.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const NodeTable::Tests AllOn{true, true, true, true, true, true, true, true, true, true};
const NodeTable::Tests Defaults{true, true, true, true, true, false, false, false, false, false};

TEST(NodeTable, EmptyTableHasHeaderAndTrailingRow)
{
    NodeTable t;
    EXPECT_EQ(t.RowCount(), 2);
    EXPECT_EQ(t.rowCount(), 1);
    EXPECT_EQ(t.Cell(0, 0), u"IP Address"_s);
    EXPECT_EQ(t.Cell(0, 13), u"Vender Code"_s);
    EXPECT_EQ(t.Cell(0, 9), u"M3"_s);
    EXPECT_EQ(t.headerData(10, Qt::Horizontal, Qt::DisplayRole).toString(), u"S1"_s);
    EXPECT_EQ(t.FindNodeRow(QString()), 0);
    EXPECT_EQ(t.FindNodeRow(u"10.0.0.1"_s), 0);
    t.MarkScanOffAll(Defaults);
    EXPECT_EQ(t.Cell(1, 7), QString());
}

TEST(NodeTable, AddedRowMarksSwitchedOffTests)
{
    NodeTable t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    QSignalSpy inserted(&t, &QAbstractItemModel::rowsInserted);
    const int row = t.AddNodeRow(u"10.0.0.5"_s, u"00:11:22:33:44:55"_s, Defaults);
    EXPECT_EQ(row, 1);
    EXPECT_EQ(t.RowCount(), 3);
    EXPECT_EQ(inserted.count(), 1);
    // For the views a node row goes in before the trailing row.
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 0);
    EXPECT_EQ(t.Cell(1, 2), QString());
    for (int c = 7; c <= 11; ++c)
        EXPECT_EQ(t.Cell(1, c), u"-"_s) << c;
    EXPECT_EQ(t.RowCells(2), NodeTable::Row{});
    EXPECT_EQ(t.data(t.index(0, 1), Qt::DisplayRole).toString(), u"00:11:22:33:44:55"_s);
}

// Replies that arrive together become one insertion for the views, and the
// model never shows them a row count that moves under their feet.
TEST(NodeTable, RowBatchInsertsOnceAtItsEnd)
{
    NodeTable t;
    QAbstractItemModelTester tester(&t, QAbstractItemModelTester::FailureReportingMode::Fatal);
    t.AddNodeRow(u"10.0.0.1"_s, u"m1"_s, AllOn);
    QSignalSpy inserted(&t, &QAbstractItemModel::rowsInserted);
    QSignalSpy changed(&t, &QAbstractItemModel::dataChanged);

    t.BeginRowBatch();
    for (int i = 2; i <= 4; ++i) {
        const int row = t.AddNodeRow(u"10.0.0.%1"_s.arg(i), u"m"_s, AllOn);
        t.MergeMark(row, 3, u"X"_s);
        t.SetCell(row, 13, u"vendor"_s);
    }
    EXPECT_EQ(t.rowCount(), 2); // what the views knew at the start
    EXPECT_EQ(t.RowCount(), 6); // the table itself is complete
    EXPECT_EQ(t.FindNodeRow(u"10.0.0.4"_s), 4);
    EXPECT_TRUE(inserted.isEmpty());
    t.EndRowBatch();

    ASSERT_EQ(inserted.count(), 1);
    EXPECT_EQ(inserted.at(0).at(1).toInt(), 2);
    EXPECT_EQ(inserted.at(0).at(2).toInt(), 4);
    EXPECT_EQ(t.rowCount(), 5);
    EXPECT_EQ(t.data(t.index(3, 3), Qt::DisplayRole).toString(), u"X"_s);
    // The row the views already had, filled by the first new node, changed.
    EXPECT_FALSE(changed.isEmpty());

    // An empty batch inserts nothing.
    t.BeginRowBatch();
    t.EndRowBatch();
    EXPECT_EQ(inserted.count(), 1);
}

TEST(NodeTable, TwoRowsWithOneIpGoToTheLaterRow)
{
    NodeTable t;
    t.ReplaceNodes({NodeTable::Row{u"10.0.0.1"_s, u"A"_s}, NodeTable::Row{u"10.0.0.2"_s},
                    NodeTable::Row{u"10.0.0.1"_s, u"B"_s}});
    EXPECT_EQ(t.RowCount(), 5);
    EXPECT_EQ(t.FindNodeRow(u"10.0.0.1"_s), 3);
    EXPECT_EQ(t.CountNodeRows(u"10.0.0.1"_s), 2);
    // The comparison is exact.
    EXPECT_EQ(t.FindNodeRow(u"10.0.0.01"_s), 0);
    EXPECT_EQ(t.FindNodeRow(u" 10.0.0.1"_s), 0);
}

QString NodeIp(int i)
{
    return u"10.%1.%2.%3"_s.arg(i >> 16).arg((i >> 8) & 0xFF).arg(i & 0xFF);
}

// The index against a pass over the table: for every IP the last row that
// holds it and how many do, and nothing for IPs the table lacks.
void ExpectIndexMatchesTable(const NodeTable &t)
{
    QHash<QString, std::pair<int, int>> expected;
    for (int row = 1; row < t.RowCount() - 1; ++row) {
        auto &[last, count] = expected[t.Cell(row, NodeTable::IpColumn)];
        last = row;
        ++count;
    }
    for (auto it = expected.cbegin(); it != expected.cend(); ++it) {
        ASSERT_EQ(t.FindNodeRow(it.key()), it->first) << it.key().toStdString();
        ASSERT_EQ(t.CountNodeRows(it.key()), it->second) << it.key().toStdString();
    }
    for (const QString &absent : {u"10.9.9.9"_s, QString(), u"10.0.0"_s}) {
        if (!expected.contains(absent)) {
            EXPECT_EQ(t.FindNodeRow(absent), 0);
            EXPECT_EQ(t.CountNodeRows(absent), 0);
        }
    }
}

// A /16's worth of nodes: the index and the table agree after every kind of
// change, and of two rows with one IP the later one is found.
TEST(NodeTable, IndexAgreesWithTheTableAtSixtyFiveThousandNodes)
{
    constexpr int Nodes = 65536;
    NodeTable t;
    t.BeginRowBatch();
    for (int i = 0; i < Nodes; ++i)
        t.AddNodeRow(NodeIp(i), u"02:00:00:00:00:01"_s, Defaults);
    t.EndRowBatch();
    ASSERT_EQ(t.RowCount(), Nodes + 2);
    ExpectIndexMatchesTable(t);

    const int later = t.AddNodeRow(NodeIp(7), u"02:00:00:00:00:02"_s, Defaults);
    EXPECT_EQ(t.FindNodeRow(NodeIp(7)), later);
    EXPECT_EQ(t.CountNodeRows(NodeIp(7)), 2);
    ExpectIndexMatchesTable(t);

    // Rewriting the later row's IP leaves the earlier row to be found.
    t.SetCell(later, NodeTable::IpColumn, NodeIp(9));
    EXPECT_EQ(t.FindNodeRow(NodeIp(7)), 8);
    EXPECT_EQ(t.FindNodeRow(NodeIp(9)), later);
    t.SetCell(10, NodeTable::IpColumn, u"10.9.9.8"_s);
    ExpectIndexMatchesTable(t);

    // A loaded list, backwards and with one IP twice.
    QList<NodeTable::Row> loaded;
    for (int i = Nodes - 1; i >= 0; --i)
        loaded.append(NodeTable::Row{NodeIp(i), u"02:00:00:00:00:03"_s});
    loaded.append(NodeTable::Row{NodeIp(Nodes - 1), u"02:00:00:00:00:04"_s});
    t.ReplaceNodes(std::move(loaded));
    ASSERT_EQ(t.RowCount(), Nodes + 3);
    EXPECT_EQ(t.FindNodeRow(NodeIp(Nodes - 1)), Nodes + 1);
    EXPECT_EQ(t.FindNodeRow(NodeIp(0)), Nodes);
    ExpectIndexMatchesTable(t);

    t.ClearAllNodes();
    EXPECT_EQ(t.FindNodeRow(NodeIp(0)), 0);
    EXPECT_EQ(t.CountNodeRows(NodeIp(Nodes - 1)), 0);
    EXPECT_EQ(t.AddNodeRow(NodeIp(0), u"02:00:00:00:00:05"_s, Defaults), 1);
    ExpectIndexMatchesTable(t);

    // The trailing row is no node, whatever is written into it.
    t.SetCell(t.RowCount() - 1, NodeTable::IpColumn, NodeIp(1));
    EXPECT_EQ(t.FindNodeRow(NodeIp(1)), 0);
}

TEST(NodeTable, MergeMarkAppendsOnce)
{
    NodeTable t;
    const int row = t.AddNodeRow(u"10.0.0.5"_s, u"m"_s, AllOn);
    EXPECT_EQ(t.MergeMark(row, 3, u"X"_s), u"X"_s);
    EXPECT_EQ(t.MergeMark(row, 3, u"X"_s), u"X"_s);
    t.SetCell(row, 2, u"+"_s);
    EXPECT_EQ(t.MergeMark(row, 2, u"O"_s), u"+O"_s);
}

// The cyclic life of a mark: answered in cycle 1, again in 2, not in 3.
TEST(NodeTable, CyclicMarkLifeCycle)
{
    NodeTable t;
    const int row = t.AddNodeRow(u"10.0.0.5"_s, u"m"_s, Defaults);
    t.MergeMark(row, 3, u"X"_s);
    t.SettleMarks();
    EXPECT_EQ(t.Cell(row, 3), u"X"_s);

    t.CarryOverMarks();
    EXPECT_EQ(t.Cell(row, 3), u"+"_s);
    EXPECT_EQ(t.Cell(row, 7), u"-"_s); // switched-off marks are kept
    EXPECT_EQ(t.MergeMark(row, 3, u"X"_s), u"+X"_s);
    t.SettleMarks();
    EXPECT_EQ(t.Cell(row, 3), u"X"_s);

    t.CarryOverMarks();
    EXPECT_EQ(t.Cell(row, 3), u"+"_s); // the lost response, until evaluation
    t.SettleMarks();
    EXPECT_EQ(t.Cell(row, 3), QString());
    EXPECT_EQ(t.Cell(row, 7), u"-"_s);
}

TEST(NodeTable, CarryOverTouchesOnlyExactLetters)
{
    NodeTable t;
    const int row = t.AddNodeRow(u"10.0.0.5"_s, u"m"_s, AllOn);
    const QStringList before = {u"X"_s,  u"x"_s, u"O"_s,    u"o"_s,
                                u"+X"_s, u"-"_s, QString(), u"XO"_s};
    for (int i = 0; i < before.size(); ++i)
        t.SetCell(row, 2 + i, before[i]);
    t.SetCell(row, 12, u"X"_s); // comment column is not a result column
    t.CarryOverMarks();
    const QStringList after = {u"+"_s, u"+"_s, u"+"_s, u"+"_s, u"+X"_s, u"-"_s, QString(), u"XO"_s};
    for (int i = 0; i < after.size(); ++i)
        EXPECT_EQ(t.Cell(row, 2 + i), after[i]) << i;
    EXPECT_EQ(t.Cell(row, 12), u"X"_s);
}

TEST(NodeTable, SettleTouchesOnlyAPlusAndAPlusBeforeOneLetter)
{
    NodeTable t;
    const int row = t.AddNodeRow(u"10.0.0.5"_s, u"m"_s, AllOn);
    const QStringList before = {u"+"_s,  u"+X"_s, u"+x"_s,  u"+O"_s, u"+o"_s,
                                u"+Y"_s, u"++"_s, u"+XO"_s, u"X+"_s, u"-"_s};
    for (int i = 0; i < before.size(); ++i)
        t.SetCell(row, 2 + i, before[i]);
    t.SettleMarks();
    const QStringList after = {QString(), u"X"_s,  u"x"_s,   u"O"_s,  u"o"_s,
                               u"+Y"_s,   u"++"_s, u"+XO"_s, u"X+"_s, u"-"_s};
    for (int i = 0; i < after.size(); ++i)
        EXPECT_EQ(t.Cell(row, 2 + i), after[i]) << i;
}

// The lost responses of a cycle: exact cells only, in row order, the
// trailing row included as every pass over the results includes it.
TEST(NodeTable, RowsWithCellFindsExactCellsInRowOrder)
{
    NodeTable t;
    const QStringList cells = {u"+"_s, u"+X"_s, QString(), u"+"_s, u" +"_s, u"+"_s};
    for (int i = 0; i < cells.size(); ++i)
        t.AddNodeRow(u"10.0.0.%1"_s.arg(i + 1), u"m"_s, AllOn);
    for (int i = 0; i < cells.size(); ++i)
        t.SetCell(i + 1, 3, cells[i]);
    t.SetCell(t.RowCount() - 1, 3, u"+"_s);
    EXPECT_EQ(t.RowsWithCell(3, u"+"), (QList<int>{1, 4, 6, t.RowCount() - 1}));
    EXPECT_EQ(t.RowsWithCell(4, u"+"), QList<int>{});
    EXPECT_EQ(t.RowsWithCell(NodeTable::ColumnCount, u"+"), QList<int>{});
}

TEST(NodeTable, ClearResultsKeepsNodesAndRewritesHeaders)
{
    NodeTable t;
    const int row = t.AddNodeRow(u"10.0.0.5"_s, u"m"_s, Defaults);
    t.SetCell(row, 3, u"X"_s);
    t.SetCell(row, 12, u"note"_s);
    t.SetCell(row, 13, u"Cisco"_s);
    t.ClearResults();
    EXPECT_EQ(t.Cell(row, 3), QString());
    EXPECT_EQ(t.Cell(row, 7), QString()); // "-" gone until the next Start
    EXPECT_EQ(t.Cell(row, 0), u"10.0.0.5"_s);
    EXPECT_EQ(t.Cell(row, 12), u"note"_s);
    EXPECT_EQ(t.Cell(row, 13), u"Cisco"_s);
    EXPECT_EQ(t.Cell(0, 2), u"Br"_s);

    t.ClearAllNodes();
    EXPECT_EQ(t.RowCount(), 2);
    EXPECT_EQ(t.Cell(0, 0), u"IP Address"_s);
}

// Result marks from Br to SP2, and whether the node counts as a suspect.
struct SuspectCase
{
    const char *name;
    std::array<const char16_t *, TestCount> marks;
    bool suspect;
};

class SuspectRule : public testing::TestWithParam<SuspectCase>
{
};

TEST_P(SuspectRule, NeedsBrAnsweredAndAnIllegalMark)
{
    NodeTable::Row row;
    row[NodeTable::IpColumn] = u"10.0.0.5"_s;
    row[NodeTable::CommentColumn] = u"X marks the spot"_s; // not a result column
    for (int i = 0; i < TestCount; ++i)
        row[size_t(FirstResultColumn + i)] = QString::fromUtf16(GetParam().marks[size_t(i)]);
    EXPECT_EQ(IsSuspectRow(row), GetParam().suspect);
}

INSTANTIATE_TEST_SUITE_P(
    NodeTable, SuspectRule,
    testing::Values(
        SuspectCase{"CorrectOnly", {u"O", u"", u"", u"", u"", u"O", u"", u"", u"", u""}, false},
        SuspectCase{"Ethernet", {u"O", u"X", u"", u"", u"", u"O", u"", u"", u"", u""}, true},
        SuspectCase{"Ieee", {u"o", u"", u"", u"", u"", u"", u"", u"", u"", u"x"}, true},
        SuspectCase{"CarriedOver", {u"O", u"+X", u"", u"", u"", u"", u"", u"", u"", u""}, true},
        SuspectCase{"NoBrAnswer", {u"", u"X", u"X", u"", u"", u"", u"", u"", u"", u""}, false},
        SuspectCase{"BrScanOff", {u"-", u"X", u"", u"", u"", u"", u"", u"", u"", u""}, false},
        SuspectCase{"BrLastTimeOnly", {u"+", u"X", u"", u"", u"", u"", u"", u"", u"", u""}, false}),
    [](const testing::TestParamInfo<SuspectCase> &info) { return info.param.name; });

} // namespace
