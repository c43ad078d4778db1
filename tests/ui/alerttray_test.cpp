#include "support/eventwait.h"
#include "support/notificationbus.h"
#include "ui/alerttray.h"

#include <QAction>
#include <QMenu>
#include <QSignalSpy>
#include <gtest/gtest.h>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

const QString StartLine = u"08/Dec/2026 03:10:00 Promiscuous START 10.77.0.17"_s;

class TrayWithoutTray : public ::testing::Test
{
  protected:
    void SetUp() override
    {
        if (const auto reason = PrivateSessionBus::Unavailable())
            GTEST_SKIP() << reason->toStdString();
        ASSERT_FALSE(bus.address.isEmpty()) << "dbus-daemon did not start";
    }

    PrivateSessionBus bus;
};

// The offscreen platform has no tray, as many desktops have none: a START
// goes straight to the notification server, an END does not.
TEST_F(TrayWithoutTray, StartReachesTheNotificationServer)
{
    FakeNotificationServer server(bus.address);
    ASSERT_TRUE(server.registered);
    AlertTray tray(nullptr, bus.address);
    ASSERT_FALSE(tray.Shown());
    QSignalSpy off(&tray, &AlertTray::notificationsOff);

    tray.ShowAlertLine(u"08/Dec/2026 03:09:00 Promiscuous END 10.77.0.18"_s, false);
    tray.ShowAlertLine(StartLine, true);
    ASSERT_TRUE(WaitUntil([&] { return !server.received.isEmpty(); }));
    ASSERT_EQ(server.received.size(), 1);
    const FakeNotificationServer::Notification &shown = server.received[0];
    EXPECT_EQ(shown.appName, u"Keelwatch"_s);
    // The program's icon and desktop entry, and critical urgency.
    EXPECT_EQ(shown.icon, u"keelwatch"_s);
    EXPECT_EQ(shown.hints.value(u"desktop-entry"_s).toString(), u"keelwatch"_s);
    EXPECT_EQ(shown.hints.value(u"urgency"_s).toInt(), 2);
    EXPECT_EQ(shown.summary, u"Detect Promiscuous Node"_s);
    EXPECT_EQ(shown.body, StartLine);
    EXPECT_TRUE(shown.actions.contains(u"default"_s));
    EXPECT_EQ(tray.CurrentState(), AlertTray::State::Alert);
    EXPECT_TRUE(off.isEmpty());
}

// The server's signals reach every client: only a click on one of ours
// asks for the alert window, and only the notification's default action.
TEST_F(TrayWithoutTray, ClickOnOurNotificationAsksForTheAlertWindow)
{
    FakeNotificationServer server(bus.address);
    ASSERT_TRUE(server.registered);
    AlertTray tray(nullptr, bus.address);
    QSignalSpy requested(&tray, &AlertTray::alertWindowRequested);
    tray.ShowAlertLine(StartLine, true);
    ASSERT_TRUE(WaitUntil([&] { return !server.received.isEmpty(); }));
    const uint id = server.received[0].id;
    // The server's reply with the id went out before these, and the wrong
    // ones arrive before the right one.
    server.InvokeAction(id + 100, u"default"_s);
    server.InvokeAction(id, u"other"_s);
    server.InvokeAction(id, u"default"_s);
    ASSERT_TRUE(WaitUntil([&] { return !requested.isEmpty(); }));
    EXPECT_EQ(requested.size(), 1);
}

// Without a server the program says so once and goes on; a server that
// comes later (started on demand) is used, and its clicks are heard.
TEST_F(TrayWithoutTray, NoServerIsSaidOnceAndALaterServerIsUsed)
{
    AlertTray tray(nullptr, bus.address);
    QSignalSpy off(&tray, &AlertTray::notificationsOff);
    QSignalSpy requested(&tray, &AlertTray::alertWindowRequested);
    ASSERT_TRUE(WaitUntil([&] { return !off.isEmpty(); }));
    EXPECT_EQ(off[0][0].toString(),
              u"No desktop notifications: no system tray and no notification server on the "
              u"session bus (org.freedesktop.DBus.Error.ServiceUnknown). Alerts show in the "
              u"alert window only."_s);
    tray.ShowAlertLine(StartLine, true);

    FakeNotificationServer server(bus.address);
    ASSERT_TRUE(server.registered);
    tray.ShowAlertLine(StartLine, true);
    ASSERT_TRUE(WaitUntil([&] { return !server.received.isEmpty(); }));
    server.InvokeAction(server.received[0].id, u"default"_s);
    EXPECT_TRUE(WaitUntil([&] { return !requested.isEmpty(); }));
    EXPECT_EQ(off.size(), 1);
}

TEST(TrayWithoutBus, NoBusIsSaidOnce)
{
    AlertTray tray(nullptr, u"unix:path=/nonexistent/keelwatch-test-bus"_s);
    QSignalSpy off(&tray, &AlertTray::notificationsOff);
    ASSERT_TRUE(WaitUntil([&] { return !off.isEmpty(); }));
    EXPECT_TRUE(off[0][0].toString().startsWith(u"No desktop notifications: no system tray and no "
                                                u"session bus."_s))
        << off[0][0].toString().toStdString();
    tray.ShowAlertLine(StartLine, true);
    QCoreApplication::processEvents();
    EXPECT_EQ(off.size(), 1);
    EXPECT_EQ(tray.CurrentState(), AlertTray::State::Alert);
}

// The tray menu's entries, whether or not the desktop shows a tray: Start
// and Stop share one entry that follows the scan.
struct TrayEntry
{
    const char *name;
    bool scanRunning;
    const char *action;
    int shows, starts, stops, quits;
};

class TrayMenu : public ::testing::TestWithParam<TrayEntry>
{
};

TEST_P(TrayMenu, AsksForWhatItSays)
{
    // No bus: the notification path is not what is tested here.
    AlertTray tray(nullptr, u"unix:path=/nonexistent/keelwatch-test-bus"_s);
    ASSERT_NE(tray.Menu(), nullptr);
    tray.SetScanRunning(true);
    tray.SetScanRunning(GetParam().scanRunning);
    QSignalSpy shows(&tray, &AlertTray::mainWindowRequested);
    QSignalSpy starts(&tray, &AlertTray::startRequested);
    QSignalSpy stops(&tray, &AlertTray::stopRequested);
    QSignalSpy quits(&tray, &AlertTray::quitRequested);
    auto *action = tray.Menu()->findChild<QAction *>(QString::fromLatin1(GetParam().action));
    ASSERT_NE(action, nullptr);
    EXPECT_TRUE(action->text().contains(u'&')) << "every entry has a mnemonic";
    action->trigger();
    EXPECT_EQ(shows.size(), GetParam().shows);
    EXPECT_EQ(starts.size(), GetParam().starts);
    EXPECT_EQ(stops.size(), GetParam().stops);
    EXPECT_EQ(quits.size(), GetParam().quits);
}

INSTANTIATE_TEST_SUITE_P(
    Entries, TrayMenu,
    ::testing::Values(TrayEntry{"Show", false, "TrayShow", 1, 0, 0, 0},
                      TrayEntry{"StartWhenIdle", false, "TrayStartStop", 0, 1, 0, 0},
                      TrayEntry{"StopWhenRunning", true, "TrayStartStop", 0, 0, 1, 0},
                      TrayEntry{"Quit", true, "TrayQuit", 0, 0, 0, 1}),
    [](const auto &info) { return std::string(info.param.name); });

} // namespace
