// The program's start-up inside the test, in the lab's scanner namespace:
// the windows are read and driven as a user would, through their controls.

#include "labscan.h"

#include "app/startup.h"
#include "config/settingsstore.h"
#include "core/nodecolumns.h"
#include "report/nodeviewer.h"
#include "report/nodeviewergrid.h"
#include "support/confighome.h"
#include "support/eventwait.h"
#include "support/find.h"
#include "support/labsegment.h"
#include "support/qtprint.h"
#include "ui/mainwindow.h"
#include "ui/nodeviewerwindow.h"
#include "ui/promiscuousalertwindow.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <memory>

using namespace keelwatch;
using namespace Qt::StringLiterals;
using namespace labscan;

namespace {

[[maybe_unused]] ConfigHome *const configHome = RegisterConfigHome();

// The marks a node settles to between cycles: "O" for Br and M1, "X"
// for the rest when the card is promiscuous. A normal card answers only the
// group addresses that share a hash bucket with one it joined: quiet lists
// the columns that must stay blank, or none to allow any.
bool Settled(const Node &node, bool promiscuous, const QList<int> &quiet = QList<int>())
{
    for (int c = FirstResultColumn; c <= LastResultColumn; ++c) {
        const QString cell = NodeCellText(node, c);
        bool settled;
        if (c == FirstResultColumn || c == 8)
            settled = cell == u"O";
        else if (promiscuous)
            settled = cell == u"X";
        else
            settled = cell.isEmpty() || (cell == u"X" && !quiet.contains(c));
        if (!settled)
            return false;
    }
    return true;
}

// The nodes as text, for failure messages.
std::string Dump(const NodeList &nodes)
{
    std::string text;
    for (const Node &node : nodes.All()) {
        QStringList cells;
        for (int c = 0; c <= LastResultColumn; ++c)
            cells.append(NodeCellText(node, c));
        text += cells.join(u'|').toStdString() + '\n';
    }
    return text;
}

// What "Save node list" or "Load node list" opened, answered with path.
bool AnswerFileDialog(QWidget &window, const QString &name, const QString &path)
{
    auto *dialog = window.findChild<QFileDialog *>(name);
    if (!dialog || !dialog->isVisible())
        return false;
    dialog->selectFile(path);
    static_cast<QDialog *>(dialog)->accept();
    return true;
}

class WindowsOnLab : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (const auto reason = LabSegment::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_TRUE(dir.isValid());
        lab = std::make_unique<LabSegment>(Hosts, PromiscuousHosts);
        ASSERT_TRUE(lab->built) << lab->output.toStdString();
        logPath = QDir(dir.path()).filePath(u"keelwatch.log"_s);
        WriteSettings(*OpenSettingsStore(), logPath, true, QString());
        WriteProgramFiles(dir.path());
        // Before anything is created: every socket and worker thread of the
        // program is then born in the lab.
        scanner = std::make_unique<EnteredNamespace>(lab->Namespace(u"scan"_s));
        ASSERT_TRUE(scanner->entered);
        startup = std::make_unique<Startup>(QStringList{u"auto"_s}, dir.path());
        startup->Show();
    }

    void TearDown() override
    {
        if (startup)
            startup->Main().close();
        startup.reset();
        scanner.reset();
        lab.reset();
    }

    QString Pane() const { return Find<QPlainTextEdit>(startup->Main(), "Memo1")->toPlainText(); }
    QString Alerts() const
    {
        return Find<QPlainTextEdit>(startup->PromiscuousAlert(), "Memo1")->toPlainText();
    }
    // The index of a lab host's node, -1 before it is found.
    int NodeOf(int host) const
    {
        return startup->Nodes().Find(*IpAddress::FromText(HostIp(host))).value_or(-1);
    }
    const Node &HostNode(int host) const { return startup->Nodes().At(NodeOf(host)); }

    QTemporaryDir dir;
    std::unique_ptr<LabSegment> lab;
    QString logPath;
    std::unique_ptr<EnteredNamespace> scanner;
    std::unique_ptr<Startup> startup;
};

TEST_F(WindowsOnLab, ScanAlertsViewerAndNodeList)
{
    MainWindow &main = startup->Main();
    NodeViewerWindow &viewerWindow = startup->NodeViewerWin();
    const NodeList &nodes = startup->Nodes();
    EXPECT_EQ(main.PanelText(0), u"AUTO"_s);

    // Every host found, the two promiscuous ones judged suspects.
    for (int h : {2, 4}) {
        const QString suspect = HostIp(h) + u"\t["_s + HostMac(h) + u"]\tPROMISC\tSUSPECT"_s;
        ASSERT_TRUE(WaitUntil([&] { return Pane().contains(suspect); }, 10000 + FirstCyclesMs))
            << Pane().toStdString();
    }
    EXPECT_EQ(main.PanelText(1), u"List & Cyclic"_s);
    ASSERT_TRUE(WaitUntil(
        [&] {
            if (nodes.Count() != Hosts)
                return false;
            for (int h = 1; h <= Hosts; ++h) {
                if (!Settled(HostNode(h), StartsPromiscuous(h)))
                    return false;
            }
            return true;
        },
        FirstCyclesMs))
        << Dump(nodes) << Pane().toStdString();
    for (int h = 1; h <= Hosts; ++h) {
        SCOPED_TRACE(HostIp(h).toStdString());
        EXPECT_EQ(NodeOf(h), h - 1) << "nodes in the order found";
        EXPECT_EQ(HostNode(h).mac.ToText(), HostMac(h));
        EXPECT_EQ(HostNode(h).vendor, VendorName);
        EXPECT_EQ(HostNode(h).comment, h == SwitchedHost ? SwitchedComment : QString());
    }
    EXPECT_TRUE(Alerts().isEmpty()) << "suspects raise no alert line";

    // The node viewer follows the switched host from the grid's pop-up.
    QTableView *nodeGrid = Find<QTableView>(main, "SG");
    const QModelIndex switchedCell = nodeGrid->model()->index(NodeOf(SwitchedHost), 0);
    nodeGrid->scrollTo(switchedCell);
    QTest::mouseClick(nodeGrid->viewport(), Qt::LeftButton, {},
                      nodeGrid->visualRect(switchedCell).center());
    ASSERT_EQ(main.SelectedNode(), NodeOf(SwitchedHost));
    Find<QAction>(main, "N3")->trigger();
    ASSERT_TRUE(viewerWindow.isVisible());
    EXPECT_EQ(Find<QLineEdit>(viewerWindow, "Edit1")->text(), HostIp(SwitchedHost));
    EXPECT_EQ(Find<QLineEdit>(viewerWindow, "Edit2")->text(), logPath);
    Find<QPushButton>(viewerWindow, "Button1")->click(); // Start
    NodeViewer &viewer = viewerWindow.Viewer();
    const NodeViewerGrid &grid = viewer.Grid();
    ASSERT_TRUE(viewer.IsLive());
    EXPECT_EQ(grid.Cell(1, NodeViewerGrid::StatusColumn), u"START"_s);
    EXPECT_EQ(grid.Cell(2, NodeViewerGrid::StatusColumn), u"0"_s);
    const int rowsAtStart = grid.RowCount();
    // The columns the switched host does not answer in normal mode.
    QList<int> quiet;
    for (int c = FirstResultColumn + 1; c <= LastResultColumn; ++c) {
        if (HostNode(SwitchedHost).MarkOf(c).IsEmpty())
            quiet.append(c);
    }
    ASSERT_FALSE(quiet.isEmpty());
    const int watched = quiet.first();
    // Br answered and the watched test never in every row read so far.
    for (int r = 2; r < rowsAtStart - 1; ++r) {
        EXPECT_EQ(grid.Cell(r, 2), u"O"_s) << "row " << r;
        EXPECT_EQ(grid.Cell(r, watched), QString()) << "row " << r;
    }
    const auto latest = [&](int column) { return grid.Cell(grid.RowCount() - 2, column); };

    // Promiscuous START: alert line, window shown, marks in the table and the
    // viewer's latest row.
    const QRegularExpression started(u"^"_s + DateTimePattern + u" Promiscuous START "_s +
                                     QRegularExpression::escape(HostIp(SwitchedHost)) + u"$"_s);
    ASSERT_TRUE(SwitchBetweenCycles([this] { return Pane(); },
                                    [&] { return lab->SetPromiscuous(SwitchedHost, true); }));
    ASSERT_TRUE(WaitUntil([&] { return !Alerts().isEmpty(); }, SwitchMs));
    EXPECT_TRUE(started.match(Alerts()).hasMatch()) << Alerts().toStdString();
    EXPECT_TRUE(startup->PromiscuousAlert().isVisible());
    EXPECT_TRUE(Pane().contains(HostIp(SwitchedHost) + u"\t["_s + HostMac(SwitchedHost) +
                                u"]\tPROMISC\tSTART"_s));
    EXPECT_TRUE(WaitUntil([&] { return Settled(HostNode(SwitchedHost), true); }, SwitchMs));
    // A burst of events reaches the viewer at the event loop's next turn.
    EXPECT_TRUE(WaitUntil([&] { return latest(watched) == u"X"_s; }, SwitchMs));
    EXPECT_EQ(latest(2), u"O"_s);
    EXPECT_GT(grid.RowCount(), rowsAtStart) << "a row per cycle";

    // Closing the alert window does not stop the next alert.
    Find<QPushButton>(startup->PromiscuousAlert(), "Button2")->click(); // Close
    ASSERT_TRUE(SwitchBetweenCycles([this] { return Pane(); },
                                    [&] { return lab->SetPromiscuous(SwitchedHost, false); }));
    ASSERT_TRUE(WaitUntil([&] { return Alerts().count(u'\n') == 1; }, SwitchMs));
    const QStringList alerts = Alerts().split(u'\n');
    EXPECT_TRUE(started.match(alerts[0]).hasMatch());
    EXPECT_TRUE(QRegularExpression(u"^"_s + DateTimePattern + u" Promiscuous STOP "_s +
                                   QRegularExpression::escape(HostIp(SwitchedHost)) + u"$"_s)
                    .match(alerts[1])
                    .hasMatch())
        << alerts[1].toStdString();
    EXPECT_TRUE(startup->PromiscuousAlert().isVisible());
    EXPECT_TRUE(WaitUntil([&] { return Settled(HostNode(SwitchedHost), false, quiet); }, SwitchMs));
    EXPECT_TRUE(WaitUntil([&] { return latest(watched).isEmpty(); }, SwitchMs))
        << "the OFF lines emptied the viewer's marks";
    const int rowsAfterStop = grid.RowCount();
    ASSERT_TRUE(WaitUntil([&] { return grid.RowCount() > rowsAfterStop; }, SwitchMs));
    EXPECT_EQ(latest(2), u"O"_s);
    EXPECT_EQ(latest(watched), QString());

    // Stop, then save the node list through the File menu and load it back.
    Find<QPushButton>(main, "Button2")->click(); // Stop
    EXPECT_EQ(main.PanelText(0), u"READY"_s);
    ASSERT_TRUE(Find<QAction>(main, "savedata1")->isEnabled());
    const QString listPath = QDir(dir.path()).filePath(u"lab.csv"_s);
    Find<QAction>(main, "savedata1")->trigger();
    ASSERT_TRUE(AnswerFileDialog(main, u"SaveDialog1"_s, listPath));
    QFile saved(listPath);
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    const QList<QByteArray> lines = saved.readAll().split('\n');
    const QList<Node> savedNodes = nodes.All();
    ASSERT_EQ(lines.size(), Hosts + 3); // titles, nodes, empty row, after the last CR LF
    EXPECT_EQ(lines[0], "\"IP Address\",\"MAC Address\",Br,B47,B16,B8,Gr,M0,M1,M3,S1,S2,Comment,"
                        "\"Vender Code\"\r");
    EXPECT_EQ(lines[2], "10.77.0.12,02:77:00:00:00:03,O,X,X,X,X,X,O,X,X,X,,\"Lab Cards Ltd\"\r");
    EXPECT_TRUE(lines[SwitchedHost].startsWith("10.77.0.17,02:77:00:00:00:08,O,"));
    EXPECT_TRUE(lines[SwitchedHost].endsWith(",\"switched host\",\"Lab Cards Ltd\"\r"));

    main.ClearAllNodes();
    Find<QAction>(main, "loaddata1")->trigger();
    ASSERT_TRUE(AnswerFileDialog(main, u"OpenDialog1"_s, listPath));
    ASSERT_EQ(nodes.Count(), Hosts);
    for (int h = 1; h <= Hosts; ++h) {
        SCOPED_TRACE(HostIp(h).toStdString());
        const Node &node = nodes.At(h - 1);
        EXPECT_EQ(node.ip.ToText(), HostIp(h));
        EXPECT_EQ(node.mac.ToText(), HostMac(h));
        EXPECT_EQ(node.vendor, VendorName);
        // An empty comment comes back as a single blank.
        EXPECT_EQ(node.comment, h == SwitchedHost ? SwitchedComment : u" "_s);
        // The marks come back as they were saved.
        for (int c = FirstResultColumn; c <= LastResultColumn; ++c)
            EXPECT_EQ(NodeCellText(node, c), NodeCellText(savedNodes[h - 1], c)) << "column " << c;
    }
}

} // namespace
