#include "find.h"
#include "ui/mainwindow.h"

#include <QCheckBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTableView>
#include <QTest>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const NodeTable::Tests AllOn{true, true, true, true, true, true, true, true, true, true};

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
        NodeTable &nodes = form.Nodes();
        nodes.MergeMark(nodes.AddNodeRow(u"10.0.0.5"_s, u"00:0C:29:AA:BB:01"_s, AllOn), 2, u"O"_s);
        nodes.MergeMark(nodes.AddNodeRow(u"10.0.0.9"_s, u"00:0C:29:AA:BB:02"_s, AllOn), 3, u"X"_s);
        form.Memo1->appendPlainText(u"an event"_s);
    }

    QPoint RowCentre(int row) const
    {
        return form.SG->visualRect(form.Nodes().index(row - 1, 0)).center();
    }

    MainWindow form;
};

QStringList Captions(const QList<QAction *> &actions)
{
    QStringList captions;
    for (const QAction *action : actions)
        captions.append(action->isSeparator() ? u"-"_s : action->text());
    return captions;
}

TEST_F(MainWindowTest, ControlsHaveTheirCaptionsAndDefaults)
{
    EXPECT_EQ(form.windowTitle(), u"Keelwatch Ver 3.0"_s);
    EXPECT_EQ(Find<QPushButton>(form, "Button1")->text(), u"Start"_s);
    EXPECT_EQ(Find<QPushButton>(form, "Button2")->text(), u"Stop"_s);
    auto *clear = Find<QPushButton>(form, "Button3");
    EXPECT_EQ(clear->text(), u"Clear"_s);
    EXPECT_EQ(clear->toolTip(), u"All clear : [shift] & Click"_s);
    EXPECT_TRUE(Find<QCheckBox>(form, "scrollcheck")->isChecked());
    EXPECT_EQ(Find<QCheckBox>(form, "scrollcheck")->text(), u"Auto Scroll"_s);
    EXPECT_FALSE(Find<QCheckBox>(form, "BeepCheck")->isChecked());
    EXPECT_EQ(Find<QLabel>(form, "Image1")->pixmap().size(), QSize(173, 49));
    EXPECT_EQ(Find<QLineEdit>(form, "Edit1")->width(), 85);
    EXPECT_EQ(Find<QLineEdit>(form, "Edit2")->width(), 85);
    EXPECT_TRUE(Find<QPlainTextEdit>(form, "Memo1")->isReadOnly());
    EXPECT_GE(form.Memo1->height(), 80);
    EXPECT_EQ(form.SG->model()->rowCount(), 1); // the trailing empty row
    EXPECT_EQ(form.SG->model()->headerData(13, Qt::Horizontal).toString(), u"Vender Code"_s);
    EXPECT_EQ(form.SelectedRow, 0);
    EXPECT_FALSE(form.CaptureCounterShown);
    EXPECT_EQ(form.PanelText(0), u"READY"_s);
}

TEST_F(MainWindowTest, GridShowsTheTablesWidthsAndHidesColumnsOfMinusOne)
{
    EXPECT_EQ(form.SG->columnWidth(0), 100);
    EXPECT_EQ(form.SG->columnWidth(1), 120);
    EXPECT_EQ(form.SG->columnWidth(12), 80);
    EXPECT_EQ(form.SG->columnWidth(13), 400);
    NodeTable::Tests brOnly{};
    brOnly[0] = true;
    form.Nodes().ShowTestColumns(false, brOnly);
    EXPECT_FALSE(form.SG->isColumnHidden(2));
    EXPECT_EQ(form.SG->columnWidth(2), 24);
    for (int column = 3; column <= 11; ++column)
        EXPECT_TRUE(form.SG->isColumnHidden(column)) << column;
    form.Nodes().ShowTestColumns(true, brOnly);
    for (int column = 2; column <= 11; ++column)
        EXPECT_EQ(form.SG->columnWidth(column), 24) << column;
}

TEST_F(MainWindowTest, StatusBarHasEightPanels)
{
    const int widths[] = {50, 120, 100, 40, 40, 60, 100, 50};
    for (int i = 0; i < MainWindow::PanelCount; ++i) {
        auto *panel = Find<QLabel>(*form.SB, ("SBPanel" + std::to_string(i)).c_str());
        ASSERT_NE(panel, nullptr);
        EXPECT_EQ(panel->width(), widths[i]) << i;
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
              (QStringList{u"Save node list"_s, u"Load node list"_s, u"-"_s, u"Exit"_s}));
    EXPECT_EQ(Captions(top[2]->menu()->actions()),
              (QStringList{u"Node viewer"_s, u"Comment Editor"_s, u"Alert"_s}));
    const QList<QAction *> help = top[3]->menu()->actions();
    EXPECT_EQ(Captions(help), (QStringList{u"Result Marks"_s, u"About"_s}));
    EXPECT_EQ(Captions(help[0]->menu()->actions()),
              (QStringList{u"X :Illegal response(Ethernet)"_s, u"x :Illegal response(IEEE 802.3)"_s,
                           u"O :Correct response(Ethernet)"_s, u"o :Correct response(IEEE 802.3)"_s,
                           u"+ :Last time response"_s, u"[ ] :Black"_s, u"- :Scan OFF"_s}));
    EXPECT_EQ(Captions(form.PopupMenu1->actions()),
              (QStringList{u"<< IP = not selected >>"_s, u"-"_s, u"Node Viewer"_s,
                           u"Commnet Editor"_s, u"External Command"_s}));
    EXPECT_EQ(form.N4, Find<QAction>(form, "N4"));
    EXPECT_EQ(form.savedata1->text(), u"Save node list"_s);
}

TEST_F(MainWindowTest, MenuEntriesAskForTheirWindowsAndExitCloses)
{
    QSignalSpy setup(&form, &MainWindow::setupRequested);
    QSignalSpy about(&form, &MainWindow::aboutRequested);
    QSignalSpy closing(&form, &MainWindow::closing);
    form.Setup1->trigger();
    form.About1->trigger();
    EXPECT_EQ(setup.size(), 1);
    EXPECT_EQ(about.size(), 1);
    form.Exit1->trigger();
    EXPECT_EQ(closing.size(), 1);
    EXPECT_FALSE(form.isVisible());
}

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
    MainWindow form(GetParam().arguments);
    const bool pending = GetParam().pending;
    EXPECT_EQ(form.AutoStartPending(), pending);
    EXPECT_EQ(form.PanelText(0), pending ? u"AUTO"_s : u"READY"_s);
    for (QWidget *control :
         {static_cast<QWidget *>(form.Edit1), static_cast<QWidget *>(form.Edit2),
          static_cast<QWidget *>(form.Button1), static_cast<QWidget *>(form.Button3)})
        EXPECT_EQ(control->isEnabled(), !pending) << control->objectName().toStdString();
    EXPECT_EQ(form.savedata1->isEnabled(), !pending);
    EXPECT_EQ(form.loaddata1->isEnabled(), !pending);
    EXPECT_TRUE(form.Button2->isEnabled());
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
    for (QLineEdit *field : {form.Edit1, form.Edit2}) {
        form.activateWindow();
        field->setFocus();
        ASSERT_TRUE(QTest::qWaitFor([&] { return field->hasFocus(); }));
        QTest::keyClicks(field, QString::fromUtf16(GetParam().typed));
        form.Button1->setFocus();
        EXPECT_EQ(field->text(), QString::fromUtf16(GetParam().shown));
    }
}

INSTANTIATE_TEST_SUITE_P(Texts, RangeField,
                         ::testing::Values(RangeExit{u"10.0.0.256", u""},
                                           RangeExit{u" 10.0.0.1 ", u"10.0.0.1"},
                                           RangeExit{u"010.000.000.001", u"010.000.000.001"},
                                           RangeExit{u"10..0.1", u""}));

struct ClearPress
{
    const char *name;
    Qt::MouseButton button;
    Qt::KeyboardModifiers modifiers;
    bool removesNodes;
};

class ClearButton : public MainWindowTest, public ::testing::WithParamInterface<ClearPress>
{
};

TEST_P(ClearButton, ShiftLeftClickRemovesNodesAnyOtherPressClearsMarks)
{
    AddNodes();
    form.Nodes().SetCell(0, 3, u"mangled"_s);
    QTest::mouseClick(form.Button3, GetParam().button, GetParam().modifiers);
    NodeTable &nodes = form.Nodes();
    if (GetParam().removesNodes) {
        EXPECT_EQ(nodes.RowCount(), 2);
        EXPECT_TRUE(form.Memo1->toPlainText().isEmpty());
    } else {
        ASSERT_EQ(nodes.RowCount(), 4);
        EXPECT_EQ(nodes.Cell(1, 0), u"10.0.0.5"_s);
        EXPECT_EQ(nodes.Cell(1, 2), QString());
        EXPECT_EQ(nodes.Cell(2, 3), QString());
        EXPECT_EQ(nodes.Cell(2, 1), u"00:0C:29:AA:BB:02"_s);
        EXPECT_EQ(nodes.Cell(0, 3), u"B47"_s); // headers rewritten
        EXPECT_EQ(form.Memo1->toPlainText(), u"an event"_s);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Presses, ClearButton,
    ::testing::Values(ClearPress{"Left", Qt::LeftButton, Qt::NoModifier, false},
                      ClearPress{"ShiftLeft", Qt::LeftButton, Qt::ShiftModifier, true},
                      ClearPress{"ShiftCtrlLeft", Qt::LeftButton,
                                 Qt::ShiftModifier | Qt::ControlModifier, false},
                      ClearPress{"ShiftRight", Qt::RightButton, Qt::ShiftModifier, false},
                      ClearPress{"AltLeft", Qt::LeftButton, Qt::AltModifier, false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST_F(MainWindowTest, DisabledClearDoesNothing)
{
    AddNodes();
    form.SetScanControlsEnabled(false);
    QTest::mouseClick(form.Button3, Qt::LeftButton, Qt::ShiftModifier);
    EXPECT_EQ(form.Nodes().RowCount(), 4);
    EXPECT_EQ(form.Nodes().Cell(1, 2), u"O"_s);
}

TEST_F(MainWindowTest, PopupTitleNamesTheNodeOfTheRowSelectedBefore)
{
    AddNodes();
    QWidget *grid = form.SG->viewport();
    QTest::mouseClick(grid, Qt::LeftButton, {}, RowCentre(1));
    EXPECT_EQ(form.SelectedRow, 1);
    // A right press on another row keeps the selection where it was.
    QTest::mousePress(grid, Qt::RightButton, {}, RowCentre(2));
    EXPECT_EQ(form.SelectedRow, 1);
    EXPECT_EQ(form.PopupTitle->text(), u"<< IP = 10.0.0.5 >>"_s);
    EXPECT_TRUE(form.PopupMenu1->isVisible());
    form.PopupMenu1->close();
    QTest::mouseRelease(grid, Qt::RightButton, {}, RowCentre(2));
    QTest::mouseClick(grid, Qt::LeftButton, {}, RowCentre(2));
    EXPECT_EQ(form.SelectedRow, 2);
    EXPECT_EQ(form.PopupTitle->text(), u"<< IP = 10.0.0.9 >>"_s);
    EXPECT_FALSE(form.PopupMenu1->isVisible());
}

TEST_F(MainWindowTest, PopupTitleOfAnEmptyTable)
{
    QTest::mousePress(form.SG->viewport(), Qt::RightButton, {}, QPoint(30, 30));
    EXPECT_EQ(form.PopupTitle->text(), u"<< IP = not selected >>"_s);
    EXPECT_EQ(form.SelectedRow, 1);
    form.PopupMenu1->close();
    QTest::mouseRelease(form.SG->viewport(), Qt::RightButton, {}, QPoint(30, 30));
}

TEST_F(MainWindowTest, DoubleClickReportsTheSelectedRow)
{
    AddNodes();
    QSignalSpy spy(&form, &MainWindow::gridDoubleClicked);
    QTest::mouseDClick(form.SG->viewport(), Qt::LeftButton, {}, RowCentre(2));
    ASSERT_EQ(spy.size(), 1);
    EXPECT_EQ(spy[0][0].toInt(), 2);
    EXPECT_EQ(form.SelectedRow, 2);
}

TEST_F(MainWindowTest, LogoDoubleClickTogglesTheCaptureCounter)
{
    form.SetPanelText(7, u"WinPcap 1.10 "_s);
    QTest::mouseDClick(form.Image1, Qt::LeftButton);
    EXPECT_TRUE(form.CaptureCounterShown);
    EXPECT_EQ(form.PanelText(7), u"WinPcap 1.10 "_s);
    QTest::mouseDClick(form.Image1, Qt::LeftButton);
    EXPECT_FALSE(form.CaptureCounterShown);
    EXPECT_EQ(form.PanelText(7), QString());
}

TEST_F(MainWindowTest, UserColumnWidthsSurviveShowTestColumns)
{
    form.SG->horizontalHeader()->resizeSection(13, 150);
    form.Nodes().ShowTestColumns(true, AllOn);
    EXPECT_EQ(form.SG->columnWidth(13), 150);
    EXPECT_EQ(form.Nodes().ColumnWidth(13), 150);
}

} // namespace
