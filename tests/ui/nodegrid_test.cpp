#include "core/nodecolumns.h"
#include "support/find.h"
#include "ui/mainwindow.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QHeaderView>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QTableView>
#include <QTest>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const TestFlags AllOn{true, true, true, true, true, true, true, true, true, true};

constexpr Mark Normal = Mark::Answered(Answer::Normal, FrameFormat::Ethernet2);
constexpr Mark NormalIeee = Mark::Answered(Answer::Normal, FrameFormat::Ieee8023);
constexpr Mark Illegal = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);
constexpr Mark IllegalIeeeCarried{Answer::Illegal, true, true, false}; // "+x"

// Five nodes in the order found; .10 and .3 are suspects (Br answered, an X),
// .7 has an X but never answered Br.
struct ShownNode
{
    const char16_t *ip;
    const char16_t *mac;
    const char16_t *comment;
    const char16_t *vendor;
    Mark brMark;
    Mark illegalMark;
};
constexpr ShownNode Nodes[] = {
    {u"10.0.0.9", u"00:0C:29:00:00:09", u"printer", u"VMware", Normal, {}},
    {u"10.0.0.10", u"00:1B:21:00:00:10", u"capture box", u"Intel", Normal, Illegal},
    {u"10.0.0.3", u"00:05:85:00:00:03", u"", u"Juniper", NormalIeee, IllegalIeeeCarried},
    {u"10.0.0.7", u"00:00:0C:00:00:07", u"gateway", u"Cisco", {}, Illegal},
    {u"192.168.1.2", u"00:E0:4C:00:00:02", u"", u"Realtek", Normal, {}},
};

IpAddress Ip(QStringView text)
{
    return *IpAddress::FromText(text);
}

class NodeGridTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        for (const ShownNode &node : Nodes) {
            const int index = nodes.Add(Ip(node.ip), *MacAddress::FromText(node.mac), AllOn);
            nodes.SetComment(index, QString::fromUtf16(node.comment));
            nodes.SetVendor(index, QString::fromUtf16(node.vendor));
            nodes.SetMark(index, BroadcastColumn, node.brMark);
            nodes.SetMark(index, BroadcastColumn + 3, node.illegalMark);
        }
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    QTableView *Grid() const { return Find<QTableView>(form, "SG"); }

    // The IP texts down the grid.
    QStringList ShownIps() const
    {
        QStringList ips;
        const QAbstractItemModel *shown = Grid()->model();
        for (int row = 0; row < shown->rowCount(); ++row)
            ips.append(shown->index(row, NodeColumn::Ip).data().toString());
        return ips;
    }

    QPoint GridRowCentre(int gridRow) const
    {
        return Grid()->visualRect(Grid()->model()->index(gridRow, 0)).center();
    }

    // The index of the node that holds ip.
    int NodeIndexOf(const QString &ip) const { return nodes.Find(Ip(ip)).value_or(-1); }

    void SortBy(int column, Qt::SortOrder order)
    {
        Grid()->horizontalHeader()->setSortIndicator(column, order);
    }

    NodeList nodes;
    MainWindow form{nodes};
};

TEST_F(NodeGridTest, StartsInTheOrderFoundAndSortsIpsAsNumbers)
{
    EXPECT_EQ(ShownIps(), (QStringList{u"10.0.0.9"_s, u"10.0.0.10"_s, u"10.0.0.3"_s, u"10.0.0.7"_s,
                                       u"192.168.1.2"_s}));
    SortBy(NodeColumn::Ip, Qt::AscendingOrder);
    EXPECT_EQ(ShownIps(), (QStringList{u"10.0.0.3"_s, u"10.0.0.7"_s, u"10.0.0.9"_s, u"10.0.0.10"_s,
                                       u"192.168.1.2"_s}));
    SortBy(NodeColumn::Ip, Qt::DescendingOrder);
    EXPECT_EQ(ShownIps(), (QStringList{u"192.168.1.2"_s, u"10.0.0.10"_s, u"10.0.0.9"_s,
                                       u"10.0.0.7"_s, u"10.0.0.3"_s}));
    // A node found while sorted lands in its place; the list keeps its order.
    nodes.Add(Ip(u"10.0.0.8"), *MacAddress::FromText(u"00:00:00:00:00:08"), AllOn);
    EXPECT_EQ(ShownIps().mid(2, 3), (QStringList{u"10.0.0.9"_s, u"10.0.0.8"_s, u"10.0.0.7"_s}));
    EXPECT_EQ(nodes.At(5).ip.ToText(), u"10.0.0.8"_s);
}

struct FilterCase
{
    const char *name;
    const char16_t *text;
    bool suspectsOnly;
    QStringList shown;
};

class GridFilters : public NodeGridTest, public testing::WithParamInterface<FilterCase>
{
};

TEST_P(GridFilters, ShowTheMatchingNodesOnly)
{
    const FilterCase &c = GetParam();
    QTest::keyClicks(Find<QLineEdit>(form, "GridFilter"), QString::fromUtf16(c.text));
    Find<QCheckBox>(form, "SuspectsOnly")->setChecked(c.suspectsOnly);
    EXPECT_EQ(ShownIps(), c.shown);
    // The list itself is untouched.
    EXPECT_EQ(nodes.Count(), int(std::size(Nodes)));
}

INSTANTIATE_TEST_SUITE_P(
    NodeGrid, GridFilters,
    testing::Values(FilterCase{"Nothing",
                               u"",
                               false,
                               {u"10.0.0.9"_s, u"10.0.0.10"_s, u"10.0.0.3"_s, u"10.0.0.7"_s,
                                u"192.168.1.2"_s}},
                    FilterCase{"IpPart", u"10.0.0.1", false, {u"10.0.0.10"_s}},
                    FilterCase{"MacAnyCase", u"00:e0:4c", false, {u"192.168.1.2"_s}},
                    FilterCase{"Vendor", u"cisco", false, {u"10.0.0.7"_s}},
                    FilterCase{"Comment", u"CAPTURE", false, {u"10.0.0.10"_s}},
                    FilterCase{"NoMatch", u"nothing like it", false, {}},
                    FilterCase{"SuspectsOnly", u"", true, {u"10.0.0.10"_s, u"10.0.0.3"_s}},
                    FilterCase{"SuspectsAndText", u"juniper", true, {u"10.0.0.3"_s}}),
    [](const testing::TestParamInfo<FilterCase> &info) { return info.param.name; });

// Every way of acting on a node names the index of the node the user
// picked in the grid, however it is sorted and filtered.
struct ViewCase
{
    const char *name;
    int sortColumn; // -1: unsorted
    Qt::SortOrder order;
    const char16_t *filter;
    bool suspectsOnly;
};

class GridRowMapping : public NodeGridTest, public testing::WithParamInterface<ViewCase>
{
};

TEST_P(GridRowMapping, ReachesTheNodeShownInTheRow)
{
    const ViewCase &c = GetParam();
    SortBy(c.sortColumn, c.order);
    QTest::keyClicks(Find<QLineEdit>(form, "GridFilter"), QString::fromUtf16(c.filter));
    Find<QCheckBox>(form, "SuspectsOnly")->setChecked(c.suspectsOnly);
    const QStringList shown = ShownIps();
    ASSERT_FALSE(shown.isEmpty());

    QWidget *grid = Grid()->viewport();
    for (int gridRow = 0; gridRow < shown.size(); ++gridRow) {
        const int nodeIndex = NodeIndexOf(shown[gridRow]);
        SCOPED_TRACE(shown[gridRow].toStdString());

        QTest::mouseClick(grid, Qt::LeftButton, {}, GridRowCentre(gridRow));
        EXPECT_EQ(form.SelectedNode(), nodeIndex);
        for (const auto &[action, signal] :
             {std::pair{"N3", &MainWindow::nodeHistoryRequested},
              std::pair{"N4", &MainWindow::commentEditorRequested},
              std::pair{"N5", &MainWindow::externalCommandRequested}}) {
            QSignalSpy spy(&form, signal);
            Find<QAction>(form, action)->trigger();
            ASSERT_EQ(spy.size(), 1) << action;
            EXPECT_EQ(spy[0][0].toInt(), nodeIndex) << action;
        }
        QSignalSpy commentEditor(&form, &MainWindow::commentEditorRequested);
        Find<QAction>(form, "N7")->trigger();
        ASSERT_EQ(commentEditor.size(), 1);
        EXPECT_EQ(commentEditor[0][0].toInt(), nodeIndex);

        QSignalSpy doubleClick(&form, &MainWindow::externalCommandRequested);
        QTest::mouseDClick(grid, Qt::LeftButton, {}, GridRowCentre(gridRow));
        ASSERT_EQ(doubleClick.size(), 1);
        EXPECT_EQ(doubleClick[0][0].toInt(), nodeIndex);

        // The auto scroll names a node and lands on its grid row.
        form.ShowNode(nodeIndex);
        EXPECT_EQ(Grid()->currentIndex().row(), gridRow);
    }
}

INSTANTIATE_TEST_SUITE_P(
    NodeGrid, GridRowMapping,
    testing::Values(ViewCase{"AsFound", -1, Qt::AscendingOrder, u"", false},
                    ViewCase{"IpDown", NodeColumn::Ip, Qt::DescendingOrder, u"", false},
                    ViewCase{"VendorUp", NodeColumn::Vendor, Qt::AscendingOrder, u"", false},
                    ViewCase{"CommentFiltered", NodeColumn::Comment, Qt::DescendingOrder, u"10.0.0",
                             false},
                    ViewCase{"SuspectsByMac", NodeColumn::Mac, Qt::DescendingOrder, u"", true}),
    [](const testing::TestParamInfo<ViewCase> &info) { return info.param.name; });

// With every row filtered out the menus act on no node rather than on a
// hidden one.
TEST_F(NodeGridTest, NothingShownPicksNoNode)
{
    QTest::keyClicks(Find<QLineEdit>(form, "GridFilter"), u"no such node"_s);
    QSignalSpy spy(&form, &MainWindow::externalCommandRequested);
    QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toInt(), -1);
    // The auto scroll to a hidden node leaves the grid alone.
    form.ShowNode(0);
    EXPECT_FALSE(Grid()->currentIndex().isValid());
}

TEST_F(NodeGridTest, CopiesTheSelectedRowsInGridOrder)
{
    SortBy(NodeColumn::Ip, Qt::AscendingOrder);
    // 10.0.0.10, then with Ctrl 10.0.0.3: copied in grid order.
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, GridRowCentre(3));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, GridRowCentre(0));
    EXPECT_EQ(form.SelectedRowsText(false),
              u"10.0.0.3\t00:05:85:00:00:03\to\t\t\t+x\t\t\t\t\t\t\t\tJuniper\n"
              u"10.0.0.10\t00:1B:21:00:00:10\tO\t\t\tX\t\t\t\t\t\t\tcapture box\tIntel\n"_s);
    // As the node list file holds them: a cell with a blank is quoted.
    EXPECT_EQ(form.SelectedRowsText(true),
              u"10.0.0.3,00:05:85:00:00:03,o,,,+x,,,,,,,,Juniper\r\n"
              u"10.0.0.10,00:1B:21:00:00:10,O,,,X,,,,,,,\"capture box\",Intel\r\n"_s);
}

// Tab leaves a grid full of rows for the next control; the arrows still
// walk its cells.
TEST_F(NodeGridTest, TabLeavesTheGridWhileArrowsMoveWithinIt)
{
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    Grid()->setFocus();
    Grid()->setCurrentIndex(Grid()->model()->index(0, NodeColumn::Ip));
    QTest::keyClick(Grid(), Qt::Key_Right);
    EXPECT_EQ(Grid()->currentIndex().column(), NodeColumn::Ip + 1);
    EXPECT_TRUE(Grid()->hasFocus());
    QTest::keyClick(Grid(), Qt::Key_Tab);
    EXPECT_FALSE(Grid()->hasFocus());
    EXPECT_EQ(Grid()->currentIndex().column(), NodeColumn::Ip + 1);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Backtab);
    EXPECT_TRUE(Grid()->hasFocus());
}

} // namespace
