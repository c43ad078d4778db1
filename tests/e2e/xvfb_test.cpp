#include "app/startup.h"
#include "config/settingsstore.h"
#include "labscan.h"
#include "support/confighome.h"
#include "support/eventwait.h"
#include "support/labsegment.h"
#include "ui/alerttray.h"
#include "ui/mainwindow.h"

#include <QDir>
#include <QGuiApplication>
#include <QPixmap>
#include <QPlainTextEdit>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <gtest/gtest.h>

using namespace keelwatch;
using namespace labscan;
using namespace Qt::StringLiterals;

namespace {

[[maybe_unused]] ConfigHome *const configHome = RegisterConfigHome();

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
    const auto pane = [&] { return startup->Main().EventPane()->toPlainText(); };

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

} // namespace
