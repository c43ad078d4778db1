// One full sweep over a range through libpcap, Node Timer 0 and Packet
// Number 1, with the default test addresses. bench/wire.sh runs it inside
// the lab segment's scanner namespace and counts the frames on the wire.
//
//   wire_sweep ADAPTER OWN_IP FROM TO

#include "config/addresstext.h"
#include "config/setuprules.h"
#include "scan/pcapdriver.h"
#include "scan/scanworkers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <cstdio>

using namespace keelwatch;
using namespace Qt::StringLiterals;

namespace {

class NoStatus : public CaptureStatus
{
  public:
    void ShowCaptureState(CaptureState) override {}
    void ShowRelayedCount(quint64) override {}
    void ShowSweepProgress(qint64, qint64, qint64) override {}
};

class Messages : public WorkerMessages
{
  public:
    void ShowWorkerMessage(const QString &text) override
    {
        std::fprintf(stderr, "wire_sweep: %s\n", qPrintable(text));
    }
};

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() != 5 && args.size() != 6) {
        std::fprintf(stderr, "usage: wire_sweep ADAPTER OWN_IP FROM TO [FRAMES_PER_SECOND]\n");
        return 2;
    }
    auto inputs = std::make_shared<ScanInputs>();
    Settings &s = inputs->settings;
    s.ownIp = IpFromText(args[2]);
    s.adapter = {args[1], s.ownIp.value_or(IpAddress{})};
    s.listMode = false;
    s.packetCount = 1;
    s.nodeTimerMs = 0;
    // Without a rate as fast as the card takes them: no rate pacing.
    s.sendRate = NumberFromText(SendRateRule, args.value(5, u"0"_s));
    std::atomic<ScanStep> step{ScanStep::Scanning};
    inputs->scanStep = &step;
    inputs->probeSourceMacs = BuildProbeSourceMacs(*s.ownMac);
    const qint64 from = IpTextToNumber(args[3]);
    const qint64 to = IpTextToNumber(args[4]);
    if (from < 0 || to < 0) {
        std::fprintf(stderr, "wire_sweep: FROM and TO must be IPv4 addresses\n");
        return 2;
    }
    inputs->rangeStart = quint32(from);
    inputs->rangeEnd = quint32(to);

    NoStatus status;
    Messages messages;
    ScanWorkers workers(std::make_shared<PcapDriver>(), status, messages);
    QElapsedTimer timer;
    timer.start();
    workers.StartSweep(inputs, [&](quint64) {
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const double frames = double(to - from + 1) * 5;
        std::printf("sweep: %.0f probes in %.3f s (%.0f per second)\n", frames, seconds,
                    frames / seconds);
        app.quit();
    });
    return app.exec();
}
