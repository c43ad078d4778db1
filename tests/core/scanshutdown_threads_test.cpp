#include "config/addresstext.h"
#include "core/eventlogfile.h"
#include "core/nodelist.h"
#include "core/scanassembly.h"
#include "core/scanview.h"
#include "support/eventwait.h"
#include "support/memorydriver.h"
#include "support/quietscan.h"

#include <gtest/gtest.h>

#include <memory>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class FixedClock : public Clock
{
  public:
    QDateTime Now() const override { return QDateTime(QDate(2026, 1, 5), QTime(12, 0)); }
};

Settings LabSettings(bool listMode)
{
    Settings s;
    s.adapter = {u"lab0"_s, *IpFromText(u"10.0.0.1"_s)};
    s.ownIp = IpFromText(u"10.0.0.1"_s);
    s.from = u"10.0.0.1"_s;
    s.to = u"10.0.0.254"_s;
    s.listMode = listMode;
    s.nodeTimerMs = 20;
    return s;
}

// The program's scan, with the memory driver and windows that show nothing.
struct ScanObjects
{
    explicit ScanObjects(const Settings &s) : settings(s) {}

    std::shared_ptr<MemoryDriver> driver = std::make_shared<MemoryDriver>();
    FixedSettings settings;
    NodeList nodes;
    ScanEvents events;
    QuietScanWindows windows;
    NoEventLog log;
    FixedClock clock;
    ScanAssembly scan{{driver, windows, windows, settings, nodes, windows, events, log, clock}};
};

class ScanShutdown : public testing::TestWithParam<bool>
{
};

// Closing the program mid-sweep: the controller is told to shut down, then
// everything goes while the sender and both capture workers still run. The
// thread sanitizer watches every hand-over on the way.
TEST_P(ScanShutdown, MidSweepEndsEveryWorkerBeforeWhatTheyRead)
{
    auto objects = std::make_unique<ScanObjects>(LabSettings(GetParam()));
    std::shared_ptr<MemoryDriver> driver = objects->driver;
    objects->scan.Controller().Start();
    ASSERT_TRUE(objects->scan.Controller().Running());
    ASSERT_TRUE(WaitUntil([&] { return driver->Sent().size() >= 3; }));
    // Sender, relay, analyser and the confirmation sender.
    EXPECT_EQ(objects->scan.Workers().LiveWorkers(), 4);

    objects->scan.Controller().Shutdown();
    objects.reset();
    // Every adapter the scan opened has been closed: the capture adapter and
    // the kept send handle.
    const QStringList events = driver->Events();
    EXPECT_EQ(events.count(u"open lab0"_s), events.count(u"close lab0"_s));
    const size_t sent = driver->Sent().size();
    QThread::msleep(50);
    EXPECT_EQ(driver->Sent().size(), sent);
}

INSTANTIATE_TEST_SUITE_P(Modes, ScanShutdown, testing::Values(false, true),
                         [](const auto &info) { return info.param ? "ListMode" : "Normal"; });

} // namespace
