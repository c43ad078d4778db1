#include "core/workerscanengine.h"

#include "scan/probeledger.h"

#include <random>
#include <utility>

namespace keelwatch {

namespace {

// The family of the first illegal test the node answered in this sweep, if
// any. Answers carried over from the last sweep are "+" alone, so an answer
// in a mark is this sweep's. The node's Br answer is not waited for: the
// confirmation itself tells a sniffer, and a lost Br reply must not keep it
// from being asked.
std::optional<ConfirmationFamily> SuspectFamily(const Node &node)
{
    for (int column = FirstResultColumn; column <= LastResultColumn; ++column) {
        if (node.MarkOf(column).answer != Answer::Illegal)
            continue;
        if (const auto family = FamilyOfColumn(column))
            return family;
    }
    return std::nullopt;
}

} // namespace

WorkerScanEngine::WorkerScanEngine(ScanWorkers &w, NodeList &n, ScanEvents &e, Lookups l)
    : workers(w), nodes(n), events(e), lookups(std::move(l))
{
    handledConnection = QObject::connect(&workers, &ScanWorkers::repliesHandled, [this] {
        if (repliesClassified)
            repliesClassified();
    });
}

WorkerScanEngine::~WorkerScanEngine()
{
    // The assembly that owns this engine ends its workers first, with their
    // waits for confirmations: the workers must not be touched here. Dropping
    // the connection is safe whichever went first.
    QObject::disconnect(handledConnection);
}

bool WorkerScanEngine::OpenCaptureAdapter(const ScanSnapshot &scan, QString &reason)
{
    // Drawn afresh for every scan, so that neither a normal card's filter
    // nor a forger meets the same addresses scan after scan; the adapter
    // sends from them and the test sources alone.
    std::random_device seed;
    random.seed((std::uint64_t(seed()) << 32) | seed());
    confirmationSources.clear();
    if (scan.settings.confirmSuspects)
        confirmationSources =
            DrawConfirmationSources(scan.settings.ownMac.value_or(MacAddress{}), random);
    return workers.OpenCaptureAdapter(scan.settings.adapter.name,
                                      ScanSenders(scan.settings, confirmationSources), &reason);
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
                                                     const std::atomic<ScanStep> &scanStep) const
{
    auto inputs = std::make_shared<ScanInputs>();
    inputs->settings = scan.settings;
    inputs->probeSourceMacs = scan.probeSourceMacs;
    inputs->rangeStart = scan.rangeStart;
    inputs->rangeEnd = scan.rangeEnd;
    inputs->confirmationSources = confirmationSources;
    inputs->asked = asked;
    inputs->scanStep = &scanStep;
    inputs->captureCounterShown = lookups.captureCounterShown;
    const NodeList *list = &nodes;
    inputs->nodesWithIp = [list](const IpAddress &ip) { return list->CountOf(ip); };
    inputs->lookupVendor = lookups.vendor;
    return inputs;
}

void WorkerScanEngine::StartCapture(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep)
{
    asked = std::make_shared<ProbeLedger>(scan.rangeStart, scan.rangeEnd);
    // The controller keeps the snapshot and the step counter for the whole
    // scan; replies of a stopped scan are dropped by the workers.
    workers.StartCapture(Inputs(scan, scanStep),
                         [this, &scan, &scanStep](const QList<DecodedReply> &replies) {
                             Classify(replies, scan, scanStep);
                         });
    confirming.clear();
    waiting.clear();
    sending = 0;
    if (scan.settings.confirmSuspects)
        workers.StartConfirmations(Inputs(scan, scanStep));
}

void WorkerScanEngine::Classify(const QList<DecodedReply> &replies, const ScanSnapshot &scan,
                                const std::atomic<ScanStep> &scanStep)
{
    // The replies that arrived together reach the grid as one insertion; the
    // node to scroll to is selected once they are all in.
    int selected = -1;
    const ReplyTargets targets{nodes, events, lookups.comment,
                               [&selected](int index) { selected = index; }};
    ReplyOptions options;
    options.format = scan.settings.format;
    options.cyclic = scan.settings.cyclic;
    options.tests = scan.settings.tests;
    // Read once: the replies of a batch are one moment to the user.
    options.autoScroll = lookups.autoScroll && lookups.autoScroll();
    // The replies came in together, a moment ago.
    options.when =
        lookups.clock ? lookups.clock->NowMSecsSinceEpoch() : QDateTime::currentMSecsSinceEpoch();
    nodes.BeginBatch();
    for (const DecodedReply &reply : replies) {
        options.scanStep = scanStep.load();
        // A confirmation answer is only counted: it never adds a node or
        // changes a node's MAC, so no decoy can rename the node it answers
        // for.
        const int index = reply.confirmationProbe < 0 ? ClassifyReply(targets, options, reply) : -1;
        if (scan.settings.confirmSuspects && options.scanStep == ScanStep::Scanning)
            FollowSuspect(reply, index, scan.settings);
    }
    nodes.EndBatch();
    if (selected >= 0 && lookups.selectNode)
        lookups.selectNode(selected);
}

void WorkerScanEngine::FollowSuspect(const DecodedReply &reply, int classified,
                                     const Settings &settings)
{
    if (reply.confirmationProbe >= 0) {
        nodes.CountConfirmationAnswer(reply.ip, reply.confirmationProbe, reply.mac);
        return;
    }
    if (confirming.contains(reply.ip))
        return;
    // The classified index holds unless an event's handler changed the list.
    const auto index =
        classified >= 0 && classified < nodes.Count() && nodes.At(classified).ip == reply.ip
            ? std::optional<int>(classified)
            : nodes.Find(reply.ip);
    const auto family = index ? SuspectFamily(nodes.At(*index)) : std::nullopt;
    if (!family || !reply.ip.IsIpv4())
        return;
    confirming.insert(reply.ip);
    const MacAddress mac = nodes.At(*index).mac;
    std::vector<MacBytes> groups =
        nodes.NextConfirmationGroups(reply.ip, *family, settings, random);
    nodes.BeginConfirmation(reply.ip, mac, groups);
    if (sending != 0)
        waiting.push_back({reply.ip.ToIpv4(), mac.bytes, std::move(groups)});
    else
        workers.Confirm(reply.ip.ToIpv4(), mac.bytes, std::move(groups));
}

void WorkerScanEngine::StartSending(std::shared_ptr<ScanInputs> inputs, std::uint64_t sweep)
{
    sending = sweep;
    workers.StartSweep(std::move(inputs), [this, sweep](quint64) { SendingFinished(sweep); });
}

void WorkerScanEngine::SendingFinished(std::uint64_t sweep)
{
    if (sweep == sending && !waiting.empty()) {
        sending = 0;
        for (const Confirmation &confirmation : std::exchange(waiting, {}))
            workers.Confirm(confirmation.address, confirmation.mac, confirmation.groups);
        // The step's Scan Timer wait starts after the batches, so that their
        // answers are in when the cycle weighs them.
        workers.AfterConfirmations([this, sweep] {
            if (sweepFinished)
                sweepFinished(sweep);
        });
        return;
    }
    if (sweep == sending)
        sending = 0;
    if (sweepFinished)
        sweepFinished(sweep);
}

void WorkerScanEngine::StartSweep(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                                  std::uint64_t sweep)
{
    confirming.clear();
    waiting.clear();
    if (scanStep.load() == ScanStep::Scanning)
        nodes.ClearConfirmations();
    // A new sweep asks afresh; a recheck still belongs to its sweep.
    if (asked)
        asked->Forget();
    StartSending(Inputs(scan, scanStep), sweep);
}

void WorkerScanEngine::StartRecheck(const ScanSnapshot &scan, const std::atomic<ScanStep> &scanStep,
                                    std::vector<RecheckTarget> targets, std::uint64_t sweep)
{
    // Still the step's own sweep: its suspects and confirmation counts stay.
    auto inputs = Inputs(scan, scanStep);
    inputs->recheck = std::move(targets);
    StartSending(std::move(inputs), sweep);
}

void WorkerScanEngine::StopSweep()
{
    sending = 0;
    waiting.clear();
    workers.ForgetConfirmationWaits();
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
