// Cyclic scans on the memory driver: a cycle is judged on every reply the
// capture took during it, and a cycle whose capture lost frames does not
// read their silence as nodes gone.

#include "core/eventlogfile.h"
#include "core/nodecolumns.h"
#include "core/nodelist.h"
#include "core/scanassembly.h"
#include "support/eventrecorder.h"
#include "support/eventwait.h"
#include "support/memorydriver.h"
#include "support/quietscan.h"

#include <QRegularExpression>
#include <gtest/gtest.h>

#include <condition_variable>
#include <memory>
#include <mutex>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

constexpr IpAddress Ip2 = IpAddress::FromIpv4(0x0A000002);

class RecordedLog : public EventRecorder
{
  public:
    using EventRecorder::EventRecorder;
    bool Has(const QString &line) const { return lines.contains(line); }
    // The lines after the first of this text.
    QStringList After(const QString &line) const { return lines.mid(lines.indexOf(line) + 1); }
};

// Holds the analyser in its vendor look-up while closed: replies it read
// stay on their way to the node list.
class AnalyserGate
{
  public:
    QString Pass()
    {
        std::unique_lock lock(mutex);
        opened.wait(lock, [this] { return open; });
        return u"unknown"_s;
    }
    void Set(bool on)
    {
        {
            std::lock_guard lock(mutex);
            open = on;
        }
        opened.notify_all();
    }

  private:
    std::mutex mutex;
    std::condition_variable opened;
    bool open = true;
};

// 10.0.0.2 to 10.0.0.4 answer Br and M1 as normal cards do; 10.0.0.5 is
// promiscuous.
class CycleScan : public testing::Test
{
  protected:
    CycleScan()
    {
        Settings &s = settings.values;
        s = MemoryScanSettings(u"10.0.0.2"_s, u"10.0.0.5"_s);
        s.cyclic = true;
        s.scanTimerSeconds = 1;
        s.confirmSuspects = false;
        const MacBytes allHosts{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01};
        for (std::uint8_t host = 2; host <= 4; ++host)
            driver->AddHost(0x0A000000 | host,
                            {.own = {0x02, 0x77, 0, 0, 0, host}, .groups = {allHosts}});
        driver->AddHost(0x0A000005, {.kind = SimulatedCard::Kind::Promiscuous,
                                     .own = {0x02, 0x77, 0, 0, 0, 5}});
        WorkerScanEngine::Lookups lookups;
        lookups.vendor = [this](const MacAddress &) { return gate.Pass(); };
        scan = std::make_unique<ScanAssembly>(ScanAssembly::Parts{
            driver, windows, windows, settings, nodes, windows, events, logFile, clock, lookups});
        controller = &scan->Controller();
    }
    ~CycleScan() override
    {
        gate.Set(true);
        scan.reset();
    }

    // Probes sent so far for an address, as the address's last byte.
    int ProbesTo(std::uint8_t host) const
    {
        int n = 0;
        for (const MemoryDriver::SentFrame &frame : driver->Sent())
            n += frame.bytes.size() >= 42 && std::uint8_t(frame.bytes[41]) == host;
        return n;
    }

    QStringList Lost() const { return log.lines.filter(QRegularExpression(u"^(\\+|DOWN) "_s)); }

    std::shared_ptr<MemoryDriver> driver = std::make_shared<MemoryDriver>();
    FixedSettings settings;
    NodeList nodes;
    QuietScanWindows windows;
    ScanEvents events;
    RecordedLog log{events};
    NoEventLog logFile;
    AnalyserGate gate;
    FixedClock clock{QDateTime(QDate(2026, 12, 8), QTime(3, 0))};
    std::unique_ptr<ScanAssembly> scan;
    ScanController *controller = nullptr;
};

TEST_F(CycleScan, RepliesStillOnTheirWayWhenTheScanTimerEndsCountInTheirCycle)
{
    controller->Start();
    ASSERT_TRUE(controller->Running()) << windows.messages.join(u'|').toStdString();
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 1"_s); }));
    ASSERT_EQ(Lost(), QStringList());
    // Cycle 2's replies are captured, but none is classified before its
    // Scan Timer has run out.
    gate.Set(false);
    ASSERT_TRUE(WaitUntil([&] { return controller->AwaitingReplies() || log.Has(u"cycle 2"_s); }));
    EXPECT_TRUE(controller->AwaitingReplies());
    gate.Set(true);
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 2"_s); }));
    EXPECT_FALSE(controller->AwaitingReplies());
    EXPECT_EQ(Lost(), QStringList()) << log.lines.join(u'|').toStdString();
    // Nothing changed, so cycle 2 wrote no answer anew either.
    EXPECT_EQ(log.After(u"cycle 1"_s), QStringList{u"cycle 2"_s});
}

TEST_F(CycleScan, StopWhileTheCycleWaitsForItsRepliesIsPrompt)
{
    controller->Start();
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 1"_s); }));
    gate.Set(false);
    ASSERT_TRUE(WaitUntil([&] { return controller->AwaitingReplies(); }));
    controller->Stop();
    EXPECT_FALSE(controller->AwaitingReplies());
    EXPECT_FALSE(controller->Running());
    gate.Set(true);
    ASSERT_TRUE(WaitUntil([&] { return scan->Workers().LiveWorkers() == 0; }));
    QCoreApplication::processEvents();
    EXPECT_FALSE(log.Has(u"cycle 2"_s));
}

TEST_F(CycleScan, CycleWhoseCaptureLostFramesJudgesNoSilence)
{
    controller->Start();
    ASSERT_TRUE(controller->Running()) << windows.messages.join(u'|').toStdString();
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 1"_s); }));
    const auto Cells = [&] { return NodeCellTexts(nodes.At(*nodes.Find(Ip2))); };
    const NodeCells before = Cells();
    // The first two replies of cycle 2, one of them 10.0.0.2's Br, are lost
    // to a full capture buffer.
    driver->DropNextReplies(2);
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 2"_s); }));
    EXPECT_EQ(log.After(u"cycle 1"_s), QStringList({u"dropped 2"_s, u"cycle 2"_s}));
    // The node stays as it was last seen, so the next cycle, which hears it
    // again, reports no change either.
    EXPECT_EQ(Cells(), before);
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 3"_s); }));
    EXPECT_EQ(log.After(u"cycle 2"_s), QStringList{u"cycle 3"_s});
}

// A frame the segment lost is asked again before its silence is judged;
// with Node Timer pacing the probes stay as they were and so do the lines.
class PacedCycleScan : public CycleScan, public testing::WithParamInterface<int>
{
  protected:
    PacedCycleScan() { settings.values.sendRate = GetParam(); }
    bool Paced() const { return settings.values.sendRate > 0; }
    // Runs cycle 1, loses the next `lost` requests to 10.0.0.5 and runs
    // cycle 2: the probes .5 got in it.
    int Cycle2Probes(int lost)
    {
        controller->Start();
        EXPECT_TRUE(WaitUntil([&] { return log.Has(u"cycle 1"_s); }));
        driver->LoseRequestsTo(0x0A000005, lost);
        const int before = ProbesTo(5);
        EXPECT_TRUE(WaitUntil([&] { return log.Has(u"cycle 2"_s); }));
        return ProbesTo(5) - before;
    }
};

TEST_P(PacedCycleScan, AnswersLostOnceComeToTheRecheck)
{
    // Every answer of the sniffer .5, Br and the illegal ones, lost once.
    EXPECT_EQ(Cycle2Probes(TestCount), Paced() ? 2 * TestCount : TestCount);
    EXPECT_EQ(Lost().size(), Paced() ? 0 : TestCount) << log.lines.join(u'|').toStdString();
    // Nothing else was asked again.
    EXPECT_EQ(ProbesTo(2), 2 * TestCount);
}

TEST_P(PacedCycleScan, ANodeGoneSilentIsReportedOnceAfterItsRecheck)
{
    EXPECT_EQ(Cycle2Probes(1000000), Paced() ? 2 * TestCount : TestCount);
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 3"_s); }));
    // The same lines at either pacing: each answer .5 gave in cycle 1, once.
    QStringList expected;
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column)
        expected << u"+ %1 10.0.0.5"_s.arg(column);
    EXPECT_EQ(Lost(), expected) << log.lines.join(u'|').toStdString();
}

TEST_F(CycleScan, StopDuringTheRecheckIsPrompt)
{
    controller->Start();
    ASSERT_TRUE(WaitUntil([&] { return log.Has(u"cycle 1"_s); }));
    driver->LoseRequestsTo(0x0A000005, 1000000);
    ASSERT_TRUE(WaitUntil([&] { return controller->Rechecking(); }));
    controller->Stop();
    EXPECT_FALSE(controller->Rechecking());
    EXPECT_FALSE(controller->Running());
    ASSERT_TRUE(WaitUntil([&] { return scan->Workers().LiveWorkers() == 0; }, 2000));
    QCoreApplication::processEvents();
    EXPECT_EQ(Lost(), QStringList());
    EXPECT_FALSE(log.Has(u"cycle 2"_s));
}

INSTANTIATE_TEST_SUITE_P(SendRate, PacedCycleScan, testing::Values(2000, 0));

} // namespace
