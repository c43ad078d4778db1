#include "support/find.h"
#include "ui/mainwindow.h"

#include <QAction>
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

const NodeTable::Tests AllOn{true, true, true, true, true, true, true, true, true, true};

// Five nodes in the order found; .10 and .3 are suspects (Br answered, an X),
// .7 has an X but never answered Br.
struct Node
{
    const char16_t *ip;
    const char16_t *mac;
    const char16_t *comment;
    const char16_t *vendor;
    const char16_t *brMark;
    const char16_t *illegalMark;
};
constexpr Node Nodes[] = {
    {u"10.0.0.9", u"00:0C:29:00:00:09", u"printer", u"VMware", u"O", u""},
    {u"10.0.0.10", u"00:1B:21:00:00:10", u"capture box", u"Intel", u"O", u"X"},
    {u"10.0.0.3", u"00:05:85:00:00:03", u"", u"Juniper", u"o", u"+x"},
    {u"10.0.0.7", u"00:00:0C:00:00:07", u"gateway", u"Cisco", u"", u"X"},
    {u"192.168.1.2", u"00:E0:4C:00:00:02", u"", u"Realtek", u"O", u""},
};

class NodeGridTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        NodeTable &table = form.Nodes();
        for (const Node &node : Nodes) {
            const int row =
                table.AddNodeRow(QString::fromUtf16(node.ip), QString::fromUtf16(node.mac), AllOn);
            table.SetCell(row, NodeTable::CommentColumn, QString::fromUtf16(node.comment));
            table.SetCell(row, NodeTable::VendorColumn, QString::fromUtf16(node.vendor));
            table.SetCell(row, BroadcastColumn, QString::fromUtf16(node.brMark));
            table.SetCell(row, BroadcastColumn + 3, QString::fromUtf16(node.illegalMark));
        }
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    QTableView *Grid() const { return Find<QTableView>(form, "SG"); }

    // The IP texts down the grid, the trailing row as "".
    QStringList ShownIps() const
    {
        QStringList ips;
        const QAbstractItemModel *shown = Grid()->model();
        for (int row = 0; row < shown->rowCount(); ++row)
            ips.append(shown->index(row, NodeTable::IpColumn).data().toString());
        return ips;
    }

    QPoint GridRowCentre(int gridRow) const
    {
        return Grid()->visualRect(Grid()->model()->index(gridRow, 0)).center();
    }

    // The table row that holds ip.
    int TableRowOf(const QString &ip) const { return form.Nodes().FindNodeRow(ip); }

    void SortBy(int column, Qt::SortOrder order)
    {
        Grid()->horizontalHeader()->setSortIndicator(column, order);
    }

    MainWindow form;
};

TEST_F(NodeGridTest, StartsInTheOrderFoundAndSortsIpsAsNumbers)
{
    EXPECT_EQ(ShownIps(), (QStringList{u"10.0.0.9"_s, u"10.0.0.10"_s, u"10.0.0.3"_s, u"10.0.0.7"_s,
                                       u"192.168.1.2"_s, QString()}));
    SortBy(NodeTable::IpColumn, Qt::AscendingOrder);
    EXPECT_EQ(ShownIps(), (QStringList{u"10.0.0.3"_s, u"10.0.0.7"_s, u"10.0.0.9"_s, u"10.0.0.10"_s,
                                       u"192.168.1.2"_s, QString()}));
    // The trailing row stays last the other way round too.
    SortBy(NodeTable::IpColumn, Qt::DescendingOrder);
    EXPECT_EQ(ShownIps(), (QStringList{u"192.168.1.2"_s, u"10.0.0.10"_s, u"10.0.0.9"_s,
                                       u"10.0.0.7"_s, u"10.0.0.3"_s, QString()}));
    // A node found while sorted lands in its place; the table keeps its order.
    form.Nodes().AddNodeRow(u"10.0.0.8"_s, u"00:00:00:00:00:08"_s, AllOn);
    EXPECT_EQ(ShownIps().mid(2, 3), (QStringList{u"10.0.0.9"_s, u"10.0.0.8"_s, u"10.0.0.7"_s}));
    EXPECT_EQ(form.Nodes().Cell(6, NodeTable::IpColumn), u"10.0.0.8"_s);
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
    // The table itself is untouched.
    EXPECT_EQ(form.Nodes().RowCount(), int(std::size(Nodes)) + 2);
}

INSTANTIATE_TEST_SUITE_P(
    NodeGrid, GridFilters,
    testing::Values(FilterCase{"Nothing",
                               u"",
                               false,
                               {u"10.0.0.9"_s, u"10.0.0.10"_s, u"10.0.0.3"_s, u"10.0.0.7"_s,
                                u"192.168.1.2"_s, QString()}},
                    FilterCase{"IpPart", u"10.0.0.1", false, {u"10.0.0.10"_s}},
                    FilterCase{"MacAnyCase", u"00:e0:4c", false, {u"192.168.1.2"_s}},
                    FilterCase{"Vendor", u"cisco", false, {u"10.0.0.7"_s}},
                    FilterCase{"Comment", u"CAPTURE", false, {u"10.0.0.10"_s}},
                    FilterCase{"NoMatch", u"nothing like it", false, {}},
                    FilterCase{"SuspectsOnly", u"", true, {u"10.0.0.10"_s, u"10.0.0.3"_s}},
                    FilterCase{"SuspectsAndText", u"juniper", true, {u"10.0.0.3"_s}}),
    [](const testing::TestParamInfo<FilterCase> &info) { return info.param.name; });

// Every way of acting on a node names the table row of the node the user
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
        if (shown[gridRow].isEmpty())
            continue;
        const int tableRow = TableRowOf(shown[gridRow]);
        SCOPED_TRACE(shown[gridRow].toStdString());

        QTest::mouseClick(grid, Qt::LeftButton, {}, GridRowCentre(gridRow));
        EXPECT_EQ(form.SelectedRow(), tableRow);
        for (const auto &[action, signal] :
             {std::pair{"N3", &MainWindow::nodeHistoryRequested},
              std::pair{"N4", &MainWindow::commentEditorRequested},
              std::pair{"N5", &MainWindow::externalCommandRequested}}) {
            QSignalSpy spy(&form, signal);
            Find<QAction>(form, action)->trigger();
            ASSERT_EQ(spy.size(), 1) << action;
            EXPECT_EQ(spy[0][0].toInt(), tableRow) << action;
        }
        QSignalSpy commentEditor(&form, &MainWindow::commentEditorRequested);
        Find<QAction>(form, "N7")->trigger();
        ASSERT_EQ(commentEditor.size(), 1);
        EXPECT_EQ(commentEditor[0][0].toInt(), tableRow);

        QSignalSpy doubleClick(&form, &MainWindow::externalCommandRequested);
        QTest::mouseDClick(grid, Qt::LeftButton, {}, GridRowCentre(gridRow));
        ASSERT_EQ(doubleClick.size(), 1);
        EXPECT_EQ(doubleClick[0][0].toInt(), tableRow);

        // The auto scroll names a table row and lands on its grid row.
        form.SelectNodeRow(tableRow);
        EXPECT_EQ(Grid()->currentIndex().row(), gridRow);
    }
}

INSTANTIATE_TEST_SUITE_P(
    NodeGrid, GridRowMapping,
    testing::Values(ViewCase{"AsFound", -1, Qt::AscendingOrder, u"", false},
                    ViewCase{"IpDown", NodeTable::IpColumn, Qt::DescendingOrder, u"", false},
                    ViewCase{"VendorUp", NodeTable::VendorColumn, Qt::AscendingOrder, u"", false},
                    ViewCase{"CommentFiltered", NodeTable::CommentColumn, Qt::DescendingOrder,
                             u"10.0.0", false},
                    ViewCase{"SuspectsByMac", NodeTable::MacColumn, Qt::DescendingOrder, u"",
                             true}),
    [](const testing::TestParamInfo<ViewCase> &info) { return info.param.name; });

// With every row filtered out the menus act on no node rather than on a
// hidden one.
TEST_F(NodeGridTest, NothingShownPicksNoNode)
{
    QTest::keyClicks(Find<QLineEdit>(form, "GridFilter"), u"no such node"_s);
    QSignalSpy spy(&form, &MainWindow::externalCommandRequested);
    QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, QPoint(20, 10));
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 0);
    // The auto scroll to a hidden node leaves the grid alone.
    form.SelectNodeRow(1);
    EXPECT_FALSE(Grid()->currentIndex().isValid());
}

TEST_F(NodeGridTest, CopiesTheSelectedRowsInGridOrder)
{
    SortBy(NodeTable::IpColumn, Qt::AscendingOrder);
    // 10.0.0.3, then with Ctrl 10.0.0.10 and the trailing row, which is left out.
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, GridRowCentre(3));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, GridRowCentre(0));
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, Qt::ControlModifier, GridRowCentre(5));
    EXPECT_EQ(form.SelectedRowsText(false),
              u"10.0.0.3\t00:05:85:00:00:03\to\t\t\t+x\t\t\t\t\t\t\t\tJuniper\n"
              u"10.0.0.10\t00:1B:21:00:00:10\tO\t\t\tX\t\t\t\t\t\t\tcapture box\tIntel\n"_s);
    // As the node list file holds them: a cell with a blank is quoted.
    EXPECT_EQ(form.SelectedRowsText(true),
              u"10.0.0.3,00:05:85:00:00:03,o,,,+x,,,,,,,,Juniper\r\n"
              u"10.0.0.10,00:1B:21:00:00:10,O,,,X,,,,,,,\"capture box\",Intel\r\n"_s);
}

} // namespace
