// One full sweep over a range through libpcap, Node Timer 0 and Packet
// Number 1, with the default test addresses, from this process or through
// the capture helper given. bench/wire.sh runs it inside the lab segment's
// scanner namespace and counts the frames on the wire.
//
//   wire_sweep ADAPTER OWN_IP FROM TO [FRAMES_PER_SECOND [HELPER]]

#include "config/addresstext.h"
#include "config/setuprules.h"
#include "scan/pcapdriver.h"
#include "scan/probeframe.h"
#include "scan/scanworkers.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
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
    if (args.size() < 5 || args.size() > 7) {
        std::fprintf(stderr,
                     "usage: wire_sweep ADAPTER OWN_IP FROM TO [FRAMES_PER_SECOND [HELPER]]\n");
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
    const auto driver = args.size() == 7
                            ? std::make_shared<PcapDriver>(CaptureAccess::Helper, args[6])
                            : std::make_shared<PcapDriver>(CaptureAccess::Direct);
    ScanWorkers workers(driver, status, messages);
    QString error;
    if (!workers.OpenCaptureAdapter(args[1], ScanSenders(s, {}), &error)) {
        std::fprintf(stderr, "wire_sweep: %s\n", qPrintable(error));
        return 1;
    }
    QElapsedTimer timer;
    timer.start();
    workers.StartSweep(inputs, [&](quint64) {
        const double seconds = double(timer.nsecsElapsed()) / 1e9;
        const CaptureTally tally = workers.Tally();
        std::printf("sweep: %llu probes in %.3f s (%.0f per second), %.1f per request\n",
                    static_cast<unsigned long long>(tally.probesSent), seconds,
                    double(tally.probesSent) / seconds,
                    double(tally.probesSent) / double(std::max<quint64>(tally.sendRequests, 1)));
        app.quit();
    });
    return app.exec();
}
