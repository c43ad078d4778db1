#include "core/workerscanengine.h"

namespace keelwatch {

WorkerScanEngine::WorkerScanEngine(ScanWorkers &w, NodeTable &n, EventSink &e, Lookups l)
    : workers(w), nodes(n), events(e), lookups(std::move(l))
{
}

bool WorkerScanEngine::OpenCaptureAdapter(const ScanSnapshot &scan, QString &reason)
{
    return workers.OpenCaptureAdapter(scan.settings.AdapterName(), &reason);
}

bool WorkerScanEngine::CreateCapturePipe(int &errorCode)
{
    return workers.CreateCapturePipe(&errorCode);
}

void WorkerScanEngine::AbandonCapture()
{
    // No worker holds the adapter or the pipe yet, so they go at once.
    workers.StopCapture();
}

std::shared_ptr<const ScanInputs> WorkerScanEngine::Inputs(const ScanSnapshot &scan,
                                                           const std::atomic<int> &scanStep) const
{
    auto inputs = std::make_shared<ScanInputs>();
    inputs->settings = scan.settings;
    inputs->probeSourceMacs = scan.probeSourceMacs;
    inputs->rangeStart = scan.rangeStart;
    inputs->rangeEnd = scan.rangeEnd;
    inputs->scanStep = &scanStep;
    inputs->captureCounterShown = lookups.captureCounterShown;
    NodeTable *table = &nodes;
    inputs->nodeRowsWithIp = [table](const QString &ip) { return table->CountNodeRows(ip); };
    inputs->lookupVendor = lookups.vendor;
    return inputs;
}

void WorkerScanEngine::StartCapture(const ScanSnapshot &scan, const std::atomic<int> &scanStep)
{
    // The controller keeps the snapshot and the step counter for the whole
    // scan; replies of a stopped scan are dropped by the workers.
    workers.StartCapture(Inputs(scan, scanStep),
                         [this, &scan, &scanStep](const QList<DecodedReply> &replies) {
                             Classify(replies, scan, scanStep);
                         });
}

void WorkerScanEngine::Classify(const QList<DecodedReply> &replies, const ScanSnapshot &scan,
                                const std::atomic<int> &scanStep)
{
    // The replies that arrived together reach the grid as one insertion; the
    // row to scroll to is selected once they are all in.
    int selected = 0;
    const ReplyTargets targets{nodes, events, lookups.comment,
                               [&selected](int row) { selected = row; }};
    ReplyOptions options;
    options.format = scan.settings.format;
    options.cyclic = scan.settings.cyclic;
    options.tests = scan.settings.tests;
    nodes.BeginRowBatch();
    for (const DecodedReply &reply : replies) {
        options.autoScroll = lookups.autoScroll && lookups.autoScroll();
        options.scanStep = scanStep.load();
        ClassifyReply(targets, options, reply);
    }
    nodes.EndRowBatch();
    if (selected != 0 && lookups.selectRow)
        lookups.selectRow(selected);
}

void WorkerScanEngine::StartSweep(const ScanSnapshot &scan, const std::atomic<int> &scanStep,
                                  std::uint64_t sweep)
{
    workers.StartSweep(Inputs(scan, scanStep), [this, sweep](quint64) {
        if (sweepFinished)
            sweepFinished(sweep);
    });
}

void WorkerScanEngine::StopSweep()
{
    workers.StopSweep();
}

void WorkerScanEngine::StopCapture()
{
    workers.StopCapture();
}

} // namespace keelwatch
