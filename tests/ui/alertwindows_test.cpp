#include "ui/alertmessagewindow.h"
#include "ui/eventwindowsadapter.h"
#include "ui/mainwindow.h"
#include "ui/promiscuousalertwindow.h"

#include "report/eventlog.h"
#include "report/syslogsender.h"

#include "support/find.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>
#include <QTextEdit>
#include <QThread>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// Runs the event loop until the adapter's waiting lines are in the pane:
// while lines keep coming it takes them at intervals.
void SettlePane(const EventWindowsAdapter &adapter)
{
    QCoreApplication::processEvents();
    for (int i = 0; i < 100 && adapter.LinesWaiting(); ++i) {
        QThread::msleep(5);
        QCoreApplication::processEvents();
    }
}

template <typename T> T *Control(QWidget &window, const char *name)
{
    T *control = window.findChild<T *>(QString::fromLatin1(name));
    EXPECT_NE(control, nullptr) << name;
    return control;
}

QStringList Lines(const QPlainTextEdit *memo)
{
    return memo->document()->isEmpty() ? QStringList() : memo->toPlainText().split(u'\n');
}

bool StaysOnTopWithoutCloseButton(const QWidget &window)
{
    const Qt::WindowFlags flags = window.windowFlags();
    return flags.testFlag(Qt::WindowStaysOnTopHint) && flags.testFlag(Qt::CustomizeWindowHint) &&
           !flags.testFlag(Qt::WindowCloseButtonHint);
}

TEST(AlertMessageWindow, LayoutAndHiddenAtStart)
{
    AlertMessageWindow form;
    EXPECT_EQ(form.windowTitle(), u"Alert"_s);
    EXPECT_TRUE(StaysOnTopWithoutCloseButton(form));
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Control<QPushButton>(form, "Button1")->text(), u"OK"_s);
    EXPECT_TRUE(Control<QTextEdit>(form, "Memo1")->isReadOnly());
}

TEST(AlertMessageWindow, MessageReplacesTheLastAndCentresEveryLine)
{
    AlertMessageWindow form;
    form.ShowAlertMessage(u"Cannot open log file."_s);
    form.ShowAlertMessage(
        u"Back up ERROR!!!\r\nCannot rename log file\r\nCurrent file will be used as is"_s);
    EXPECT_TRUE(form.isVisible());
    QTextDocument *text = Control<QTextEdit>(form, "Memo1")->document();
    ASSERT_EQ(text->blockCount(), 3);
    EXPECT_EQ(text->toPlainText(),
              u"Back up ERROR!!!\nCannot rename log file\nCurrent file will be used as is"_s);
    for (QTextBlock block = text->begin(); block.isValid(); block = block.next())
        EXPECT_EQ(block.blockFormat().alignment() & Qt::AlignHorizontal_Mask, Qt::AlignHCenter)
            << block.text().toStdString();

    QTest::mouseClick(Control<QPushButton>(form, "Button1"), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(text->toPlainText().startsWith(u"Back up ERROR!!!"_s));
}

Node NodeAt(QStringView ip, QStringView mac)
{
    Node node;
    node.ip = *IpAddress::FromText(ip);
    node.mac = *MacAddress::FromText(mac);
    return node;
}

class TForm10Test : public ::testing::Test
{
  protected:
    const Node first = NodeAt(u"192.168.0.5", u"00:11:22:33:44:55");
    const Node second = NodeAt(u"192.168.0.23", u"00:11:22:33:44:66");
    FixedClock clock{QDateTime(QDate(2026, 12, 6), QTime(22, 15, 7))};
    PromiscuousAlertWindow form{clock};
};

TEST_F(TForm10Test, Layout)
{
    EXPECT_EQ(form.windowTitle(), u"Alert"_s);
    EXPECT_TRUE(StaysOnTopWithoutCloseButton(form));
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Control<QLabel>(form, "Label1")->text(), u"Detect Promiscuous Node"_s);
    EXPECT_NE(Control<QLabel>(form, "Image1"), nullptr);
    EXPECT_TRUE(Control<QPlainTextEdit>(form, "Memo1")->isReadOnly());
    EXPECT_EQ(Control<QPushButton>(form, "Button1")->text(), u"&Clear"_s);
    EXPECT_EQ(Control<QPushButton>(form, "Button2")->text(), u"Close"_s);
}

TEST_F(TForm10Test, AlertsAppendInOrderAndShowTheWindow)
{
    form.ShowPromiscuousAlert(first, true);
    clock.Advance(1000);
    form.ShowPromiscuousAlert(second, false);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Lines(Control<QPlainTextEdit>(form, "Memo1")),
              (QStringList{u"06/Dec/2026 22:15:07 Promiscuous START 192.168.0.5"_s,
                           u"06/Dec/2026 22:15:08 Promiscuous STOP 192.168.0.23"_s}));
}

TEST_F(TForm10Test, CloseKeepsLinesAndTheNextAlertShowsAgain)
{
    form.ShowPromiscuousAlert(first, true);
    QTest::mouseClick(Control<QPushButton>(form, "Button2"), Qt::LeftButton);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Lines(Control<QPlainTextEdit>(form, "Memo1")).size(), 1);
    form.ShowIfHoldsLines();
    EXPECT_TRUE(form.isVisible());
    QTest::mouseClick(Control<QPushButton>(form, "Button2"), Qt::LeftButton);
    form.ShowPromiscuousAlert(second, true);
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(Lines(Control<QPlainTextEdit>(form, "Memo1")).size(), 2);
}

TEST_F(TForm10Test, ViewAlertNeedsALineOrAClearToUndo)
{
    form.ShowIfHoldsLines();
    EXPECT_FALSE(form.isVisible());
    form.ShowPromiscuousAlert(first, false);
    QTest::mouseClick(Control<QPushButton>(form, "Button1"), Qt::LeftButton);
    EXPECT_TRUE(form.isVisible()); // Clear leaves the window open
    EXPECT_TRUE(Lines(Control<QPlainTextEdit>(form, "Memo1")).isEmpty());
    QTest::mouseClick(Control<QPushButton>(form, "Button2"), Qt::LeftButton);
    // The Clear can still be undone: View, Alert shows the window for that.
    form.ShowIfHoldsLines();
    EXPECT_TRUE(form.isVisible());
}

// How the lines stand after a series of Clear, Undo and alerts.
struct ClearStep
{
    const char *name;
    const char *steps; // a: alert, c: Clear, u: Undo Clear (button), z: Ctrl+Z
    int linesLeft;
    bool undoOffered;
};

class ClearAndUndo : public TForm10Test, public ::testing::WithParamInterface<ClearStep>
{
};

TEST_P(ClearAndUndo, BringsTheLinesBackUntilTheNextAlert)
{
    auto *memo = Control<QPlainTextEdit>(form, "Memo1");
    auto *undo = Control<QPushButton>(form, "UndoClear");
    for (const char *step = GetParam().steps; *step; ++step) {
        switch (*step) {
        case 'a':
            form.ShowPromiscuousAlert(first, true);
            clock.Advance(1000);
            break;
        case 'c':
            QTest::mouseClick(Control<QPushButton>(form, "Button1"), Qt::LeftButton);
            break;
        case 'u':
            QTest::mouseClick(undo, Qt::LeftButton);
            break;
        case 'z':
            // The user has gone to the window to undo.
            form.activateWindow();
            ASSERT_TRUE(QTest::qWaitForWindowActive(&form));
            QTest::keyClick(&form, Qt::Key_Z, Qt::ControlModifier);
            break;
        }
    }
    const QStringList lines = Lines(memo);
    ASSERT_EQ(lines.size(), GetParam().linesLeft);
    // The lines keep their order: the oldest first.
    for (qsizetype i = 1; i < lines.size(); ++i)
        EXPECT_LT(lines[i - 1], lines[i]);
    EXPECT_EQ(undo->isEnabled(), GetParam().undoOffered);
}

INSTANTIATE_TEST_SUITE_P(Steps, ClearAndUndo,
                         ::testing::Values(ClearStep{"Clear", "aac", 0, true},
                                           ClearStep{"ClearUndo", "aacu", 2, false},
                                           ClearStep{"ClearCtrlZ", "aacz", 2, false},
                                           ClearStep{"UndoTwice", "aacuu", 2, false},
                                           ClearStep{"AlertDropsUndo", "aaca", 1, false},
                                           ClearStep{"UndoAfterAlert", "aacau", 1, false},
                                           ClearStep{"ClearEmptyKeepsUndo", "aacc", 0, true},
                                           ClearStep{"ClearAgainAfterUndo", "aacuac", 0, true},
                                           ClearStep{"UndoSecondClear", "aacuacu", 3, false}),
                         [](const auto &info) { return std::string(info.param.name); });

// On a real X server (CTest runs it under xvfb-run): an alert that pops up
// while the user types in another window leaves the keys there, so an Enter
// meant for that window neither closes nor clears the alert.
TEST_F(TForm10Test, AlertUnderXLeavesTheKeysInTheWindowTypedIn)
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        GTEST_SKIP() << "needs an X server; CTest runs it under xvfb-run";
    QWidget typing;
    auto *field = new QLineEdit(&typing);
    QSignalSpy entered(field, &QLineEdit::returnPressed);
    typing.show();
    typing.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&typing));
    field->setFocus();
    AlertMessageWindow message;
    message.ShowAlertMessage(u"Back up ERROR!!!"_s);
    form.ShowPromiscuousAlert(first, true);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    QTest::qWait(200);
    EXPECT_EQ(QApplication::activeWindow(), &typing);
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_Return);
    EXPECT_EQ(entered.size(), 1);
    EXPECT_TRUE(form.isVisible());
    EXPECT_TRUE(message.isVisible());
    EXPECT_EQ(Lines(Control<QPlainTextEdit>(form, "Memo1")).size(), 1);
}

// Enter in the window only puts it away: the lines stay.
TEST_F(TForm10Test, EnterClosesWithoutClearing)
{
    form.ShowPromiscuousAlert(first, true);
    for (const char *name : {"Button1", "UndoClear"})
        EXPECT_FALSE(Control<QPushButton>(form, name)->autoDefault()) << name;
    EXPECT_TRUE(Control<QPushButton>(form, "Button2")->isDefault());
    QTest::keyClick(&form, Qt::Key_Return);
    EXPECT_FALSE(form.isVisible());
    EXPECT_EQ(Lines(Control<QPlainTextEdit>(form, "Memo1")).size(), 1);
}

struct AlertEvent
{
    const char *name;
    void (ScanEvents::*signal)(const Node &, int);
    // The line it adds, or nullptr for none.
    const char16_t *line;
};

class AlertFromEvent : public TForm10Test, public ::testing::WithParamInterface<AlertEvent>
{
};

// Only a promiscuous start or stop is an alert; a start that confirmation
// found to be a filter match is written to the log only.
TEST_P(AlertFromEvent, AddsItsLineOnly)
{
    ScanEvents events;
    form.Listen(events);
    QSignalSpy shown(&form, &PromiscuousAlertWindow::alertShown);
    (events.*GetParam().signal)(second, 5);
    const QStringList lines = Lines(Control<QPlainTextEdit>(form, "Memo1"));
    if (!GetParam().line) {
        EXPECT_TRUE(lines.isEmpty());
        EXPECT_FALSE(form.isVisible());
        EXPECT_EQ(shown.size(), 0);
        return;
    }
    EXPECT_EQ(lines, QStringList{QString::fromUtf16(GetParam().line)});
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(shown.size(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Signals, AlertFromEvent,
    ::testing::Values(AlertEvent{"Started", &ScanEvents::promiscuousStarted,
                                 u"06/Dec/2026 22:15:07 Promiscuous START 192.168.0.23"},
                      AlertEvent{"Stopped", &ScanEvents::promiscuousStopped,
                                 u"06/Dec/2026 22:15:07 Promiscuous STOP 192.168.0.23"},
                      AlertEvent{"ResponseLost", &ScanEvents::responseLost, nullptr},
                      AlertEvent{"Suspect", &ScanEvents::suspectFound, nullptr}),
    [](const auto &info) { return std::string(info.param.name); });

class AdapterTest : public ::testing::Test
{
  protected:
    QPlainTextEdit pane;
    AlertMessageWindow alert;
    EventWindowsAdapter windows{&pane, &alert, nullptr};

    // The pane once the event loop has had its turn.
    QStringList PaneLines()
    {
        SettlePane(windows);
        return Lines(&pane);
    }
};

TEST_F(AdapterTest, BannerOnAnEmptyPaneGivesAnEmptyLineFirst)
{
    windows.BoundPane(100);
    windows.AppendPaneLine(u"\r\n### START Keelwatch\t001F"_s);
    windows.AppendPaneLine(u"#Cyclic_Count\t1"_s);
    EXPECT_EQ(PaneLines(),
              (QStringList{QString(), u"### START Keelwatch\t001F"_s, u"#Cyclic_Count\t1"_s}));
}

TEST_F(AdapterTest, BoundDropsTheOldestLines)
{
    for (int i = 1; i <= 150; ++i) {
        windows.BoundPane(100);
        windows.AppendPaneLine(QString::number(i));
    }
    QStringList lines = PaneLines();
    ASSERT_EQ(lines.size(), 101);
    EXPECT_EQ(lines.first(), u"50"_s);
    windows.BoundPane(100);
    windows.AppendPaneLine(u"\r\n### START"_s);
    lines = PaneLines();
    ASSERT_EQ(lines.size(), 102);
    EXPECT_EQ(lines.first(), u"51"_s);
    EXPECT_EQ(lines[100], QString());
    windows.BoundPane(0);
    EXPECT_TRUE(PaneLines().isEmpty());
}

// Lines reach the pane in batches; whatever the batch, the pane ends up as
// if each bound and line had reached it at once.
struct PaneStep
{
    int bound; // -1: no bound before the line
    QString line;
};

class PaneBatches : public testing::TestWithParam<std::vector<PaneStep>>
{
};

TEST_P(PaneBatches, EndAsLineByLine)
{
    QPlainTextEdit byLine;
    QPlainTextEdit batched;
    AlertMessageWindow alert;
    EventWindowsAdapter each{&byLine, &alert, nullptr};
    EventWindowsAdapter once{&batched, &alert, nullptr};
    for (int round = 0; round < 2; ++round) {
        for (const PaneStep &step : GetParam()) {
            for (EventWindowsAdapter *w : {&each, &once}) {
                if (step.bound >= 0)
                    w->BoundPane(step.bound);
                if (!step.line.isNull())
                    w->AppendPaneLine(step.line);
            }
            each.FlushPane();
        }
        SettlePane(once);
        EXPECT_EQ(batched.toPlainText(), byLine.toPlainText()) << round;
        EXPECT_EQ(batched.document()->blockCount(), byLine.document()->blockCount());
    }
}

std::vector<PaneStep> Steps(int count, int bound, int bannerEvery)
{
    std::vector<PaneStep> steps;
    for (int i = 1; i <= count; ++i)
        steps.push_back(
            {bound, i % bannerEvery == 0 ? u"\r\n### START %1"_s.arg(i) : u"line %1"_s.arg(i)});
    return steps;
}

INSTANTIATE_TEST_SUITE_P(EventPane, PaneBatches,
                         testing::Values(Steps(30, 100, 7), Steps(250, 100, 1000),
                                         Steps(250, 100, 3), Steps(40, 5, 4),
                                         std::vector<PaneStep>{{100, u"a"_s},
                                                               {100, u"b"_s},
                                                               {0, QString()},
                                                               {1, u"c\r\nd"_s},
                                                               {-1, u"e"_s}}));

// The pane runs for months: the lines it drops must not live on as undo
// history of a pane nobody can edit.
TEST_F(AdapterTest, PaneKeepsNoUndoHistory)
{
    for (int i = 1; i <= 300; ++i) {
        windows.BoundPane(100);
        windows.AppendPaneLine(QString::number(i));
        if (i % 7 == 0)
            QCoreApplication::processEvents();
    }
    EXPECT_EQ(PaneLines().size(), 101);
    EXPECT_EQ(pane.document()->availableUndoSteps(), 0);
}

// "All clear" empties the pane; lines logged before it stay gone.
TEST_F(AdapterTest, ClearDropsTheLinesStillWaiting)
{
    windows.BoundPane(100);
    windows.AppendPaneLine(u"before"_s);
    pane.clear();
    windows.BoundPane(100);
    windows.AppendPaneLine(u"after"_s);
    EXPECT_EQ(PaneLines(), QStringList{u"after"_s});
}

// The main window, pane and all, closes before the adapter at exit.
TEST(EventPane, PaneClosedBeforeTheAdapterIsLeftAlone)
{
    AlertMessageWindow alert;
    auto pane = std::make_unique<QPlainTextEdit>();
    EventWindowsAdapter windows{pane.get(), &alert, nullptr};
    windows.AppendPaneLine(u"late"_s);
    pane.reset();
    windows.BoundPane(100);
    windows.AppendPaneLine(u"later"_s);
    QCoreApplication::processEvents();
}

TEST(EventPane, WaitingLinesReachThePaneWhenTheAdapterGoes)
{
    QPlainTextEdit pane;
    AlertMessageWindow alert;
    {
        EventWindowsAdapter windows{&pane, &alert, nullptr};
        windows.AppendPaneLine(u"last words"_s);
    }
    EXPECT_EQ(pane.toPlainText(), u"last words"_s);
}

// The main window's pane follows the newest event unless the user scrolled
// back to read; the horizontal scroll bar that the first long line brings
// must not end that.
TEST(EventPane, FollowsTheNewestLineWhileAtTheBottom)
{
    NodeList nodes;
    MainWindow main(nodes);
    main.show();
    AlertMessageWindow alert;
    const std::unique_ptr<EventWindowsAdapter> created = main.CreateEventWindows(&alert);
    EventWindowsAdapter &windows = *created;
    QScrollBar *bar = Find<QPlainTextEdit>(main, "Memo1")->verticalScrollBar();
    const auto add = [&](const QString &line) {
        windows.BoundPane(100);
        windows.AppendPaneLine(line);
        SettlePane(windows);
    };
    for (int i = 1; i <= 150; ++i)
        add(i < 30 ? QString::number(i)
                   : u"07/Dec/2026 21:16:44\t10.77.0.%1\t[02:77:00:00:00:02]\t"
                     "M1\tON\tethernet"_s.arg(i));
    EXPECT_GT(bar->maximum(), 0);
    EXPECT_EQ(bar->value(), bar->maximum());

    bar->setValue(10);
    add(u"151"_s);
    EXPECT_EQ(bar->value(), 10);
}

TEST_F(AdapterTest, EventLogLinesInTheRealPane)
{
    FixedSettings settings;
    settings.values.from = u"10.0.0.1"_s;
    settings.values.to = u"10.0.0.9"_s;
    const Mark illegal = Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2);
    Node node = NodeAt(u"10.0.0.5", u"00:11:22:33:44:55");
    node.MarkOf(3) = illegal;
    FixedClock clock(QDateTime(QDate(2004, 1, 5), QTime(14, 0)));
    SyslogSender syslog(settings, windows, 9, 0);
    EventLog log(settings, clock, windows, syslog);
    ScanEvents events;
    log.Listen(events);
    Q_EMIT events.scanStarted();
    Q_EMIT events.testAnswered(node, 3, illegal);
    SettlePane(windows);
    EXPECT_EQ(pane.toPlainText(),
              u"\n### START Keelwatch\t001F\t05/Jan/2004 14:00:00\t10.0.0.1-10.0.0.9 ###\n"
              "05/Jan/2004 14:00:00\t10.0.0.5\t[00:11:22:33:44:55]\tB47\tON\tethernet"_s);
}

} // namespace
