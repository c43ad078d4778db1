#include "core/workerscanengine.h"

#include "config/addresstext.h"

#include <random>

namespace keelwatch {

namespace {

// The family of the first illegal test the row answered in this sweep, or
// nothing unless it answered Br too. Marks carried over from the last sweep
// are "+" alone, so a letter in a cell is this sweep's.
std::optional<ConfirmationFamily> SuspectFamily(const NodeTable &nodes, int row)
{
    if (row == 0)
        return std::nullopt;
    const QString broadcast = nodes.Cell(row, BroadcastColumn);
    if (!broadcast.contains(u'O', Qt::CaseInsensitive))
        return std::nullopt;
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
        const auto family = FamilyOfColumn(column);
        if (family && nodes.Cell(row, column).contains(u'X', Qt::CaseInsensitive))
            return family;
    }
    return std::nullopt;
}

} // namespace

WorkerScanEngine::WorkerScanEngine(ScanWorkers &w, NodeTable &n, EventSink &e, Lookups l)
    : workers(w), nodes(n), events(e), lookups(std::move(l))
{
    handledConnection = QObject::connect(&workers, &ScanWorkers::repliesHandled, [this] {
        if (repliesClassified)
            repliesClassified();
    });
}

WorkerScanEngine::~WorkerScanEngine()
{
    // The workers may outlive this engine.
    QObject::disconnect(handledConnection);
}

bool WorkerScanEngine::OpenCaptureAdapter(const ScanSnapshot &scan, QString &reason)
{
    return workers.OpenCaptureAdapter(scan.settings.adapter.name, &reason);
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

std::shared_ptr<ScanInputs> WorkerScanEngine::Inputs(const ScanSnapshot &scan,
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
    confirming.clear();
    if (scan.settings.confirmSuspects) {
        // Drawn afresh for every scan, so that a normal card's filter does
        // not meet the same addresses scan after scan.
        std::random_device seed;
        std::mt19937_64 random((std::uint64_t(seed()) << 32) | seed());
        workers.StartConfirmations(Inputs(scan, scanStep),
                                   DrawConfirmationDestinations(scan.settings, random));
    }
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
        if (scan.settings.confirmSuspects && options.scanStep == 3)
            FollowSuspect(reply);
    }
    nodes.EndRowBatch();
    if (selected != 0 && lookups.selectRow)
        lookups.selectRow(selected);
}

void WorkerScanEngine::FollowSuspect(const DecodedReply &reply)
{
    if (reply.sourceIndex == ConfirmationSourceIndex) {
        nodes.CountConfirmationAnswer(reply.ip);
        return;
    }
    if (confirming.contains(reply.ip))
        return;
    const auto family = SuspectFamily(nodes, nodes.FindNodeRow(reply.ip));
    const qint64 address = IpTextToNumber(reply.ip);
    if (!family || address < 0)
        return;
    confirming.insert(reply.ip);
    nodes.BeginConfirmation(reply.ip);
    workers.Confirm(quint32(address), *family);
}

void WorkerScanEngine::StartSweep(const ScanSnapshot &scan, const std::atomic<int> &scanStep,
                                  std::uint64_t sweep)
{
    confirming.clear();
    if (scanStep.load() == 3)
        nodes.ClearConfirmations();
    workers.StartSweep(Inputs(scan, scanStep), [this, sweep](quint64) {
        if (sweepFinished)
            sweepFinished(sweep);
    });
}

void WorkerScanEngine::StartRecheck(const ScanSnapshot &scan, const std::atomic<int> &scanStep,
                                    std::vector<RecheckTarget> targets, std::uint64_t sweep)
{
    // Still the step's own sweep: its suspects and confirmation counts stay.
    auto inputs = Inputs(scan, scanStep);
    inputs->recheck = std::move(targets);
    workers.StartSweep(std::move(inputs), [this, sweep](quint64) {
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

CaptureTally WorkerScanEngine::Tally() const
{
    return workers.Tally();
}

} // namespace keelwatch
