#include "support/find.h"
#include "ui/mainwindow.h"
#include "ui/nodegrid.h"
#include "ui/nodelistmodel.h"

#include <QCheckBox>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QSortFilterProxyModel>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTimer>

#include <cstring>
#include <memory>
#include <vector>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const TestFlags AllOn{true, true, true, true, true, true, true, true, true, true};

IpAddress Ip(QStringView text)
{
    return *IpAddress::FromText(text);
}

MacAddress Mac(QStringView text)
{
    return *MacAddress::FromText(text);
}

class MainWindowTest : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        form.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    }

    // Two nodes with marks, and a line in the event pane.
    void AddNodes()
    {
        nodes.SetMark(nodes.Add(Ip(u"10.0.0.5"), Mac(u"00:0C:29:AA:BB:01"), AllOn), 2,
                      Mark::Answered(Answer::Normal, FrameFormat::Ethernet2));
        nodes.SetMark(nodes.Add(Ip(u"10.0.0.9"), Mac(u"00:0C:29:AA:BB:02"), AllOn), 3,
                      Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
        form.AppendPaneNote(u"an event"_s);
    }

    // Where a node is drawn, however the grid sorts and filters.
    QModelIndex GridIndex(int node) const
    {
        const auto *shown = qobject_cast<const QSortFilterProxyModel *>(Grid()->model());
        const QAbstractItemModel *source = shown ? shown->sourceModel() : Grid()->model();
        const QModelIndex index = source->index(node, 0);
        return shown ? shown->mapFromSource(index) : index;
    }
    QPoint RowCentre(int node) const { return Grid()->visualRect(GridIndex(node)).center(); }

    QTableView *Grid() const { return Find<QTableView>(form, "SG"); }
    QMenu *Popup() const { return Find<QMenu>(form, "PopupMenu1"); }
    QAction *PopupTitle() const { return Find<QAction>(form, "PopupTitle"); }

    NodeList nodes;
    MainWindow form{nodes};
};

QStringList Captions(const QList<QAction *> &actions)
{
    QStringList captions;
    for (const QAction *action : actions)
        captions.append(action->isSeparator() ? u"-"_s : QString(action->text()).remove(u'&'));
    return captions;
}

TEST_F(MainWindowTest, ControlsHaveTheirCaptionsAndDefaults)
{
    EXPECT_EQ(form.windowTitle(), u"Keelwatch Ver 3.0"_s);
    // Alt+T, Alt+O and Alt+C, beside the menu bar's F, S, V and H.
    EXPECT_EQ(Find<QPushButton>(form, "Button1")->text(), u"S&tart"_s);
    EXPECT_EQ(Find<QPushButton>(form, "Button2")->text(), u"St&op"_s);
    auto *clear = Find<QPushButton>(form, "Button3");
    EXPECT_EQ(clear->text(), u"&Clear"_s);
    EXPECT_EQ(clear->toolTip(), u"All clear : [shift] & Click"_s);
    EXPECT_TRUE(Find<QCheckBox>(form, "scrollcheck")->isChecked());
    EXPECT_EQ(Find<QCheckBox>(form, "scrollcheck")->text(), u"Auto Scroll"_s);
    EXPECT_FALSE(Find<QCheckBox>(form, "BeepCheck")->isChecked());
    EXPECT_EQ(Find<QLabel>(form, "Image1")->pixmap().size(), QSize(173, 49));
    EXPECT_TRUE(Find<QPlainTextEdit>(form, "Memo1")->isReadOnly());
    EXPECT_GE(Find<QPlainTextEdit>(form, "Memo1")->height(), 80);
    EXPECT_EQ(Grid()->model()->rowCount(), 0);
    EXPECT_EQ(Grid()->model()->headerData(13, Qt::Horizontal).toString(), u"Vender Code"_s);
    EXPECT_EQ(form.SelectedNode(), -1);
    EXPECT_FALSE(form.CaptureCounterShown());
    EXPECT_EQ(form.PanelText(0), u"READY"_s);
}

TEST_F(MainWindowTest, GridStartsWithItsWidthsAndShowsTheSwitchedOnTests)
{
    QTableView *grid = Grid();
    // At least the first widths, and room for an address and every title.
    const QFontMetrics metrics = grid->fontMetrics();
    const int resultWidth = Find<NodeGrid>(form, "SG")->ResultColumnWidth();
    EXPECT_GE(grid->columnWidth(0), 100);
    EXPECT_GT(grid->columnWidth(0), metrics.horizontalAdvance(u"255.255.255.255"_s));
    EXPECT_GE(grid->columnWidth(1), 120);
    EXPECT_GT(grid->columnWidth(1), metrics.horizontalAdvance(u"00:0C:29:AA:BB:01"_s));
    EXPECT_GE(resultWidth, NodeGrid::ResultWidth);
    for (int column = 2; column <= 11; ++column)
        EXPECT_GT(resultWidth, grid->horizontalHeader()->fontMetrics().horizontalAdvance(
                                   grid->model()->headerData(column, Qt::Horizontal).toString()))
            << column;
    EXPECT_EQ(grid->columnWidth(5), resultWidth);
    EXPECT_EQ(grid->columnWidth(12), 80);
    EXPECT_EQ(grid->columnWidth(13), 400);
    TestFlags brOnly{};
    brOnly[0] = true;
    form.ShowTestColumns(false, brOnly);
    EXPECT_FALSE(grid->isColumnHidden(2));
    EXPECT_EQ(grid->columnWidth(2), resultWidth);
    for (int column = 3; column <= 11; ++column)
        EXPECT_TRUE(grid->isColumnHidden(column)) << column;
    form.ShowTestColumns(true, brOnly);
    for (int column = 2; column <= 11; ++column) {
        EXPECT_FALSE(grid->isColumnHidden(column)) << column;
        EXPECT_EQ(grid->columnWidth(column), resultWidth) << column;
    }
}

TEST_F(MainWindowTest, StatusBarHasEightPanels)
{
    const int widths[] = {50, 120, 100, 40, 40, 60, 100, 50};
    for (int i = 0; i < MainWindow::PanelCount; ++i) {
        auto *panel =
            Find<QLabel>(*Find<QStatusBar>(form, "SB"), ("SBPanel" + std::to_string(i)).c_str());
        ASSERT_NE(panel, nullptr);
        EXPECT_GE(panel->width(), widths[i]) << i;
        EXPECT_EQ(panel->alignment() & Qt::AlignHorizontal_Mask,
                  i == 7 ? Qt::AlignRight : Qt::AlignHCenter)
            << i;
    }
    form.SetPanelText(6, u"Capture On"_s);
    EXPECT_EQ(form.PanelText(6), u"Capture On"_s);
    EXPECT_EQ(form.PanelText(8), QString());
}

TEST_F(MainWindowTest, MenusHoldEveryEntry)
{
    const QList<QAction *> top = form.menuBar()->actions();
    EXPECT_EQ(Captions(top), (QStringList{u"File"_s, u"Setup"_s, u"View"_s, u"Help"_s}));
    EXPECT_EQ(top[1]->menu(), nullptr);
    EXPECT_EQ(Captions(top[0]->menu()->actions()),
              (QStringList{u"Save node list"_s, u"Load node list"_s, u"Export report..."_s, u"-"_s,
                           u"Exit"_s}));
    EXPECT_EQ(Captions(top[2]->menu()->actions()),
              (QStringList{u"Node viewer"_s, u"Comment Editor"_s, u"Alert"_s}));
    const QList<QAction *> help = top[3]->menu()->actions();
    EXPECT_EQ(Captions(help), (QStringList{u"Contents"_s, u"Result Marks"_s, u"About"_s}));
    EXPECT_EQ(Captions(help[1]->menu()->actions()),
              (QStringList{u"X :Illegal response(Ethernet)"_s, u"x :Illegal response(IEEE 802.3)"_s,
                           u"O :Correct response(Ethernet)"_s, u"o :Correct response(IEEE 802.3)"_s,
                           u"+ :Last time response"_s, u"[ ] :Black"_s, u"- :Scan OFF"_s}));
    EXPECT_EQ(
        Captions(Popup()->actions()),
        (QStringList{u"<< IP = not selected >>"_s, u"-"_s, u"Node Viewer"_s, u"Comment Editor"_s,
                     u"External Command"_s, u"-"_s, u"Copy rows"_s, u"Copy as node list"_s}));
    EXPECT_EQ(Find<QAction>(form, "N4")->text(), u"&Comment Editor"_s);
    EXPECT_EQ(Find<QAction>(form, "savedata1")->text(), u"&Save node list"_s);
}

// Alt and a letter reach every entry: each has one, unique in its menu. The
// Result Marks entries are a legend, not commands.
TEST_F(MainWindowTest, EveryMenuEntryHasItsOwnMnemonic)
{
    std::vector<QMenu *> menus{Popup()};
    for (QAction *top : form.menuBar()->actions()) {
        if (top->menu())
            menus.push_back(top->menu());
    }
    menus.push_back(nullptr); // the menu bar itself
    for (QMenu *menu : menus) {
        const QList<QAction *> entries = menu ? menu->actions() : form.menuBar()->actions();
        QString letters;
        for (const QAction *entry : entries) {
            if (entry->isSeparator() || !entry->isEnabled())
                continue;
            const QString text = entry->text();
            const qsizetype amp = text.indexOf(u'&');
            ASSERT_GE(amp, 0) << text.toStdString();
            ASSERT_LT(amp + 1, text.size());
            const QChar letter = text[amp + 1].toLower();
            EXPECT_FALSE(letters.contains(letter)) << text.toStdString();
            letters += letter;
        }
    }
    EXPECT_EQ(Find<QAction>(form, "Exit1")->shortcut(), QKeySequence(Qt::CTRL | Qt::Key_Q));
}

TEST_F(MainWindowTest, EveryColumnTitleExplainsItself)
{
    QAbstractItemModel *grid = Grid()->model();
    for (int column = 0; column < grid->columnCount(); ++column) {
        const QString tip = grid->headerData(column, Qt::Horizontal, Qt::ToolTipRole).toString();
        EXPECT_FALSE(tip.isEmpty()) << column;
        if (column >= FirstResultColumn && column <= LastResultColumn) {
            const TestAddress &test = TestAddresses[size_t(column - FirstResultColumn)];
            EXPECT_TRUE(tip.startsWith(QString::fromUtf16(test.label))) << tip.toStdString();
        }
    }
    for (int panel = 0; panel < MainWindow::PanelCount; ++panel)
        EXPECT_FALSE(Find<QLabel>(form, ("SBPanel" + std::to_string(panel)).c_str())
                         ->accessibleName()
                         .isEmpty())
            << panel;
}

// The tray's Start acts as the button does: not while it is off.
TEST_F(MainWindowTest, PressStartNeedsTheStartButton)
{
    QSignalSpy starts(&form, &MainWindow::startRequested);
    form.PressStart();
    form.SetScanControlsEnabled(false);
    form.PressStart();
    EXPECT_EQ(starts.size(), 1);
}

TEST_F(MainWindowTest, ExitCloses)
{
    QSignalSpy closing(&form, &MainWindow::closing);
    Find<QAction>(form, "Exit1")->trigger();
    EXPECT_EQ(closing.size(), 1);
    EXPECT_FALSE(form.isVisible());
}

struct Request
{
    const char *control;
    const char *signal; // the signature, as SIGNAL() would give it
    bool carriesNode;
};

class MenuRequest : public MainWindowTest, public ::testing::WithParamInterface<Request>
{
};

// Each entry asks for exactly one thing; those about a node carry the node the
// user picked last, not the grid's current row.
TEST_P(MenuRequest, AsksForItsWindowOrCommand)
{
    AddNodes();
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    form.ShowNode(0);
    const QByteArray signature = QByteArray("2").append(GetParam().signal);
    QSignalSpy asked(&form, signature.constData());
    ASSERT_TRUE(asked.isValid());
    std::vector<std::unique_ptr<QSignalSpy>> others;
    for (const char *other :
         {"startRequested()", "stopRequested()", "saveNodeListRequested()",
          "loadNodeListRequested()", "nodeViewerRequested()", "nodeHistoryRequested(int)",
          "commentEditorRequested(int)", "externalCommandRequested(int)", "alertRequested()",
          "setupRequested()", "aboutRequested()"}) {
        if (std::strcmp(other, GetParam().signal) != 0)
            others.push_back(
                std::make_unique<QSignalSpy>(&form, QByteArray("2").append(other).constData()));
    }

    QObject *control = form.findChild<QObject *>(QString::fromLatin1(GetParam().control));
    ASSERT_NE(control, nullptr);
    if (auto *action = qobject_cast<QAction *>(control))
        action->trigger();
    else
        qobject_cast<QPushButton *>(control)->click();

    ASSERT_EQ(asked.size(), 1);
    if (GetParam().carriesNode) {
        EXPECT_EQ(asked[0][0].toInt(), 1);
    }
    for (const auto &other : others)
        EXPECT_EQ(other->size(), 0) << other->signal().toStdString();
}

INSTANTIATE_TEST_SUITE_P(Entries, MenuRequest,
                         ::testing::Values(Request{"Button1", "startRequested()", false},
                                           Request{"Button2", "stopRequested()", false},
                                           Request{"savedata1", "saveNodeListRequested()", false},
                                           Request{"loaddata1", "loadNodeListRequested()", false},
                                           Request{"ExportReport", "exportReportRequested()",
                                                   false},
                                           Request{"Setup1", "setupRequested()", false},
                                           Request{"N1", "nodeViewerRequested()", false},
                                           Request{"N7", "commentEditorRequested(int)", true},
                                           Request{"N8", "alertRequested()", false},
                                           Request{"About1", "aboutRequested()", false},
                                           Request{"N3", "nodeHistoryRequested(int)", true},
                                           Request{"N4", "commentEditorRequested(int)", true},
                                           Request{"N5", "externalCommandRequested(int)", true}),
                         [](const auto &info) { return std::string(info.param.control); });

struct AutoCase
{
    QStringList arguments;
    bool pending;
};

class AutoArgument : public ::testing::TestWithParam<AutoCase>
{
};

TEST_P(AutoArgument, HoldsTheScanControlsUntilTheAutomaticStart)
{
    NodeList nodes;
    MainWindow form(nodes, GetParam().arguments);
    const bool pending = GetParam().pending;
    EXPECT_EQ(form.AutoStartPending(), pending);
    EXPECT_EQ(form.PanelText(0), pending ? u"AUTO"_s : u"READY"_s);
    for (const char *name : {"Edit1", "Edit2", "Button1", "Button3"})
        EXPECT_EQ(Find<QWidget>(form, name)->isEnabled(), !pending) << name;
    // Saving takes the list as it is, so it stays possible.
    EXPECT_TRUE(Find<QAction>(form, "savedata1")->isEnabled());
    EXPECT_TRUE(Find<QAction>(form, "ExportReport")->isEnabled());
    EXPECT_EQ(Find<QAction>(form, "loaddata1")->isEnabled(), !pending);
    EXPECT_TRUE(Find<QPushButton>(form, "Button2")->isEnabled());
}

INSTANTIATE_TEST_SUITE_P(Arguments, AutoArgument,
                         ::testing::Values(AutoCase{{u"auto"_s}, true}, AutoCase{{u"AUTO"_s}, true},
                                           AutoCase{{u"x"_s, u"aUtO"_s}, true},
                                           AutoCase{{u"autostart"_s}, false}, AutoCase{{}, false}));

struct RangeExit
{
    const char16_t *typed;
    const char16_t *shown;
};

class RangeField : public MainWindowTest, public ::testing::WithParamInterface<RangeExit>
{
};

TEST_P(RangeField, IsCheckedWhenLeft)
{
    for (const char *name : {"Edit1", "Edit2"}) {
        auto *field = Find<QLineEdit>(form, name);
        form.activateWindow();
        field->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
        // Whoever keeps the settings reads them at each report; the last
        // must come after the exit check has emptied a wrong address.
        QStringList reported;
        const auto connection = QObject::connect(&form, &MainWindow::rangeOrOptionsEdited, [&] {
            Settings read;
            form.ReadSettings(read);
            reported.append(std::strcmp(name, "Edit1") == 0 ? read.from : read.to);
        });
        QTest::keyClicks(field, QString::fromUtf16(GetParam().typed));
        Find<QPushButton>(form, "Button1")->setFocus();
        QObject::disconnect(connection);
        EXPECT_EQ(field->text(), QString::fromUtf16(GetParam().shown));
        ASSERT_FALSE(reported.isEmpty());
        EXPECT_EQ(reported.last(), QString::fromUtf16(GetParam().shown));
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, RangeField,
                         ::testing::Values(RangeExit{u"10.0.0.256", u""},
                                           RangeExit{u" 10.0.0.1 ", u"10.0.0.1"},
                                           RangeExit{u"010.000.000.001", u"010.000.000.001"},
                                           RangeExit{u"10..0.1", u""}));

// Removing every node asks first; only Yes removes them.
enum class ClearAnswer { NotAsked, Yes, No, Escape };

// A network typed in either field fills both with its host range.
TEST_F(MainWindowTest, NetworkTypedInARangeFieldBecomesItsHostRange)
{
    for (const char *name : {"Edit1", "Edit2"}) {
        auto *field = Find<QLineEdit>(form, name);
        for (QLineEdit *other : {Find<QLineEdit>(form, "Edit1"), Find<QLineEdit>(form, "Edit2")})
            other->setText(u"10.0.0.1"_s);
        QSignalSpy reported(&form, &MainWindow::rangeOrOptionsEdited);
        form.activateWindow();
        field->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
        field->selectAll();
        QTest::keyClicks(field, u"10.77.0.0/24"_s);
        Find<QPushButton>(form, "Button1")->setFocus();
        Settings read;
        form.ReadSettings(read);
        EXPECT_EQ(read.from, u"10.77.0.1"_s) << name;
        EXPECT_EQ(read.to, u"10.77.0.254"_s) << name;
        EXPECT_FALSE(reported.isEmpty());
    }
}

struct ClearPress
{
    const char *name;
    Qt::MouseButton button;
    Qt::KeyboardModifiers modifiers;
    ClearAnswer answer;
};

class ClearButton : public MainWindowTest, public ::testing::WithParamInterface<ClearPress>
{
};

TEST_P(ClearButton, ShiftLeftClickRemovesNodesWhenConfirmedAnyOtherPressClearsMarks)
{
    AddNodes();
    QTest::mouseClick(Find<QPushButton>(form, "Button3"), GetParam().button, GetParam().modifiers);
    auto *question = form.findChild<QMessageBox *>(u"ClearAllQuestion"_s);
    const ClearAnswer answer = GetParam().answer;
    ASSERT_EQ(question != nullptr, answer != ClearAnswer::NotAsked);
    if (question) {
        EXPECT_EQ(nodes.Count(), 2) << "nothing goes before the answer";
        EXPECT_EQ(question->defaultButton(), question->button(QMessageBox::No));
        if (answer == ClearAnswer::Escape)
            QTest::keyClick(question, Qt::Key_Escape);
        else
            question->button(answer == ClearAnswer::Yes ? QMessageBox::Yes : QMessageBox::No)
                ->click();
    }
    QAbstractItemModel *grid = Grid()->model();
    if (answer == ClearAnswer::Yes) {
        EXPECT_EQ(nodes.Count(), 0);
        EXPECT_EQ(grid->rowCount(), 0);
        EXPECT_TRUE(Find<QPlainTextEdit>(form, "Memo1")->toPlainText().isEmpty());
    } else if (answer == ClearAnswer::NotAsked) {
        ASSERT_EQ(nodes.Count(), 2);
        ASSERT_EQ(grid->rowCount(), 2);
        EXPECT_EQ(grid->index(0, 0).data().toString(), u"10.0.0.5"_s);
        EXPECT_EQ(grid->index(0, 2).data().toString(), QString());
        EXPECT_EQ(grid->index(1, 3).data().toString(), QString());
        EXPECT_EQ(grid->index(1, 1).data().toString(), u"00:0C:29:AA:BB:02"_s);
        EXPECT_EQ(grid->headerData(3, Qt::Horizontal).toString(), u"B47"_s);
        EXPECT_EQ(Find<QPlainTextEdit>(form, "Memo1")->toPlainText(), u"an event"_s);
    } else {
        EXPECT_EQ(nodes.Count(), 2);
        EXPECT_EQ(grid->index(0, 2).data().toString(), u"O"_s) << "a No keeps the marks too";
        EXPECT_EQ(Find<QPlainTextEdit>(form, "Memo1")->toPlainText(), u"an event"_s);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Presses, ClearButton,
    ::testing::Values(
        ClearPress{"Left", Qt::LeftButton, Qt::NoModifier, ClearAnswer::NotAsked},
        ClearPress{"ShiftLeftYes", Qt::LeftButton, Qt::ShiftModifier, ClearAnswer::Yes},
        ClearPress{"ShiftLeftNo", Qt::LeftButton, Qt::ShiftModifier, ClearAnswer::No},
        ClearPress{"ShiftLeftEscape", Qt::LeftButton, Qt::ShiftModifier, ClearAnswer::Escape},
        ClearPress{"ShiftCtrlLeft", Qt::LeftButton, Qt::ShiftModifier | Qt::ControlModifier,
                   ClearAnswer::NotAsked},
        ClearPress{"ShiftRight", Qt::RightButton, Qt::ShiftModifier, ClearAnswer::NotAsked},
        ClearPress{"AltLeft", Qt::LeftButton, Qt::AltModifier, ClearAnswer::NotAsked}),
    [](const auto &info) { return std::string(info.param.name); });

// Space on the focused Clear is the keyboard's press: Shift asks about
// removing every node, without Shift the marks go.
TEST_F(MainWindowTest, SpaceOnClearActsAsAPress)
{
    AddNodes();
    auto *clear = Find<QPushButton>(form, "Button3");
    QTest::keyClick(clear, Qt::Key_Space);
    EXPECT_EQ(nodes.Count(), 2);
    EXPECT_EQ(Grid()->model()->index(0, 2).data().toString(), QString());
    QTest::keyClick(clear, Qt::Key_Space, Qt::ShiftModifier);
    auto *question = form.findChild<QMessageBox *>(u"ClearAllQuestion"_s);
    ASSERT_NE(question, nullptr);
    question->button(QMessageBox::Yes)->click();
    EXPECT_EQ(nodes.Count(), 0);
}

// Clear's key letter presses it as a plain click does: the marks go, the
// nodes stay.
TEST_F(MainWindowTest, ClearsKeyLetterActsAsAPress)
{
    AddNodes();
    form.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
    QTest::keyClick(&form, Qt::Key_C, Qt::AltModifier);
    EXPECT_EQ(nodes.Count(), 2);
    EXPECT_EQ(Grid()->model()->index(0, 2).data().toString(), QString());
    EXPECT_EQ(form.findChild<QMessageBox *>(u"ClearAllQuestion"_s), nullptr);
}

// A scan that starts while the question is open keeps its nodes.
TEST_F(MainWindowTest, ClearAllAnsweredAfterAScanStartedRemovesNothing)
{
    AddNodes();
    QTest::mouseClick(Find<QPushButton>(form, "Button3"), Qt::LeftButton, Qt::ShiftModifier);
    auto *question = Find<QMessageBox>(form, "ClearAllQuestion");
    ASSERT_NE(question, nullptr);
    form.SetScanControlsEnabled(false);
    question->button(QMessageBox::Yes)->click();
    EXPECT_EQ(nodes.Count(), 2);
}

TEST_F(MainWindowTest, DisabledClearDoesNothing)
{
    AddNodes();
    form.SetScanControlsEnabled(false);
    QTest::mouseClick(Find<QPushButton>(form, "Button3"), Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(nodes.Count(), 2);
    EXPECT_EQ(Grid()->model()->index(0, 2).data().toString(), u"O"_s);
}

// The auto scroll moves the current row to the node that just changed; a
// right press still acts on the row under the pointer, whichever was current.
struct RightPress
{
    const char *name;
    int clickedBefore;  // -1: no left click first
    int autoScrolledTo; // -1: no auto scroll
    int pressed;
};

class RightPressOnRow : public MainWindowTest, public ::testing::WithParamInterface<RightPress>
{
};

TEST_P(RightPressOnRow, PicksThatRowForEveryMenuEntry)
{
    AddNodes();
    const RightPress &press = GetParam();
    QWidget *grid = Grid()->viewport();
    if (press.clickedBefore >= 0)
        QTest::mouseClick(grid, Qt::LeftButton, {}, RowCentre(press.clickedBefore));
    if (press.autoScrolledTo >= 0)
        form.ShowNode(press.autoScrolledTo);
    QSignalSpy commands(&form, &MainWindow::externalCommandRequested);
    QSignalSpy histories(&form, &MainWindow::nodeHistoryRequested);
    QSignalSpy comments(&form, &MainWindow::commentEditorRequested);
    QTest::mousePress(grid, Qt::RightButton, {}, RowCentre(press.pressed));
    EXPECT_TRUE(Popup()->isVisible());
    const QString ip = nodes.At(press.pressed).ip.ToText();
    EXPECT_EQ(PopupTitle()->text(), u"<< IP = "_s + ip + u" >>"_s);
    EXPECT_EQ(form.SelectedRowsText(false).section(u'\t', 0, 0), ip);
    // The auto scroll goes on while the menu is open.
    form.ShowNode(1 - press.pressed);
    for (const char *entry : {"N3", "N4", "N5"})
        Find<QAction>(form, entry)->trigger();
    for (QSignalSpy *spy : {&commands, &histories, &comments}) {
        ASSERT_EQ(spy->size(), 1);
        EXPECT_EQ(spy->at(0)[0].toInt(), press.pressed);
    }
    Popup()->close();
    QTest::mouseRelease(grid, Qt::RightButton, {}, RowCentre(press.pressed));
}

INSTANTIATE_TEST_SUITE_P(Rows, RightPressOnRow,
                         ::testing::Values(RightPress{"Fresh", -1, -1, 1},
                                           RightPress{"OtherRowClicked", 0, -1, 1},
                                           RightPress{"AutoScrolledAway", 0, 1, 0},
                                           RightPress{"AutoScrolledAwayNoClick", -1, 1, 0},
                                           RightPress{"SameRow", 1, 0, 1}),
                         [](const auto &info) { return std::string(info.param.name); });

// Copy rows still takes a selection of several rows picked with the left
// button; the menu's title names the row under the pointer.
TEST_F(MainWindowTest, RightPressInsideASelectionKeepsIt)
{
    AddNodes();
    QWidget *grid = Grid()->viewport();
    QTest::mouseClick(grid, Qt::LeftButton, {}, RowCentre(0));
    QTest::mouseClick(grid, Qt::LeftButton, Qt::ShiftModifier, RowCentre(1));
    QTest::mousePress(grid, Qt::RightButton, {}, RowCentre(0));
    EXPECT_EQ(form.SelectedNode(), 0);
    EXPECT_EQ(PopupTitle()->text(), u"<< IP = 10.0.0.5 >>"_s);
    EXPECT_EQ(form.SelectedRowsText(false).count(u'\n'), 2);
    Popup()->close();
    QTest::mouseRelease(grid, Qt::RightButton, {}, RowCentre(0));
}

TEST_F(MainWindowTest, MenuKeyOpensThePopupForTheCurrentRow)
{
    AddNodes();
    Grid()->setFocus();
    Grid()->setCurrentIndex(GridIndex(1));
    QContextMenuEvent menuKey(QContextMenuEvent::Keyboard, QPoint(), QPoint());
    QCoreApplication::sendEvent(Grid()->viewport(), &menuKey);
    EXPECT_TRUE(Popup()->isVisible());
    EXPECT_EQ(form.SelectedNode(), 1);
    EXPECT_EQ(PopupTitle()->text(), u"<< IP = 10.0.0.9 >>"_s);
    Popup()->close();
}

// An empty grid has no row to pick: the menus act on no node.
TEST_F(MainWindowTest, PopupTitleOfAnEmptyGrid)
{
    QSignalSpy commands(&form, &MainWindow::externalCommandRequested);
    QTest::mousePress(Grid()->viewport(), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(PopupTitle()->text(), u"<< IP = not selected >>"_s);
    EXPECT_EQ(form.SelectedNode(), -1);
    Find<QAction>(form, "N5")->trigger();
    ASSERT_EQ(commands.size(), 1);
    EXPECT_EQ(commands[0][0].toInt(), -1);
    Popup()->close();
    QTest::mouseRelease(Grid()->viewport(), Qt::RightButton, {}, QPoint(30, 30));
}

TEST_F(MainWindowTest, DoubleClickRunsTheCommandOnTheRow)
{
    AddNodes();
    QSignalSpy spy(&form, &MainWindow::externalCommandRequested);
    QTest::mouseDClick(Grid()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 1);
    EXPECT_EQ(form.SelectedNode(), 1);
}

// The auto scroll moves the current row; the menus stay on the user's row
// until the next press.
TEST_F(MainWindowTest, ShowNodeMovesTheCurrentRowOnly)
{
    AddNodes();
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, RowCentre(0));
    form.ShowNode(1);
    EXPECT_EQ(Grid()->currentIndex().row(), 1);
    EXPECT_EQ(form.SelectedNode(), 0);
}

TEST_F(MainWindowTest, ShowNodeScrollsTheRowIntoView)
{
    for (int host = 1; host <= 60; ++host)
        nodes.Add(IpAddress::FromIpv4(0x0a000100u + std::uint32_t(host)), MacAddress(), AllOn);
    form.ShowNode(59);
    QCoreApplication::processEvents();
    const QRect shown = Grid()->viewport()->rect();
    EXPECT_TRUE(shown.contains(RowCentre(59)));
}

TEST_F(MainWindowTest, LogoDoubleClickTogglesTheCaptureCounter)
{
    form.SetPanelText(7, u"WinPcap 1.10 "_s);
    auto *logo = Find<QLabel>(form, "Image1");
    QSignalSpy toggled(&form, &MainWindow::captureCounterToggled);
    QTest::mouseDClick(logo, Qt::LeftButton);
    EXPECT_TRUE(form.CaptureCounterShown());
    EXPECT_EQ(form.PanelText(7), u"WinPcap 1.10 "_s);
    QTest::mouseDClick(logo, Qt::LeftButton);
    EXPECT_FALSE(form.CaptureCounterShown());
    EXPECT_EQ(form.PanelText(7), QString());
    ASSERT_EQ(toggled.size(), 2);
    EXPECT_TRUE(toggled[0][0].toBool());
    EXPECT_FALSE(toggled[1][0].toBool());
}

TEST_F(MainWindowTest, ReplacedListForgetsThePickedNode)
{
    AddNodes();
    QTest::mouseClick(Grid()->viewport(), Qt::LeftButton, {}, RowCentre(1));
    ASSERT_EQ(form.SelectedNode(), 1);
    nodes.Replace({});
    EXPECT_EQ(form.SelectedNode(), -1);
    QSignalSpy commands(&form, &MainWindow::commentEditorRequested);
    Find<QAction>(form, "N7")->trigger();
    ASSERT_EQ(commands.size(), 1);
    EXPECT_EQ(commands[0][0].toInt(), -1);
}

TEST_F(MainWindowTest, UserColumnWidthsSurviveShowTestColumns)
{
    Grid()->horizontalHeader()->resizeSection(13, 150);
    form.ShowTestColumns(true, AllOn);
    EXPECT_EQ(Grid()->columnWidth(13), 150);
}

// Clearing or loading the nodes resets the model; the grid keeps its widths
// and hidden columns through it.
TEST_F(MainWindowTest, ColumnsSurviveClearingAndReplacingTheNodes)
{
    AddNodes();
    TestFlags brOnly{};
    brOnly[0] = true;
    form.ShowTestColumns(false, brOnly);
    Grid()->horizontalHeader()->resizeSection(12, 140);
    form.ClearAllNodes();
    nodes.Replace({Node{Ip(u"10.0.0.7"), MacAddress(), {}, QString(), QString()}});
    EXPECT_EQ(Grid()->columnWidth(12), 140);
    EXPECT_EQ(Grid()->columnWidth(2), Find<NodeGrid>(form, "SG")->ResultColumnWidth());
    EXPECT_TRUE(Grid()->isColumnHidden(3));
}

struct SettingsCase
{
    const char *name;
    void (*change)(MainWindow &);
};

class EditedReport : public MainWindowTest, public ::testing::WithParamInterface<SettingsCase>
{
};

// Settings written into the window are not reported back as the user's
// edits; the user's own clicks and typing are, once each.
TEST_P(EditedReport, ComesFromTheUserOnly)
{
    QSignalSpy edited(&form, &MainWindow::rangeOrOptionsEdited);
    Settings given;
    given.from = u"10.0.0.1"_s;
    given.to = u"10.0.0.9"_s;
    given.autoScroll = false;
    given.beep = true;
    form.ApplySettings(given);
    EXPECT_TRUE(edited.isEmpty());
    Settings read;
    form.ReadSettings(read);
    EXPECT_EQ(read.from, given.from);
    EXPECT_EQ(read.to, given.to);
    EXPECT_EQ(read.autoScroll, false);
    EXPECT_EQ(read.beep, true);
    EXPECT_FALSE(form.AutoScrollChecked());

    GetParam().change(form);
    EXPECT_EQ(edited.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, EditedReport,
    ::testing::Values(
        SettingsCase{"From",
                     [](MainWindow &w) { QTest::keyClick(Find<QLineEdit>(w, "Edit1"), '5'); }},
        SettingsCase{"To",
                     [](MainWindow &w) { QTest::keyClick(Find<QLineEdit>(w, "Edit2"), '5'); }},
        SettingsCase{"AutoScroll",
                     [](MainWindow &w) { Find<QCheckBox>(w, "scrollcheck")->click(); }},
        SettingsCase{"Beep", [](MainWindow &w) { Find<QCheckBox>(w, "BeepCheck")->click(); }}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace

// On a real X server (CTest runs it under xvfb-run) the popup grabs the
// pointer and keyboard while a scan's auto scroll keeps moving the current
// row: the entry picked with the keys still acts on the right-clicked row.
TEST_F(MainWindowTest, RightPressUnderXActsOnThatRowWhileAutoScrolling)
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        GTEST_SKIP() << "needs an X server; CTest runs it under xvfb-run";
    for (int host = 1; host <= 12; ++host)
        nodes.Add(IpAddress::FromIpv4(0x0a4d0000u + std::uint32_t(host)), MacAddress(), AllOn);
    int scrolledTo = 0;
    QTimer autoScroll;
    QObject::connect(&autoScroll, &QTimer::timeout, &form, [&] {
        scrolledTo = (scrolledTo + 1) % nodes.Count();
        form.ShowNode(scrolledTo);
    });
    autoScroll.start(5);
    QTest::qWait(50);
    QSignalSpy commands(&form, &MainWindow::externalCommandRequested);
    QTest::mousePress(Grid()->viewport(), Qt::RightButton, {}, RowCentre(2));
    ASSERT_TRUE(QTest::qWaitForWindowExposed(Popup()));
    QTest::qWait(50);
    // Node Viewer, Comment Editor, External Command.
    for (int down = 0; down < 3; ++down)
        QTest::keyClick(Popup(), Qt::Key_Down);
    QTest::keyClick(Popup(), Qt::Key_Return);
    autoScroll.stop();
    ASSERT_EQ(commands.size(), 1);
    EXPECT_EQ(commands[0][0].toInt(), 2);
    EXPECT_EQ(PopupTitle()->text(), u"<< IP = 10.77.0.3 >>"_s);
}
