#include "app/startup.h"
#include "config/settingsstore.h"
#include "core/nodecolumns.h"
#include "labscan.h"
#include "support/confighome.h"
#include "support/eventwait.h"
#include "support/find.h"
#include "support/labsegment.h"
#include "support/notificationbus.h"
#include "ui/alerttray.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <csignal>

using namespace keelwatch;
using namespace labscan;
using namespace Qt::StringLiterals;

namespace {

[[maybe_unused]] ConfigHome *const configHome = RegisterConfigHome();
[[maybe_unused]] SessionBusEnvironment *const sessionBus = RegisterSessionBus();

// The program on a real X server (CTest runs this under xvfb-run): a node
// that turns promiscuous while the monitor runs reaches the desktop as a
// notification, and the screen is kept as a picture of that moment.
TEST(TrayUnderX, PromiscuousStartNotifiesTheDesktop)
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        GTEST_SKIP() << "needs an X server; CTest runs it under xvfb-run";
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    LabSegment lab(Hosts, PromiscuousHosts);
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    WriteSettings(*OpenSettingsStore(), QDir(dir.path()).filePath(u"keelwatch.log"_s), true,
                  QString());
    WriteProgramFiles(dir.path());
    EnteredNamespace scanner(lab.Namespace(u"scan"_s));
    ASSERT_TRUE(scanner.entered);
    auto startup = std::make_unique<Startup>(QStringList{u"auto"_s}, dir.path());
    QSignalSpy notified(&startup->Tray(), &AlertTray::notified);
    startup->Show();
    const auto pane = [&] { return Find<QPlainTextEdit>(startup->Main(), "Memo1")->toPlainText(); };

    ASSERT_TRUE(WaitUntil([&] { return CycleLines(pane()) >= 1; }, FirstCyclesMs))
        << pane().toStdString();
    EXPECT_EQ(startup->Tray().CurrentState(), AlertTray::State::Scanning);
    EXPECT_TRUE(notified.isEmpty()) << "suspects from the start raise no alert";
    ASSERT_TRUE(SwitchBetweenCycles(pane, [&] { return lab.SetPromiscuous(SwitchedHost, true); }));
    ASSERT_TRUE(WaitUntil([&] { return !notified.isEmpty(); }, SwitchMs)) << pane().toStdString();
    EXPECT_EQ(notified[0][0].toString(), u"Detect Promiscuous Node"_s);
    EXPECT_TRUE(notified[0][1].toString().endsWith(u"Promiscuous START "_s + HostIp(SwitchedHost)))
        << notified[0][1].toString().toStdString();
    EXPECT_EQ(startup->Tray().CurrentState(), AlertTray::State::Alert);

    // Xvfb has no window manager to minimise or stack windows: the picture
    // shows the main window with the alert window over it.
    QTest::qWait(300);
    const QPixmap screen = QGuiApplication::primaryScreen()->grabWindow(0);
    ASSERT_FALSE(screen.isNull());
    const QString picture = QDir::current().filePath(u"tray-alert-under-x.png"_s);
    EXPECT_TRUE(screen.save(picture)) << picture.toStdString();

    startup->Main().close();
    startup.reset();
}

struct ProcessEntry
{
    qint64 pid = 0;
    qint64 parent = 0;
    QString name;
};

QByteArray ProcFile(qint64 pid, const char *name)
{
    QFile file(u"/proc/%1/"_s.arg(pid) + QString::fromLatin1(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

ProcessEntry ReadProcess(qint64 pid)
{
    // "pid (comm) state ppid ...": the name may hold blanks and parentheses.
    const QByteArray stat = ProcFile(pid, "stat");
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open)
        return {};
    const QList<QByteArray> rest = stat.mid(close + 2).split(' ');
    return {pid, rest.size() > 1 ? rest[1].toLongLong() : 0,
            QString::fromLocal8Bit(stat.mid(open + 1, close - open - 1))};
}

// The processes whose command line is exactly these arguments.
QList<qint64> ProcessesRunning(const QStringList &arguments)
{
    QByteArray wanted;
    for (const QString &argument : arguments)
        wanted += argument.toLocal8Bit() + '\0';
    QList<qint64> found;
    for (const QString &entry : QDir(u"/proc"_s).entryList(QDir::Dirs)) {
        bool isPid = false;
        const qint64 pid = entry.toLongLong(&isPid);
        if (isPid && ProcFile(pid, "cmdline") == wanted)
            found.append(pid);
    }
    return found;
}

ino_t NetworkNamespaceOf(const QString &path)
{
    struct stat info
    {
    };
    return ::stat(path.toLocal8Bit().constData(), &info) == 0 ? info.st_ino : 0;
}

// A new user's double-click on a node: the default command opens a terminal
// pinging that node. The program runs inside the lab's scanner namespace, so
// the ping only ever reaches a lab host; the test checks the ping's
// namespace, then ends the terminal and the ping.
TEST(CommandUnderX, DoubleClickOnANodeStartsTheDefaultCommand)
{
    if (QGuiApplication::platformName() != u"xcb"_s)
        GTEST_SKIP() << "needs an X server; CTest runs it under xvfb-run";
    if (const auto reason = LabSegment::Unavailable())
        GTEST_SKIP() << reason->toStdString();
    if (QStandardPaths::findExecutable(u"x-terminal-emulator"_s).isEmpty())
        GTEST_SKIP() << "no x-terminal-emulator: scripts/install-deps installs xterm";
    QTemporaryDir dir;
    ASSERT_TRUE(dir.isValid());
    LabSegment lab(Hosts, PromiscuousHosts);
    ASSERT_TRUE(lab.built) << lab.output.toStdString();
    {
        auto store = OpenSettingsStore();
        WriteSettings(*store, QDir(dir.path()).filePath(u"keelwatch.log"_s), true, QString());
        // A fresh machine's command, and a grid that does not move under
        // the pointer.
        store->remove(u"Command"_s);
        store->setValue(u"Scroll"_s, 0);
    }
    WriteProgramFiles(dir.path());
    const QString scannerNamespace = lab.Namespace(u"scan"_s);
    EnteredNamespace scanner(scannerNamespace);
    ASSERT_TRUE(scanner.entered);
    auto startup = std::make_unique<Startup>(QStringList{u"auto"_s}, dir.path());
    startup->Show();
    QTableView *grid = startup->Main().findChild<QTableView *>(u"SG"_s);
    ASSERT_NE(grid, nullptr);
    const QString ip = HostIp(SwitchedHost);
    QModelIndex cell;
    ASSERT_TRUE(WaitUntil(
        [&] {
            const QModelIndexList hits = grid->model()->match(
                grid->model()->index(0, NodeColumn::Ip), Qt::DisplayRole, ip, 1, Qt::MatchExactly);
            cell = hits.isEmpty() ? QModelIndex() : hits[0];
            return cell.isValid();
        },
        FirstCyclesMs));
    grid->scrollTo(cell);
    QTest::mouseDClick(grid->viewport(), Qt::LeftButton, {}, grid->visualRect(cell).center());

    const QStringList ping = {u"ping"_s, ip};
    QList<qint64> pings;
    EXPECT_TRUE(WaitUntil([&] { return !(pings = ProcessesRunning(ping)).isEmpty(); }, 30000))
        << "no " << ping.join(u' ').toStdString() << " process";
    for (const qint64 pid : pings) {
        const ProcessEntry process = ReadProcess(pid);
        const ProcessEntry terminal = ReadProcess(process.parent);
        EXPECT_EQ(NetworkNamespaceOf(u"/proc/%1/ns/net"_s.arg(pid)),
                  NetworkNamespaceOf(u"/run/netns/"_s + scannerNamespace));
        EXPECT_EQ(terminal.name, u"xterm"_s);
        ::kill(pid_t(pid), SIGTERM);
        if (terminal.name == u"xterm"_s)
            ::kill(pid_t(terminal.pid), SIGTERM);
    }

    startup->Main().close();
    startup.reset();
}

} // namespace
