#include "app/commandline.h"
#include "app/startup.h"
#include "config/settingsstore.h"
#include "report/eventlog.h"
#include "report/tinydisk.h"
#include "support/confighome.h"
#include "support/eventwait.h"
#include "support/find.h"
#include "support/memorydriver.h"
#include "support/notificationbus.h"
#include "ui/aboutbox.h"
#include "ui/alertmessagewindow.h"
#include "ui/alerttray.h"
#include "ui/commenteditor.h"
#include "ui/mainwindow.h"
#include "ui/nodeviewerwindow.h"
#include "ui/promiscuousalertwindow.h"
#include "ui/setupdialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QLineEdit>
#include <QMenu>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTextEdit>
#include <QThread>
#include <QTimer>
#include <gtest/gtest.h>

#include <csignal>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

[[maybe_unused]] ConfigHome *const configHome = RegisterConfigHome();
SessionBusEnvironment *const sessionBus = RegisterSessionBus();

// A left click on a node's row of the unsorted grid: the node the menus act on.
void ClickNode(MainWindow &window, int node)
{
    QTableView *grid = Find<QTableView>(window, "SG");
    QTest::mouseClick(grid->viewport(), Qt::LeftButton, {},
                      grid->visualRect(grid->model()->index(node, 0)).center());
    ASSERT_EQ(window.SelectedNode(), node);
}

Node LabNode(QStringView ip, QStringView mac)
{
    Node node;
    node.ip = *IpAddress::FromText(ip);
    node.mac = *MacAddress::FromText(mac);
    return node;
}

class StartupOrder : public ::testing::Test
{
  protected:
    void SetUp() override { OpenSettingsStore()->clear(); }
};

TEST_F(StartupOrder, SetupDialogRestoresTheMainWindowsFourControls)
{
    {
        auto store = OpenSettingsStore();
        for (const StoredSetting &v : StoredSettings)
            store->setValue(QString::fromUtf16(v.key),
                            v.kind == StoredKind::Flag ? QVariant(0) : QVariant(u"1"_s));
        store->setValue(u"TIPF"_s, u"10.77.0.1"_s);
        store->setValue(u"TIPT"_s, u"10.77.0.20"_s);
        store->setValue(u"Command"_s, u""_s);
    }
    Startup startup({});
    EXPECT_EQ(Find<QLineEdit>(startup.Main(), "Edit1")->text(), u"10.77.0.1"_s);
    EXPECT_EQ(Find<QLineEdit>(startup.Main(), "Edit2")->text(), u"10.77.0.20"_s);
    EXPECT_FALSE(Find<QCheckBox>(startup.Main(), "scrollcheck")->isChecked());
    EXPECT_FALSE(Find<QCheckBox>(startup.Main(), "BeepCheck")->isChecked());
    EXPECT_EQ(startup.Configuration().Read().command, u"x-terminal-emulator -e ping $IP"_s);
    EXPECT_FALSE(startup.Setup().isVisible());
    EXPECT_FALSE(startup.About().isVisible());
}

TEST_F(StartupOrder, ClosingTheMainWindowSavesAllSettingsWithoutSetupEverShown)
{
    Startup startup({});
    startup.Show();
    Find<QLineEdit>(startup.Setup(), "Edit3")->setText(u"17"_s);
    // Typed, as a user changes the range.
    QTest::keyClicks(Find<QLineEdit>(startup.Main(), "Edit1"), u"10.77.0.3"_s);
    startup.Main().close();
    auto store = OpenSettingsStore();
    // Every setting and the version.
    EXPECT_EQ(store->allKeys().size(), int(StoredSettings.size()) + 1);
    EXPECT_EQ(store->value(u"IVTIME"_s).toString(), u"17"_s);
    EXPECT_EQ(store->value(u"TIPF"_s).toString(), u"10.77.0.3"_s);
}

std::shared_ptr<MemoryDriver> TwoAdapters()
{
    auto driver = std::make_shared<MemoryDriver>();
    driver->version = u"1.10.3"_s;
    driver->nameBuffer = AdapterNameBuffer({u"eth0"_s, u"lo"_s, u"wire0"_s});
    driver->addresses = {{"eth0", 0xC0A80A0A}, {"wire0", 0x0A4D0001}};
    return driver;
}

TEST_F(StartupOrder, AdapterListIsFilledBeforeTheStoredInterfaceIsSelected)
{
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.1 : wire0"_s);
    Startup startup({}, QString(), TwoAdapters());
    QComboBox &list = *Find<QComboBox>(startup.Setup(), "CB1");
    ASSERT_EQ(list.count(), 2);
    EXPECT_EQ(list.itemText(0), u"192.168.10.10 : eth0"_s);
    EXPECT_EQ(list.currentText(), u"10.77.0.1 : wire0"_s);
    EXPECT_EQ(startup.Main().PanelText(7), u"1.10.3"_s);
    EXPECT_EQ(startup.Configuration().Read().adapter.name, u"wire0"_s);
}

TEST_F(StartupOrder, StoredInterfaceWhoseAddressChangedSelectsNothing)
{
    OpenSettingsStore()->setValue(u"NIC"_s, u"10.77.0.9 : wire0"_s);
    Startup startup({}, QString(), TwoAdapters());
    EXPECT_EQ(Find<QComboBox>(startup.Setup(), "CB1")->currentIndex(), -1);
    EXPECT_TRUE(startup.Configuration().Read().adapter.name.isEmpty());
}

TEST_F(StartupOrder, MenusShowTheDialogsWithoutBlocking)
{
    Startup startup({});
    startup.Show();
    Find<QAction>(startup.Main(), "Setup1")->trigger();
    EXPECT_TRUE(startup.Setup().isVisible());
    EXPECT_FALSE(startup.Setup().isModal());
    Find<QAction>(startup.Main(), "About1")->trigger();
    EXPECT_TRUE(startup.About().isVisible());
    Find<QPushButton>(startup.About(), "Button1")->click();
    EXPECT_FALSE(startup.About().isVisible());
}

// The tray menu brings a minimised window back and quits as File, Exit does;
// every window carries the program's icon.
TEST_F(StartupOrder, TrayMenuShowsTheWindowAndQuits)
{
    Startup startup({});
    startup.Show();
    EXPECT_FALSE(QApplication::windowIcon().isNull());
    EXPECT_EQ(startup.Main().windowIcon().cacheKey(), QApplication::windowIcon().cacheKey());
    startup.Main().showMinimized();
    Find<QAction>(*startup.Tray().Menu(), "TrayShow")->trigger();
    EXPECT_TRUE(startup.Main().isVisible());
    EXPECT_FALSE(startup.Main().isMinimized());
    QSignalSpy closing(&startup.Main(), &MainWindow::closing);
    Find<QAction>(*startup.Tray().Menu(), "TrayQuit")->trigger();
    EXPECT_EQ(closing.size(), 1);
    EXPECT_FALSE(startup.Main().isVisible());
}

TEST_F(StartupOrder, AlertWindowsStartHiddenAndViewAlertNeedsALine)
{
    Startup startup({});
    startup.Show();
    EXPECT_FALSE(startup.AlertMessage().isVisible());
    EXPECT_FALSE(startup.PromiscuousAlert().isVisible());
    Find<QAction>(startup.Main(), "N8")->trigger();
    EXPECT_FALSE(startup.PromiscuousAlert().isVisible());
    Q_EMIT startup.EventSource().promiscuousStarted(LabNode(u"10.77.0.5", u"02:00:00:00:00:05"), 5);
    Find<QPushButton>(startup.PromiscuousAlert(), "Button2")->click();
    Find<QAction>(startup.Main(), "N8")->trigger();
    EXPECT_TRUE(startup.PromiscuousAlert().isVisible());
}

TEST_F(StartupOrder, EventsReachThePaneAndLogFailuresTheSmallAlert)
{
    QTemporaryDir dir;
    Startup startup({});
    startup.Show();
    Find<QLineEdit>(startup.Setup(), "logpath")->setText(dir.filePath(u"missing/keelwatch.log"_s));
    Find<QRadioButton>(startup.Setup(), "RB_dcom")->setChecked(true);
    startup.Events().OpenEventLog();
    EXPECT_TRUE(startup.AlertMessage().isVisible());
    const QString alert = Find<QTextEdit>(startup.AlertMessage(), "Memo1")->toPlainText();
    EXPECT_TRUE(alert.startsWith(u"Cannot open log file."_s)) << alert.toStdString();
    EXPECT_TRUE(alert.contains(dir.filePath(u"missing/keelwatch.log"_s))) << alert.toStdString();
    Q_EMIT startup.EventSource().cycleEnded(4);
    // The pane takes its lines when the event loop runs; it keeps TABs
    // whatever the file's delimiter.
    // A note that desktop notifications are off may come first.
    const auto pane = [&] { return Find<QPlainTextEdit>(startup.Main(), "Memo1")->toPlainText(); };
    EXPECT_TRUE(WaitUntil([&] {
        return pane().startsWith(u"#Cyclic_Count\t4\t"_s) ||
               pane().contains(u"\n#Cyclic_Count\t4\t"_s);
    })) << pane().toStdString();
}

TEST_F(StartupOrder, LiveNodeViewerFollowsTheEventLogAcrossARotation)
{
    QTemporaryDir dir;
    const QString path = dir.filePath(u"keelwatch.log"_s);
    Startup startup({});
    Find<QLineEdit>(startup.Setup(), "logpath")->setText(path);
    const Node node = LabNode(u"10.77.0.5", u"02:00:00:00:00:05");
    EventLog &events = startup.Events();
    ScanEvents &source = startup.EventSource();
    NodeViewer &viewer = startup.NodeViewerWin().Viewer();
    const NodeViewerGrid &grid = viewer.Grid();
    events.OpenEventLog();
    Q_EMIT source.scanStarted();
    ASSERT_TRUE(viewer.Start(u"10.77.0.5"_s, path));
    Q_EMIT source.testAnswered(node, 3, Mark::Answered(Answer::Illegal, FrameFormat::Ethernet2));
    EXPECT_EQ(grid.Cell(grid.RowCount() - 2, 3), u"X"_s);

    // A log last written before today becomes the backup at the next open;
    // the viewer then reads the new file from its beginning.
    events.CloseEventLog();
    QFile log(path);
    ASSERT_TRUE(log.open(QIODevice::ReadWrite));
    ASSERT_TRUE(log.setFileTime(QDateTime::currentDateTime().addDays(-2),
                                QFileDevice::FileModificationTime));
    log.close();
    events.OpenEventLog();
    EXPECT_EQ(viewer.ReadPosition(), 0);
    const int rows = grid.RowCount();
    Q_EMIT source.cycleEnded(1);
    // A second event in one turn of the event loop is read at the next.
    while (viewer.IsReading())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    EXPECT_EQ(grid.RowCount(), rows + 1);
    EXPECT_EQ(grid.Cell(grid.RowCount() - 2, NodeViewerGrid::StatusColumn), u"1"_s);
}

class NodeTools : public StartupOrder
{
  protected:
    NodeTools()
    {
        Write(u"oui.txt"_s, "ABCDEF     (base 16)\t\tLab Cards Ltd\r\n");
        Write(u"comment.txt"_s, "10.77.0.5,lab printer\r\n");
    }
    void Write(const QString &name, const QByteArray &content)
    {
        QFile f(dir.filePath(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(content);
    }
    static QStringList MessageBoxTexts()
    {
        QStringList texts;
        for (QWidget *w : QApplication::topLevelWidgets()) {
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible())
                texts.append(box->text());
        }
        return texts;
    }

    QTemporaryDir dir;
};

TEST_F(NodeTools, VendorsAndCommentsComeFromTheProgramFolderAndCommentsAreSavedAtExit)
{
    Startup startup({}, dir.path());
    EXPECT_EQ(startup.Vendors().LookupVendor(u"AB:CD:EF:"), u"Lab Cards Ltd"_s);
    EXPECT_EQ(startup.Comments().LookupComment(u"10.77.0.5"_s), u"lab printer"_s);
    EXPECT_TRUE(MessageBoxTexts().isEmpty());
    startup.CommentEditorWin().OpenFor(u"10.77.0.6"_s);
    Find<QLineEdit>(startup.CommentEditorWin(), "Edit2")->setText(u"new"_s);
    Find<QPushButton>(startup.CommentEditorWin(), "Button2")->click(); // Write
    // Saved at once, so a program killed later keeps it.
    QFile saved(dir.filePath(u"comment.txt"_s));
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "10.77.0.5,lab printer\r\n10.77.0.6,new\r\n");
    saved.close();
    ASSERT_TRUE(QFile::remove(saved.fileName()));
    startup.Show();
    startup.Main().close();
    ASSERT_TRUE(saved.open(QIODevice::ReadOnly));
    EXPECT_EQ(saved.readAll(), "10.77.0.5,lab printer\r\n10.77.0.6,new\r\n");
    EXPECT_FALSE(startup.ExitSaveFailed());
}

TEST_F(NodeTools, SignalDuringTheRetryQuestionEndsTheExit)
{
    // A folder where comment.txt should be: it can never be written.
    ASSERT_TRUE(QFile::remove(dir.filePath(u"comment.txt"_s)));
    ASSERT_TRUE(QDir(dir.path()).mkdir(u"comment.txt"_s));
    Startup startup({}, dir.path(), std::make_shared<MemoryDriver>());
    startup.Show();
    int questions = 0;
    QTimer answer;
    QObject::connect(&answer, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets()) {
            auto *box = qobject_cast<QMessageBox *>(w);
            if (box && box->isVisible() && box->isModal() &&
                box->text().contains(u"Closing now loses"_s)) {
                // The user retries once; then SIGTERM comes while asked again.
                if (++questions == 1)
                    box->button(QMessageBox::Retry)->click();
                else
                    startup.EndOnSignal();
                return;
            }
        }
    });
    answer.start(20);
    startup.Main().close();
    EXPECT_EQ(questions, 2);
    EXPECT_TRUE(startup.ExitSaveFailed());
}

// SIGTERM bit of a process's caught signals: its handler is in place.
bool CatchesSigterm(qint64 pid)
{
    QFile status(u"/proc/%1/status"_s.arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return false;
    for (const QByteArray &line : status.readAll().split('\n')) {
        if (line.startsWith("SigCgt:"))
            return (line.mid(7).trimmed().toULongLong(nullptr, 16) >> (SIGTERM - 1)) & 1;
    }
    return false;
}

TEST(Program, SigtermWithUnwritableFilesEndsAtOnceAndSaysWhatWasLost)
{
    QTemporaryDir dir;
    const QDir root(dir.path());
    ASSERT_TRUE(root.mkpath(u"bin/comment.txt"_s) && root.mkpath(u"config"_s));
    const QString binary = root.filePath(u"bin/keelwatch"_s);
    ASSERT_TRUE(QFile::copy(QString::fromUtf8(KEELWATCH_BINARY), binary));
    // A file where the settings folder belongs.
    QFile blocker(root.filePath(u"config/Quillstone"_s));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();

    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(u"XDG_CONFIG_HOME"_s, root.filePath(u"config"_s));
    env.insert(u"QT_QPA_PLATFORM"_s, u"offscreen"_s);
    program.setProcessEnvironment(env);
    program.start(binary, {});
    ASSERT_TRUE(program.waitForStarted());
    for (int i = 0; i < 300 && !CatchesSigterm(program.processId()); ++i)
        QThread::msleep(50);
    ASSERT_TRUE(CatchesSigterm(program.processId()));
    program.terminate();
    // No question waits for an answer nobody can give.
    const bool ended = program.waitForFinished(15000);
    if (!ended)
        program.kill();
    ASSERT_TRUE(ended);
    EXPECT_EQ(program.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(program.exitCode(), 1);
    const QString said = QString::fromLocal8Bit(program.readAllStandardError());
    EXPECT_TRUE(said.contains(u"keelwatch: Cannot save the settings to "_s +
                              root.filePath(u"config/Quillstone/keelwatch.conf"_s)))
        << said.toStdString();
    EXPECT_TRUE(said.contains(u"keelwatch: Cannot write comment.txt. "_s)) << said.toStdString();
}

TEST_F(NodeTools, MenusOpenTheToolsForTheSelectedNode)
{
    Startup startup({}, dir.path());
    startup.Show();
    startup.Nodes().Replace({LabNode(u"10.77.0.5", u"00:11:22:33:44:55")});
    Find<QLineEdit>(startup.Setup(), "logpath")->setText(u"lab.log"_s);

    // Before any click no node is picked: the editor opens without an address.
    Find<QAction>(startup.Main(), "N7")->trigger();
    EXPECT_TRUE(startup.CommentEditorWin().isVisible());
    EXPECT_EQ(Find<QLineEdit>(startup.CommentEditorWin(), "Edit1")->text(), QString());

    ClickNode(startup.Main(), 0);
    Find<QAction>(startup.Main(), "N4")->trigger();
    EXPECT_EQ(Find<QLineEdit>(startup.CommentEditorWin(), "Edit1")->text(), u"10.77.0.5"_s);
    Find<QAction>(startup.Main(), "N3")->trigger();
    EXPECT_TRUE(startup.NodeViewerWin().isVisible());
    EXPECT_EQ(Find<QLineEdit>(startup.NodeViewerWin(), "Edit1")->text(), u"10.77.0.5"_s);
    EXPECT_EQ(Find<QLineEdit>(startup.NodeViewerWin(), "Edit2")->text(), u"lab.log"_s);
}

TEST_F(NodeTools, DoubleClickOnTheEmptyGridIsAnExternalCommandError)
{
    Startup startup({}, dir.path());
    startup.Show();
    QTableView *grid = Find<QTableView>(startup.Main(), "SG");
    ASSERT_EQ(grid->model()->rowCount(), 0);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, QPoint(30, 10));
    Find<QAction>(startup.Main(), "N5")->trigger();
    EXPECT_EQ(MessageBoxTexts(), QStringList(2, u"External Command ERROR!!!"_s));
    for (QWidget *w : QApplication::topLevelWidgets()) {
        if (qobject_cast<QMessageBox *>(w))
            w->close();
    }
}

// A first start has neither comments nor a vendor list beside the program:
// that is said in the event pane, and no box waits for a click.
TEST_F(NodeTools, FirstRunShowsNoBoxAndSaysWhatIsMissingInTheEventPane)
{
    QTemporaryDir empty;
    Startup startup({}, empty.path());
    startup.Show();
    QCoreApplication::processEvents();
    EXPECT_TRUE(MessageBoxTexts().isEmpty());
    const QString pane = Find<QPlainTextEdit>(startup.Main(), "Memo1")->toPlainText();
    EXPECT_TRUE(pane.contains(u"No comments yet: comment.txt is created in "_s))
        << pane.toStdString();
    startup.Main().close();
    EXPECT_TRUE(QFile::exists(QDir(empty.path()).filePath(u"comment.txt"_s)));
}

TEST_F(StartupOrder, MainWindowComesBackWhereItWasLeft)
{
    {
        Startup startup({});
        startup.Show();
        startup.Main().resize(1111, 555);
        startup.Main().close();
    }
    EXPECT_FALSE(OpenSettingsStore()->value(u"WindowGeometry"_s).toString().isEmpty());
    Startup again({});
    EXPECT_EQ(again.Main().size(), QSize(1111, 555));
}

// Every START reaches the tray as a notification and its alert state; a
// click on it brings the alert window back; putting the window away ends
// the alert state.
TEST_F(StartupOrder, PromiscuousStartNotifiesThroughTheTray)
{
    Startup startup({});
    AlertTray &tray = startup.Tray();
    QSignalSpy notified(&tray, &AlertTray::notified);
    const Node node = LabNode(u"10.77.0.5", u"00:11:22:33:44:55");
    ScanEvents &events = startup.EventSource();
    Q_EMIT events.promiscuousStopped(node, 5);
    EXPECT_EQ(notified.size(), 0);
    EXPECT_EQ(tray.CurrentState(), AlertTray::State::Idle);
    // A verdict is a log line only: no alert, no notification.
    Q_EMIT events.verdictReached(node, ConfirmationVerdict::FilterMatch, 5);
    EXPECT_EQ(notified.size(), 0);
    Q_EMIT events.promiscuousStarted(node, 5);
    ASSERT_EQ(notified.size(), 1);
    EXPECT_EQ(notified[0][0].toString(), u"Detect Promiscuous Node"_s);
    EXPECT_TRUE(notified[0][1].toString().endsWith(u"Promiscuous START 10.77.0.5"_s))
        << notified[0][1].toString().toStdString();
    EXPECT_EQ(tray.CurrentState(), AlertTray::State::Alert);
    tray.SetScanRunning(true);
    EXPECT_EQ(tray.CurrentState(), AlertTray::State::Alert);

    startup.PromiscuousAlert().hide();
    EXPECT_EQ(tray.CurrentState(), AlertTray::State::Scanning);
    Q_EMIT tray.alertWindowRequested();
    EXPECT_TRUE(startup.PromiscuousAlert().isVisible());
    tray.SetScanRunning(false);
    EXPECT_EQ(tray.CurrentState(), AlertTray::State::Idle);
}

// Without a tray the notification goes to the desktop's notification
// server; clicking it there brings the alert window back.
TEST_F(StartupOrder, ClickOnTheDesktopNotificationShowsTheAlertWindow)
{
    FakeNotificationServer server(sessionBus->address);
    if (!server.registered)
        GTEST_SKIP() << "no private session bus: dbus-daemon is missing";
    Startup startup({});
    Q_EMIT startup.EventSource().promiscuousStarted(LabNode(u"10.77.0.5", u"00:11:22:33:44:55"), 5);
    startup.PromiscuousAlert().hide();
    ASSERT_TRUE(WaitUntil([&] { return !server.received.isEmpty(); }));
    EXPECT_EQ(server.received[0].summary, u"Detect Promiscuous Node"_s);
    EXPECT_TRUE(server.received[0].body.endsWith(u"Promiscuous START 10.77.0.5"_s))
        << server.received[0].body.toStdString();
    server.InvokeAction(server.received[0].id, u"default"_s);
    EXPECT_TRUE(WaitUntil([&] { return startup.PromiscuousAlert().isVisible(); }));
}

// A program folder the user cannot write, as /usr/bin: the comments beside
// the program are the start, and they are kept in the user's data folder.
TEST_F(NodeTools, ReadOnlyProgramFolderKeepsCommentsInTheUserDataFolder)
{
    TinyDisk programFolder(64);
    SKIP_WITHOUT_TINY_DISK(programFolder);
    ASSERT_TRUE(
        QFile::copy(dir.filePath(u"comment.txt"_s), programFolder.FilePath(u"comment.txt"_s)));
    ASSERT_EQ(::mount(nullptr, programFolder.Path().toLocal8Bit().constData(), nullptr,
                      MS_REMOUNT | MS_RDONLY, nullptr),
              0);
    QTemporaryDir dataHome;
    const QByteArray savedDataHome = qgetenv("XDG_DATA_HOME");
    qputenv("XDG_DATA_HOME", QFile::encodeName(dataHome.path()));
    const QString kept = dataHome.filePath(u"Quillstone/keelwatch/comment.txt"_s);
    {
        Startup startup({}, programFolder.Path(), std::make_shared<MemoryDriver>());
        startup.Show();
        const QString pane = Find<QPlainTextEdit>(startup.Main(), "Memo1")->toPlainText();
        EXPECT_TRUE(pane.contains(u"Comments are kept in "_s + kept)) << pane.toStdString();
        EXPECT_EQ(startup.Comments().LookupComment(u"10.77.0.5"_s), u"lab printer"_s);
        ASSERT_TRUE(startup.Comments().SetComment(u"10.77.0.6"_s, u"new desk"_s));
        startup.Main().close();
        EXPECT_TRUE(MessageBoxTexts().isEmpty());
        EXPECT_FALSE(startup.ExitSaveFailed());
    }
    QFile file(kept);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), "10.77.0.5,lab printer\r\n10.77.0.6,new desk\r\n");
    if (savedDataHome.isNull())
        qunsetenv("XDG_DATA_HOME");
    else
        qputenv("XDG_DATA_HOME", savedDataHome);
}

struct DisplayCase
{
    const char *name;
    const char *display;
    const char *wayland;
    const char *platform;
    QStringList arguments;
    bool available;
};

class Display : public ::testing::TestWithParam<DisplayCase>
{
  protected:
    void SetUp() override
    {
        for (const char *name : {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"})
            saved.append(qgetenv(name));
    }
    void TearDown() override
    {
        qputenv("DISPLAY", saved[0]);
        qputenv("WAYLAND_DISPLAY", saved[1]);
        qputenv("QT_QPA_PLATFORM", saved[2]);
    }
    QList<QByteArray> saved;
};

TEST_P(Display, IsFoundInTheEnvironmentOrArguments)
{
    qputenv("DISPLAY", GetParam().display);
    qputenv("WAYLAND_DISPLAY", GetParam().wayland);
    qputenv("QT_QPA_PLATFORM", GetParam().platform);
    EXPECT_EQ(DisplayAvailable(GetParam().arguments), GetParam().available);
}

INSTANTIATE_TEST_SUITE_P(
    Environments, Display,
    ::testing::Values(DisplayCase{"None", "", "", "", {u"auto"_s}, false},
                      DisplayCase{"X", ":0", "", "", {}, true},
                      DisplayCase{"Wayland", "", "wayland-0", "", {}, true},
                      DisplayCase{"Platform", "", "", "offscreen", {}, true},
                      DisplayCase{"PlatformArgument", "", "", "", {u"-platform"_s, u"vnc"_s}, true},
                      DisplayCase{"DisplayArgument", "", "", "", {u"-display"_s, u":1"_s}, true}),
    [](const auto &info) { return std::string(info.param.name); });

// The program run with an environment of its own: no display unless given.
struct ProgramRun
{
    int exitCode = -1;
    bool crashed = true;
    QString out;
    QString err;
};

ProgramRun RunProgram(const QStringList &arguments, const QList<QPair<QString, QString>> &set = {})
{
    QProcess program;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    for (const QString &name : {u"DISPLAY"_s, u"WAYLAND_DISPLAY"_s, u"QT_QPA_PLATFORM"_s})
        env.remove(name);
    for (const auto &[name, value] : set)
        env.insert(name, value);
    program.setProcessEnvironment(env);
    program.start(QString::fromUtf8(KEELWATCH_BINARY), arguments);
    ProgramRun run;
    if (!program.waitForFinished(20000)) {
        program.kill();
        program.waitForFinished();
        return run;
    }
    run.exitCode = program.exitCode();
    run.crashed = program.exitStatus() != QProcess::NormalExit;
    run.out = QString::fromLocal8Bit(program.readAllStandardOutput());
    run.err = QString::fromLocal8Bit(program.readAllStandardError());
    return run;
}

struct InfoRequest
{
    const char *name;
    QStringList arguments;
    const char16_t *printed;
};

class InfoWithoutDisplay : public ::testing::TestWithParam<InfoRequest>
{
};

TEST_P(InfoWithoutDisplay, IsPrintedAndTheProgramEnds)
{
    const ProgramRun run = RunProgram(GetParam().arguments);
    EXPECT_FALSE(run.crashed);
    EXPECT_EQ(run.exitCode, 0) << run.err.toStdString();
    EXPECT_TRUE(run.out.startsWith(QString::fromUtf16(GetParam().printed)))
        << run.out.toStdString();
    EXPECT_TRUE(run.out.endsWith(u'\n'));
    EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, InfoWithoutDisplay,
    ::testing::Values(InfoRequest{"Help", {u"--help"_s}, u"Usage: keelwatch [auto]"},
                      InfoRequest{"ShortHelp", {u"-h"_s}, u"Usage: keelwatch [auto]"},
                      InfoRequest{"HelpAfterAuto", {u"auto"_s, u"--help"_s}, u"Usage:"},
                      InfoRequest{"HelpWinsOverVersion", {u"--version"_s, u"--help"_s}, u"Usage:"},
                      InfoRequest{
                          "Version", {u"--version"_s}, u"keelwatch " KEELWATCH_VERSION "\n"},
                      InfoRequest{"ShortVersion", {u"-v"_s}, u"keelwatch " KEELWATCH_VERSION "\n"}),
    [](const auto &info) { return std::string(info.param.name); });

// No display, or one that cannot be opened: one line naming it and status
// 2, never the toolkit's abort.
struct DisplayFault
{
    const char *name;
    const char *variable;
    const char *value;
    const char16_t *named;
};

class WithoutUsableDisplay : public ::testing::TestWithParam<DisplayFault>
{
};

TEST_P(WithoutUsableDisplay, SaysSoInOneLineAndExitsWithTwo)
{
    QList<QPair<QString, QString>> set;
    if (*GetParam().variable)
        set.append(
            {QString::fromLatin1(GetParam().variable), QString::fromLatin1(GetParam().value)});
    const ProgramRun run = RunProgram({u"auto"_s}, set);
    EXPECT_FALSE(run.crashed) << run.err.toStdString();
    EXPECT_EQ(run.exitCode, 2) << run.err.toStdString();
    EXPECT_EQ(run.err.count(u'\n'), 1) << run.err.toStdString();
    EXPECT_TRUE(run.err.startsWith(u"keelwatch: "_s)) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(QString::fromUtf16(GetParam().named))) << run.err.toStdString();
    EXPECT_TRUE(run.err.contains(u"xvfb-run -a keelwatch"_s));
    EXPECT_TRUE(run.out.isEmpty());
}

INSTANTIATE_TEST_SUITE_P(
    Environments, WithoutUsableDisplay,
    ::testing::Values(DisplayFault{"Unset", "", "", u"no display is set"},
                      // No X server listens on display 239 here.
                      DisplayFault{"Unreachable", "DISPLAY", ":239", u"\":239\""},
                      DisplayFault{"UnknownPlatform", "QT_QPA_PLATFORM", "nosuchplatform",
                                   u"cannot open the display"}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
