// What confirmation costs a sweep of a /24 with five suspects: the frames it
// adds and the time from the sweep's start until every suspect's verdict is
// in, against the same sweep without confirmation, both on the in-memory
// driver with simulated cards (Node Timer 0, one copy of each probe).

#include "config/addresstext.h"
#include "core/nodelist.h"
#include "core/scanevents.h"
#include "core/workerscanengine.h"
#include "scan/scanworkers.h"
#include "support/memorydriver.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QDeadlineTimer>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

constexpr int Suspects = 5;

class Quiet : public CaptureStatus, public WorkerMessages
{
  public:
    void ShowCaptureState(CaptureState) override {}
    void ShowRelayedCount(quint64) override {}
    void ShowSweepProgress(qint64, qint64, qint64) override {}
    void ShowWorkerMessage(const QString &) override {}
};

void BM_SweepOfASlash24WithFiveSuspects(benchmark::State &state)
{
    int argc = 1;
    char name[] = "bench_confirmation";
    char *argv[] = {name, nullptr};
    QCoreApplication app(argc, argv);
    const bool confirm = state.range(0) != 0;

    ScanSnapshot scan;
    Settings &s = scan.settings;
    s.adapter = {u"lab0"_s, *IpFromText(u"10.0.0.1"_s)};
    s.ownIp = IpFromText(u"10.0.0.1"_s);
    s.ownMac = OwnMacFromText(u"00 11 22 33 44 50"_s);
    s.listMode = false;
    s.packetCount = 1;
    s.nodeTimerMs = 0;
    s.confirmSuspects = confirm;
    scan.probeSourceMacs = BuildProbeSourceMacs(*s.ownMac);
    scan.rangeStart = 0x0A000001;
    scan.rangeEnd = 0x0A0000FE;
    const std::atomic<ScanStep> step{ScanStep::Scanning};

    double frames = 0;
    for (auto _ : state) {
        auto driver = std::make_shared<MemoryDriver>();
        for (quint32 host = 2; host <= 0xFE; ++host) {
            SimulatedCard card;
            card.own = {0x02, 0x77, 0, 0, 0, std::uint8_t(host)};
            if (host % 50 == 0)
                card.kind = SimulatedCard::Kind::Promiscuous;
            else
                card.groups = {{0x01, 0x00, 0x5E, 0x00, 0x00, 0x01}};
            driver->AddHost(0x0A000000 | host, card);
        }
        Quiet quiet;
        NodeList nodes;
        ScanEvents events;
        // Ended outside the timing: joining the capture waits out its read
        // time-out.
        auto workers = std::make_unique<ScanWorkers>(driver, quiet, quiet);
        WorkerScanEngine engine(*workers, nodes, events, WorkerScanEngine::Lookups{});
        QString reason;
        int error = 0;
        engine.OpenCaptureAdapter(scan, reason);
        engine.CreateCapturePipe(error);
        bool swept = false;
        engine.SetSweepFinishedHandler([&](std::uint64_t) { swept = true; });
        engine.StartCapture(scan, step);
        engine.StartSweep(scan, step, 1);
        const auto done = [&] {
            if (!swept || nodes.Count() < 253)
                return false;
            int judged = 0;
            for (quint32 host = 50; host <= 0xFE; host += 50)
                judged += nodes.ConfirmationAnswers(IpAddress::FromIpv4(0x0A000000 | host)) ==
                          ConfirmationProbeCount;
            return !confirm || judged == Suspects;
        };
        QDeadlineTimer deadline(30000);
        while (!done() && !deadline.hasExpired())
            QCoreApplication::processEvents(QEventLoop::AllEvents, 1);
        state.PauseTiming();
        frames = double(driver->Sent().size());
        engine.StopSweep();
        engine.StopCapture();
        workers.reset();
        state.ResumeTiming();
    }
    state.counters["frames"] = frames;
}

} // namespace

BENCHMARK(BM_SweepOfASlash24WithFiveSuspects)
    ->ArgName("confirm")
    ->Arg(0)
    ->Arg(1)
    ->Unit(benchmark::kMillisecond)
    ->UseRealTime();

BENCHMARK_MAIN();
