#include "ui/nodelistmodel.h"

#include <gtest/gtest.h>

#include <QAbstractItemModelTester>
#include <QSignalSpy>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const TestFlags AllOn{true, true, true, true, true, true, true, true, true, true};
constexpr Mark Illegal = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);
constexpr Mark Normal = Mark::Answered(Answer::Normal, FrameFormat::Ethernet2);

IpAddress HostIp(int host)
{
    return IpAddress::FromIpv4(0x0a000000u + std::uint32_t(host));
}

MacAddress HostMac(int host)
{
    const std::uint8_t bytes[6] = {0x00, 0x0c, 0x29, 0x00, 0x00, std::uint8_t(host)};
    return MacAddress::FromBytes(bytes);
}

class NodeListModelTest : public testing::Test
{
  protected:
    QString Cell(int row, int column) const { return model.index(row, column).data().toString(); }

    NodeList nodes;
    NodeListModel model{nodes};
    // Fails the test on any insertion, change or reset that breaks the
    // model's contract with the views.
    QAbstractItemModelTester tester{&model, QAbstractItemModelTester::FailureReportingMode::Fatal};
    QSignalSpy inserted{&model, &QAbstractItemModel::rowsInserted};
    QSignalSpy changed{&model, &QAbstractItemModel::dataChanged};
    QSignalSpy reset{&model, &QAbstractItemModel::modelReset};
};

TEST_F(NodeListModelTest, EmptyListHasNoRows)
{
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.columnCount(), NodeColumn::Count);
}

TEST_F(NodeListModelTest, ANodeAddedAloneIsOneRowInsertedAtOnce)
{
    nodes.Add(HostIp(1), HostMac(1), AllOn);
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 0);
    EXPECT_EQ(inserted[0][2].toInt(), 0);
    EXPECT_EQ(Cell(0, NodeColumn::Ip), u"10.0.0.1"_s);
    EXPECT_EQ(Cell(0, NodeColumn::Mac), u"00:0C:29:00:00:01"_s);
}

// A sweep's replies add nodes one by one; the views hear of them once, when
// the batch ends, and not before.
TEST_F(NodeListModelTest, ABatchIsOneInsertion)
{
    nodes.Add(HostIp(1), HostMac(1), AllOn);
    inserted.clear();
    nodes.BeginBatch();
    for (int host = 2; host <= 40; ++host) {
        const int index = nodes.Add(HostIp(host), HostMac(host), AllOn);
        // A mark set on a node the views do not know yet reports nothing.
        nodes.SetMark(index, BroadcastColumn, Normal);
    }
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_TRUE(inserted.isEmpty());
    EXPECT_TRUE(changed.isEmpty());
    nodes.EndBatch();
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 1);
    EXPECT_EQ(inserted[0][2].toInt(), 39);
    EXPECT_EQ(model.rowCount(), 40);
    EXPECT_EQ(Cell(39, NodeColumn::Ip), u"10.0.0.40"_s);
    EXPECT_EQ(Cell(39, BroadcastColumn), u"O"_s);
}

// Replies in one batch that change nodes already shown redraw them as one
// range, and never the rows the batch inserts.
TEST_F(NodeListModelTest, ChangesInABatchAreOneRangeOfShownRows)
{
    for (int host = 1; host <= 4; ++host)
        nodes.Add(HostIp(host), HostMac(host), AllOn);
    changed.clear();
    inserted.clear();
    nodes.BeginBatch();
    nodes.SetMark(2, BroadcastColumn, Normal);
    nodes.SetMark(1, 5, Illegal);
    const int added = nodes.Add(HostIp(9), HostMac(9), AllOn);
    nodes.SetMark(added, BroadcastColumn, Normal);
    EXPECT_TRUE(changed.isEmpty());
    nodes.EndBatch();
    ASSERT_EQ(inserted.size(), 1);
    ASSERT_EQ(changed.size(), 1);
    EXPECT_EQ(changed[0][0].value<QModelIndex>().row(), 1);
    EXPECT_GE(changed[0][1].value<QModelIndex>().row(), 2);
    EXPECT_LT(changed[0][1].value<QModelIndex>().row(), added);
    EXPECT_EQ(Cell(1, 5), u"X"_s);
    EXPECT_EQ(Cell(2, BroadcastColumn), u"O"_s);
    EXPECT_EQ(Cell(4, BroadcastColumn), u"O"_s);
}

TEST_F(NodeListModelTest, ABatchWithoutNodesInsertsNothing)
{
    nodes.BeginBatch();
    nodes.EndBatch();
    EXPECT_TRUE(inserted.isEmpty());
}

// A list replaced in the middle of a batch (a node list loaded) is shown
// whole at once; only the nodes after it are inserted at the batch's end.
TEST_F(NodeListModelTest, AReplaceInsideABatchKeepsTheRowsInStep)
{
    nodes.BeginBatch();
    nodes.Add(HostIp(1), HostMac(1), AllOn);
    Node loaded;
    loaded.ip = HostIp(7);
    nodes.Replace({loaded, loaded});
    EXPECT_EQ(model.rowCount(), 2);
    nodes.Add(HostIp(8), HostMac(8), AllOn);
    nodes.EndBatch();
    ASSERT_EQ(inserted.size(), 1);
    EXPECT_EQ(inserted[0][1].toInt(), 2);
    EXPECT_EQ(inserted[0][2].toInt(), 2);
    EXPECT_EQ(Cell(2, NodeColumn::Ip), u"10.0.0.8"_s);
}

struct Change
{
    const char *name;
    void (*apply)(NodeList &);
    int firstColumn;
    int lastColumn;
    int column;
    const char16_t *text;
};

class NodeChange : public NodeListModelTest, public testing::WithParamInterface<Change>
{
};

// Every change reaches the views as dataChanged over the node's row, or
// over every row's marks (the last change covers the second node), and the
// cell then shows the new text.
TEST_P(NodeChange, IsReportedAndShown)
{
    nodes.Add(HostIp(1), HostMac(1), AllOn);
    nodes.Add(HostIp(2), HostMac(2), AllOn);
    changed.clear();
    GetParam().apply(nodes);
    ASSERT_FALSE(changed.isEmpty());
    const auto topLeft = changed.last()[0].value<QModelIndex>();
    const auto bottomRight = changed.last()[1].value<QModelIndex>();
    EXPECT_LE(topLeft.row(), 1);
    EXPECT_EQ(bottomRight.row(), 1);
    EXPECT_LE(topLeft.column(), GetParam().firstColumn);
    EXPECT_GE(bottomRight.column(), GetParam().lastColumn);
    EXPECT_EQ(Cell(1, GetParam().column), QString::fromUtf16(GetParam().text));
}

INSTANTIATE_TEST_SUITE_P(
    Changes, NodeChange,
    testing::Values(Change{"Mark", [](NodeList &n) { n.SetMark(1, 5, Illegal); }, 5, 5, 5, u"X"},
                    Change{"Comment", [](NodeList &n) { n.SetComment(1, u"printer"_s); },
                           NodeColumn::Comment, NodeColumn::Comment, NodeColumn::Comment,
                           u"printer"},
                    Change{"Mac", [](NodeList &n) { n.SetMac(1, HostMac(9), u"VMware"_s); },
                           NodeColumn::Mac, NodeColumn::Vendor, NodeColumn::Mac,
                           u"00:0C:29:00:00:09"},
                    Change{"CarriedOver",
                           [](NodeList &n) {
                               n.SetMark(1, 3, Illegal);
                               n.SetMark(0, 3, Illegal);
                               n.CarryOverMarks();
                           },
                           FirstResultColumn, LastResultColumn, 3, u"+"},
                    Change{"ScanOff",
                           [](NodeList &n) {
                               TestFlags brOnly{};
                               brOnly[0] = true;
                               n.MarkScanOffAll(brOnly);
                           },
                           FirstResultColumn, LastResultColumn, LastResultColumn, u"-"}),
    [](const auto &info) { return std::string(info.param.name); });

// A mark set to what it already is, or a comment repeated by every reply,
// redraws nothing.
TEST_F(NodeListModelTest, AnUnchangedValueIsNotReported)
{
    const int node = nodes.Add(HostIp(1), HostMac(1), AllOn);
    nodes.SetMark(node, 3, Illegal);
    nodes.SetComment(node, u"printer"_s);
    changed.clear();
    nodes.SetMark(node, 3, Illegal);
    nodes.SetComment(node, u"printer"_s);
    EXPECT_TRUE(changed.isEmpty());
}

TEST_F(NodeListModelTest, ReplaceAndClearResetTheModel)
{
    nodes.Add(HostIp(1), HostMac(1), AllOn);
    inserted.clear();
    Node loaded;
    loaded.ip = HostIp(5);
    loaded.comment = u"loaded"_s;
    nodes.Replace({loaded});
    ASSERT_EQ(reset.size(), 1);
    EXPECT_EQ(model.rowCount(), 1);
    EXPECT_EQ(Cell(0, NodeColumn::Ip), u"10.0.0.5"_s);
    EXPECT_EQ(Cell(0, NodeColumn::Comment), u"loaded"_s);
    nodes.Clear();
    EXPECT_EQ(reset.size(), 2);
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_TRUE(inserted.isEmpty());
}

struct VerdictCase
{
    const char *name;
    int answers; // -1: never probed
    ConfirmationVerdict verdict;
    const char16_t *toolTip;
};

class Verdicts : public NodeListModelTest, public testing::WithParamInterface<VerdictCase>
{
};

// Every cell of a confirmed node carries its verdict (the grid paints the
// row from it) and says how many confirmation probes it answered.
TEST_P(Verdicts, ReachEveryCellOfTheNode)
{
    const VerdictCase &c = GetParam();
    nodes.Add(HostIp(1), HostMac(1), AllOn);
    nodes.Add(HostIp(2), HostMac(2), AllOn);
    if (c.answers >= 0) {
        nodes.BeginConfirmation(HostIp(2), HostMac(2));
        for (int i = 0; i < c.answers; ++i)
            nodes.CountConfirmationAnswer(HostIp(2), i, HostMac(2));
        for (int i = ConfirmationProbeCount; i < ConfirmationBatchProbes; ++i)
            nodes.CountConfirmationAnswer(HostIp(2), i, HostMac(2));
        // The grid repaints the node's row as its answers come in.
        EXPECT_EQ(changed.size(),
                  1 + std::min(c.answers, ConfirmationProbeCount) + ConfirmationControlCount);
        // The cycle's evaluation weighs the batch and reports the verdict.
        if (const auto verdict = nodes.WeighConfirmation(HostIp(2)))
            nodes.SetReportedVerdict(HostIp(2), *verdict);
    }
    for (int column : {int(NodeColumn::Ip), BroadcastColumn, int(NodeColumn::Vendor)}) {
        const QModelIndex cell = model.index(1, column);
        EXPECT_EQ(cell.data(NodeListModel::VerdictRole).toInt(), int(c.verdict)) << column;
        EXPECT_EQ(cell.data(Qt::ToolTipRole).toString(), QString::fromUtf16(c.toolTip)) << column;
    }
    // The other node is not being confirmed.
    EXPECT_EQ(model.index(0, 0).data(NodeListModel::VerdictRole).toInt(),
              int(ConfirmationVerdict::None));
    EXPECT_FALSE(model.index(0, 0).data(Qt::ToolTipRole).isValid());
}

INSTANTIATE_TEST_SUITE_P(
    Answers, Verdicts,
    testing::Values(VerdictCase{"NotProbed", -1, ConfirmationVerdict::None, u""},
                    VerdictCase{"FewAnswers", 5, ConfirmationVerdict::FilterMatch,
                                u"answered 5 of 192 confirmation probes"},
                    VerdictCase{"EnoughAnswers", ConfirmationProbeCount,
                                ConfirmationVerdict::Confirmed,
                                u"answered 192 of 192 confirmation probes"},
                    // Answers to probes never sent are not counted.
                    VerdictCase{"TooManyAnswers", 300, ConfirmationVerdict::Confirmed,
                                u"answered 192 of 192 confirmation probes"}),
    [](const auto &info) { return std::string(info.param.name); });

// Clear forgets the marks and the confirmations: the whole row of a
// confirmed node loses its colour, not only its marks.
TEST_F(NodeListModelTest, ClearingResultsRedrawsTheVerdictOfEveryCell)
{
    nodes.Add(HostIp(1), HostMac(1), AllOn);
    nodes.BeginConfirmation(HostIp(1), HostMac(1));
    for (int i = 0; i < ConfirmationBatchProbes; ++i)
        nodes.CountConfirmationAnswer(HostIp(1), i, HostMac(1));
    nodes.SetReportedVerdict(HostIp(1), *nodes.WeighConfirmation(HostIp(1)));
    ASSERT_EQ(model.index(0, NodeColumn::Ip).data(NodeListModel::VerdictRole).toInt(),
              int(ConfirmationVerdict::Confirmed));
    changed.clear();
    nodes.ClearResults();
    EXPECT_EQ(model.index(0, NodeColumn::Ip).data(NodeListModel::VerdictRole).toInt(),
              int(ConfirmationVerdict::None));
    ASSERT_FALSE(changed.isEmpty());
    int firstColumn = NodeColumn::Count;
    int lastColumn = -1;
    for (const QList<QVariant> &change : std::as_const(changed)) {
        firstColumn = std::min(firstColumn, change[0].value<QModelIndex>().column());
        lastColumn = std::max(lastColumn, change[1].value<QModelIndex>().column());
    }
    EXPECT_EQ(firstColumn, 0);
    EXPECT_EQ(lastColumn, NodeColumn::Count - 1);
}

} // namespace
