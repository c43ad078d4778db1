// A cyclic scan through libpcap with every test address and two probes
// each, as the program runs it, printing after each cycle how many nodes
// answered the broadcast test in it, how many silent tests it asked again
// and how many answers stayed lost after that. bench/pacing.sh runs it inside
// the large lab's scanner namespace, paced by rate and by Node Timer 0.
//
//   lab_cycles ADAPTER OWN_IP FROM TO CYCLES [FRAMES_PER_SECOND]

#include "config/addresstext.h"
#include "config/clock.h"
#include "config/setuprules.h"
#include "core/eventlogfile.h"
#include "core/nodelist.h"
#include "core/scancontroller.h"
#include "core/scanevents.h"
#include "core/workerscanengine.h"
#include "scan/pcapdriver.h"
#include "scan/scanworkers.h"
#include "support/quietscan.h"

#include <QCoreApplication>

#include <algorithm>
#include <cstdio>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

// The wire engine, counting the tests each recheck asks again.
class RecheckCounter : public ScanEngine
{
  public:
    explicit RecheckCounter(ScanEngine &wire) : wire(wire)
    {
        wire.SetSweepFinishedHandler([this](std::uint64_t sweep) {
            if (sweepFinished)
                sweepFinished(sweep);
        });
        wire.SetRepliesClassifiedHandler([this] {
            if (repliesClassified)
                repliesClassified();
        });
    }
    CaptureTally Tally() const override { return wire.Tally(); }
    bool OpenCaptureAdapter(const ScanSnapshot &scan, QString &reason) override
    {
        return wire.OpenCaptureAdapter(scan, reason);
    }
    bool CreateCapturePipe(int &errorCode) override { return wire.CreateCapturePipe(errorCode); }
    void AbandonCapture() override { wire.AbandonCapture(); }
    void StartCapture(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep) override
    {
        wire.StartCapture(scan, scanStep);
    }
    void StartSweep(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                    std::uint64_t sweep) override
    {
        wire.StartSweep(scan, scanStep, sweep);
    }
    void StartRecheck(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                      std::vector<RecheckTarget> targets, std::uint64_t sweep) override
    {
        for (const RecheckTarget &target : targets)
            asked += int(std::count(target.tests.begin(), target.tests.end(), true));
        wire.StartRecheck(scan, scanStep, std::move(targets), sweep);
    }
    void StopSweep() override { wire.StopSweep(); }
    void StopCapture() override { wire.StopCapture(); }

    int asked = 0;

  private:
    ScanEngine &wire;
};

// Counts the cycle's events; at a cycle's end the settled Br marks say
// which nodes answered in it.
class CycleCounter : public QObject
{
  public:
    CycleCounter(const NodeList &nodes, const ScanEvents &events, int cycles)
        : nodes(nodes), cycles(cycles)
    {
        connect(&events, &ScanEvents::framesDropped, this,
                [this](int count) { captureDrops = count; });
        connect(&events, &ScanEvents::responseLost, this, [this] { ++lost; });
        connect(&events, &ScanEvents::cycleEnded, this, &CycleCounter::EndCycle);
    }

    const RecheckCounter *rechecks = nullptr;

  private:
    void EndCycle(int number)
    {
        int answered = 0;
        for (const Node &node : nodes.All())
            answered += node.MarkOf(BroadcastColumn).answer == Answer::Normal;
        const int asked = rechecks ? rechecks->asked : 0;
        std::printf("cycle %d: %d hosts answered Br, %d silent tests asked again, %d answers "
                    "lost after that, %d frames lost by the capture\n",
                    number, answered, asked - askedBefore, lost, captureDrops);
        std::fflush(stdout);
        askedBefore = asked;
        lost = 0;
        captureDrops = 0;
        if (number >= cycles)
            QCoreApplication::quit();
    }

    const NodeList &nodes;
    const int cycles;
    int lost = 0;
    int askedBefore = 0;
    int captureDrops = 0;
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 6 && args.size() != 7) {
        std::fprintf(stderr,
                     "usage: lab_cycles ADAPTER OWN_IP FROM TO CYCLES [FRAMES_PER_SECOND]\n");
        return 2;
    }
    Settings s;
    s.ownIp = IpFromText(args[2]);
    s.adapter = {args[1], s.ownIp.value_or(IpAddress{})};
    s.ownMac = OwnMacFromText(u"00 11 22 33 44 50"_s);
    s.from = args[3];
    s.to = args[4];
    s.tests.fill(true);
    // Groups no lab host joins.
    s.sp1Mac = MacFromText(u"01 00 5E 00 00 02"_s);
    s.sp2Mac = MacFromText(u"01 00 5E 00 00 04"_s);
    s.listMode = true;
    s.cyclic = true;
    s.confirmSuspects = false;
    s.packetCount = 2;
    s.scanTimerSeconds = 1;
    s.nodeTimerMs = 0;
    // Without a rate, Node Timer 0: every address's probes back to back.
    s.sendRate = NumberFromText(SendRateRule, args.value(6, u"0"_s));
    const int cycles = args[5].toInt();
    FixedSettings settings(s);

    NodeList nodes;
    QuietScanWindows windows;
    ScanEvents events;
    NoEventLog log;
    CycleCounter counter(nodes, events, cycles);
    SystemClock clock;
    auto workers = std::make_unique<ScanWorkers>(std::make_shared<PcapDriver>(), windows, windows);
    WorkerScanEngine wire(*workers, nodes, events, WorkerScanEngine::Lookups{});
    RecheckCounter engine(wire);
    counter.rechecks = &engine;
    ScanController controller({settings, nodes, engine, windows, events, log, clock});
    const auto printMessages = [&windows] {
        for (const QString &text : std::as_const(windows.messages))
            std::fprintf(stderr, "lab_cycles: %s\n", qPrintable(text));
    };
    controller.Start();
    if (!controller.Running()) {
        printMessages();
        return 1;
    }
    const int status = app.exec();
    // The workers read the controller's snapshot: they go first.
    controller.Shutdown();
    workers.reset();
    printMessages();
    return status;
}
