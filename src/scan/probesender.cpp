#include "scan/probesender.h"

#include "scan/probeledger.h"

#include <QCoreApplication>
#include <algorithm>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// A rate-paced sweep hands the adapter this long's frames at a time: one
// request of the capture helper carries many probes, and a stop still takes
// effect within it.
constexpr int BatchMs = 64;
constexpr MacBytes Broadcast = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF};

} // namespace

ProbeSender::ProbeSender(std::shared_ptr<const ScanInputs> in, std::shared_ptr<CaptureChannel> c,
                         quint64 id, QObject *parent)
    : ScanThread(parent), inputs(std::move(in)), channel(std::move(c)), sweepId(id)
{
}

void ProbeSender::Abandon()
{
    stopRequested = true;
    {
        std::lock_guard lock(pauseMutex);
        abandoned = true;
    }
    pauseWake.notify_all();
}

void ProbeSender::SetPause(std::function<void(int)> pause)
{
    pauseOverride = std::move(pause);
}

void ProbeSender::Pause(int milliseconds)
{
    if (pauseOverride) {
        pauseOverride(milliseconds);
        return;
    }
    if (milliseconds <= 0)
        return;
    std::unique_lock lock(pauseMutex);
    pauseWake.wait_for(lock, std::chrono::milliseconds(milliseconds), [this] { return abandoned; });
}

void ProbeSender::Work()
{
    const Settings &s = inputs->settings;
    packetNumber = s.packetCount;
    for (int i = 0; i < TestCount; ++i) {
        const std::optional<MacAddress> mac = s.TestDestination(FirstResultColumn + i);
        destinations[size_t(i)] = mac ? std::optional(mac->bytes) : std::nullopt;
    }
    for (size_t k = 0; k < sources.size(); ++k)
        sources[k] = MacTextToBytes(inputs->probeSourceMacs[k]);
    if (channel && channel->adapter)
        cardMac = channel->adapter->CardMac();

    if (inputs->rangeEnd >= inputs->rangeStart) {
        if (s.sendRate > 0)
            SendAtRate(s.sendRate);
        else
            SendByNodeTimer(s.nodeTimerMs);
        if (stopRequested)
            return;
    }
    Q_EMIT RestartCycleTimer(sweepId);
}

void ProbeSender::SendByNodeTimer(int nodeTimer)
{
    const Settings &s = inputs->settings;
    const qint64 addresses = qint64(inputs->rangeEnd) - inputs->rangeStart + 1;
    // Each address's probes go out before its pause; without a pause they
    // wait for a full request, as many addresses' worth as one carries.
    const auto sendAndPause = [&] {
        if (nodeTimer > 0 || batch.Count() + TestCount + 1 > captureprotocol::MaxProbesPerSend)
            Flush();
        Pause(nodeTimer);
    };
    for (quint64 a = inputs->rangeStart; a <= inputs->rangeEnd; ++a) {
        if (stopRequested)
            break;
        const auto address = quint32(a);
        const ScanStep step = inputs->scanStep ? inputs->scanStep->load() : ScanStep::Scanning;
        if (s.listMode && step == ScanStep::FindingNodes) {
            // Finding nodes: one broadcast probe, whether Br is on or not.
            const auto &broadcast = destinations[size_t(BroadcastColumn - FirstResultColumn)];
            if (broadcast && sources[BroadcastColumn] &&
                AddProbe(*broadcast, *sources[BroadcastColumn], address, packetNumber))
                AddRepair(address);
            sendAndPause();
        } else if (s.listMode) {
            // Only known nodes, once for each node that holds the address.
            const int rows =
                inputs->nodesWithIp ? inputs->nodesWithIp(IpAddress::FromIpv4(address)) : 0;
            for (int r = 0; r < rows; ++r) {
                AddProbeSet(address);
                sendAndPause();
            }
        } else if (step != ScanStep::FindingNodes) {
            AddProbeSet(address);
            sendAndPause();
        }
        const qint64 done = qint64(a - inputs->rangeStart) + 1;
        ReportProgress(done, addresses, (addresses - done) * nodeTimer, a == inputs->rangeEnd);
    }
    Flush();
}

std::vector<ProbeSender::Test> ProbeSender::TestsOfStep(bool findingStep) const
{
    std::vector<Test> tests;
    for (int i = 0; i < TestCount; ++i) {
        const int column = FirstResultColumn + i;
        const bool sent =
            findingStep ? column == BroadcastColumn : inputs->settings.TestEnabled(column);
        const auto &destination = destinations[size_t(i)];
        const auto &source = sources[size_t(column)];
        if (sent && destination && source)
            tests.push_back({*destination, *source, i});
    }
    return tests;
}

void ProbeSender::SendAtRate(int framesPerSecond)
{
    const Settings &s = inputs->settings;
    const ScanStep step = inputs->scanStep ? inputs->scanStep->load() : ScanStep::Scanning;
    const bool recheck = !inputs->recheck.empty();
    const bool findingStep = !recheck && s.listMode && step == ScanStep::FindingNodes;
    const std::vector<Test> tests = TestsOfStep(findingStep);

    // List Mode's probe step sends to known nodes only, a recheck to its
    // targets; the others to every address of the range, which need not be
    // listed one by one.
    const bool listed = recheck || (s.listMode && !findingStep);
    std::vector<Target> targets;
    qint64 addresses = qint64(inputs->rangeEnd) - inputs->rangeStart + 1;
    qint64 total = 0;
    int mostSets = 0;
    TestFlags allTests;
    allTests.fill(true);
    if (recheck) {
        for (const RecheckTarget &target : inputs->recheck)
            targets.push_back({target.address, 1, target.tests});
        addresses = qint64(targets.size());
    } else if (listed) {
        for (quint64 a = inputs->rangeStart; a <= inputs->rangeEnd && !stopRequested; ++a) {
            const int rows =
                inputs->nodesWithIp ? inputs->nodesWithIp(IpAddress::FromIpv4(quint32(a))) : 0;
            if (rows > 0)
                targets.push_back({quint32(a), rows, allTests});
        }
    } else if (s.listMode || step != ScanStep::FindingNodes) {
        mostSets = 1;
        total = addresses * packetNumber * qint64(tests.size());
    }
    for (const Target &target : targets) {
        mostSets = std::max(mostSets, target.sets);
        for (const Test &test : tests)
            total += target.tests[size_t(test.index)] ? target.sets * packetNumber : 0;
    }
    // The own-IP mode's repairs take their places in the schedule too.
    const bool repairing = Repairing() && total > 0;
    if (repairing)
        total += listed ? qint64(targets.size()) : addresses;

    using Clock = std::chrono::steady_clock;
    const std::chrono::duration<double, std::nano> period(1e9 / framesPerSecond);
    // A sender held up (a message box, a slow card) resumes at the rate
    // instead of catching up in one burst.
    const auto mostBehind = std::chrono::milliseconds(10);
    const int framesPerBatch =
        std::clamp(framesPerSecond * BatchMs / 1000, 1, captureprotocol::MaxProbesPerSend);
    batch.Clear();
    batch.SetGap(std::uint32_t(period.count()));
    Clock::time_point start = Clock::now();
    qint64 sent = 0;
    qint64 batchFirst = 0;
    const auto flushAtRate = [&] {
        if (batch.Empty())
            return true;
        auto due = start + std::chrono::duration_cast<Clock::duration>(period * double(batchFirst));
        const Clock::time_point now = Clock::now();
        if (now - due > mostBehind) {
            start += now - due;
            due = now;
        }
        if (!WaitUntil(due))
            return false;
        Flush();
        batchFirst = sent;
        ReportProgress(
            qint64(double(sent) * double(addresses) / double(std::max<qint64>(total, 1))),
            addresses, qint64(double(total - sent) * 1000.0 / framesPerSecond), sent == total);
        return true;
    };
    const auto sendOne = [&](const Test &test, quint32 address) {
        AddProbe(test.destination, test.source, address, 1);
        ++sent;
        return batch.Count() < framesPerBatch || flushAtRate();
    };

    for (int round = 0; round < packetNumber * mostSets; ++round) {
        for (const Test &test : tests) {
            if (listed) {
                for (const Target &target : targets) {
                    if (round < target.sets * packetNumber && target.tests[size_t(test.index)] &&
                        !sendOne(test, target.address))
                        return;
                }
            } else {
                for (quint64 a = inputs->rangeStart; a <= inputs->rangeEnd; ++a) {
                    if (!sendOne(test, quint32(a)))
                        return;
                }
            }
        }
    }
    // The probes' own-IP mode leaves every host it reached pointing at a
    // source address; one request from the card puts each entry right.
    if (repairing) {
        const auto repairOne = [&](quint32 address) {
            AddRepair(address);
            ++sent;
            return batch.Count() < framesPerBatch || flushAtRate();
        };
        if (listed) {
            for (const Target &target : targets) {
                if (!repairOne(target.address))
                    return;
            }
        } else {
            for (quint64 a = inputs->rangeStart; a <= inputs->rangeEnd; ++a) {
                if (!repairOne(quint32(a)))
                    return;
            }
        }
    }
    if (!flushAtRate())
        return;
    if (total == 0)
        ReportProgress(addresses, addresses, 0, true);
}

bool ProbeSender::WaitUntil(std::chrono::steady_clock::time_point due)
{
    // Sleeps only when at least a millisecond ahead, and in slices, so a
    // stop gets through at any rate; the schedule keeps the average.
    constexpr auto Coarse = std::chrono::milliseconds(1);
    constexpr auto Slice = std::chrono::milliseconds(50);
    for (;;) {
        if (stopRequested)
            return false;
        const auto ahead = due - std::chrono::steady_clock::now();
        if (ahead < Coarse)
            return true;
        std::unique_lock lock(pauseMutex);
        pauseWake.wait_for(lock, std::min<std::chrono::steady_clock::duration>(ahead, Slice),
                           [this] { return abandoned; });
    }
}

void ProbeSender::ReportProgress(qint64 address, qint64 addresses, qint64 msLeft, bool last)
{
    constexpr auto Interval = std::chrono::milliseconds(250);
    const auto now = std::chrono::steady_clock::now();
    if (!last && now - lastReport < Interval)
        return;
    lastReport = now;
    Q_EMIT progressed(sweepId, address, addresses, msLeft);
}

void ProbeSender::AddProbeSet(quint32 address)
{
    bool any = false;
    for (int i = 0; i < TestCount; ++i) {
        const int column = FirstResultColumn + i;
        if (!inputs->settings.TestEnabled(column))
            continue;
        const auto &destination = destinations[size_t(i)];
        const auto &source = sources[size_t(column)];
        if (destination && source)
            any = AddProbe(*destination, *source, address, packetNumber) || any;
    }
    if (any)
        AddRepair(address);
}

bool ProbeSender::AddProbe(const MacBytes &destination, const MacBytes &source, quint32 address,
                           int copies)
{
    // The own IP is read once per sweep, so a bad one is reported once and
    // no probe without a sender address goes out.
    if (!ownIp) {
        ownIp = SenderOwnIp(inputs->settings.ownIp,
                            [this](const QString &text) { Q_EMIT message(text); });
        senderIp = ProbeSenderAddress(inputs->settings).value_or(0);
    }
    if (!*ownIp)
        return false;
    // Noted first: the reply may be back before the send returns.
    if (inputs->asked)
        inputs->asked->Note(address);
    BuildProbeFrame(frame, destination, source, senderIp, address, inputs->settings.format);
    batch.Add({frame.bytes.data(), std::size_t(frame.size)}, copies);
    return true;
}

bool ProbeSender::Repairing() const
{
    return inputs->settings.probeSenderIp == ProbeSenderIp::Own && cardMac &&
           inputs->settings.ownIp;
}

void ProbeSender::AddRepair(quint32 address)
{
    // Only after a probe went out with the own IP.
    if (!Repairing() || !ownIp || !*ownIp)
        return;
    BuildProbeFrame(frame, Broadcast, *cardMac, **ownIp, address, FrameFormat::Ethernet2);
    batch.Add({frame.bytes.data(), std::size_t(frame.size)});
}

void ProbeSender::Flush()
{
    if (batch.Empty())
        return;
    PacketAdapter *adapter = channel ? channel->adapter.get() : nullptr;
    if (adapter && !adapter->PacketSetHwFilter(PromiscuousFilter))
        Q_EMIT message(QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "Mode Error !!!")));
    else if (adapter && adapter->PacketSendPackets(batch))
        channel->CountSend(batch.Count());
    batch.Clear();
}

} // namespace keelwatch
