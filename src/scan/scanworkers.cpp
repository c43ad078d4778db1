#include "scan/scanworkers.h"

#include "scan/capturerelay.h"
#include "scan/confirmationsender.h"
#include "scan/probesender.h"
#include "scan/replyanalyser.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>

namespace keelwatch {

namespace {

constexpr int DriverBufferBytes = 520000;
constexpr int ReadTimeoutMs = 1000;
// The main thread gives replies to onReplies for about this long per turn
// of its event loop, so that a /16 answering at once leaves the window
// responsive; the rest waits for the next turn.
constexpr qint64 HandOverTurnNs = 4'000'000;
// Replies given to onReplies in one call at most.
constexpr qsizetype RepliesPerCall = 1024;

} // namespace

void ScanWorkers::StopAndJoin::operator()(ScanThread *worker) const
{
    worker->Abandon();
    worker->Join();
    delete worker;
}

ScanWorkers::ScanWorkers(std::shared_ptr<PacketDriver> d, CaptureStatus &s, WorkerMessages &m,
                         QObject *parent)
    : QObject(parent), driver(std::move(d)), status(s), messages(m)
{
    qRegisterMetaType<QList<DecodedReply>>();
}

ScanWorkers::~ScanWorkers()
{
    // A worker may wait for a message to be seen. Once it is disconnected no
    // further message call can be posted, and dropping the ones posted
    // already wakes their senders; only then can every worker be joined.
    for (const OwnedWorker &worker : workers) {
        disconnect(worker.get(), nullptr, this, nullptr);
        worker->Abandon();
    }
    QCoreApplication::removePostedEvents(this);
    workers.clear();
}

bool ScanWorkers::OpenCaptureAdapter(const QString &adapterName, const ProbeSenders &senders,
                                     QString *error)
{
    messagesShown.clear();
    status.ShowCaptureState(CaptureState::Opening);
    auto fresh = std::make_shared<CaptureChannel>();
    fresh->adapter = driver->PacketOpenAdapter(adapterName, senders, error);
    if (!fresh->adapter)
        return false;
    const bool promiscuous = fresh->adapter->PacketSetHwFilter(PromiscuousFilter);
    // A refused promiscuous mode stays on show: the capture then sees only
    // what is addressed to the card itself.
    status.ShowCaptureState(promiscuous ? CaptureState::On : CaptureState::ModeRefused);
    fresh->adapter->PacketSetBuff(DriverBufferBytes);
    fresh->adapter->PacketSetReadTimeout(ReadTimeoutMs);
    fresh->adapter->PacketSetBpf(CaptureFilterProgram);
    fresh->packet = driver->PacketAllocatePacket();
    if (fresh->packet) {
        fresh->buffer.resize(CaptureChannel::BufferSize);
        PacketInitPacket(*fresh->packet, fresh->buffer.data(), fresh->buffer.size());
    } else {
        status.ShowCaptureState(CaptureState::NoPacket);
    }
    channel = std::move(fresh);
    return true;
}

bool ScanWorkers::CreateCapturePipe(int *errorCode)
{
    if (!channel)
        channel = std::make_shared<CaptureChannel>();
    channel->pipe = CapturePipe::Create(errorCode);
    return channel->pipe != nullptr;
}

void ScanWorkers::StartCapture(std::shared_ptr<const ScanInputs> inputs, ReplyHandler handler)
{
    if (!channel || !channel->adapter || !channel->pipe)
        return;
    const quint64 generation = ++captureGeneration;
    handledRecords = 0;
    decoded.clear();
    onReplies = std::move(handler);

    const auto showRejected = [this, generation](quint64 count) {
        if (generation == captureGeneration && count > rejectedShown) {
            rejectedShown = count;
            status.ShowRejectedReplies(count);
        }
    };
    rejectedShown = 0;
    analyser = new ReplyAnalyser(channel, inputs);
    connect(analyser, &ReplyAnalyser::repliesRejected, this, showRejected, Qt::QueuedConnection);
    // Only queued here: the hand-over takes its time in turns of its own, so
    // a flood of replies never holds the event loop for long.
    connect(
        analyser, &ReplyAnalyser::repliesDecoded, this,
        [this, generation](const QList<DecodedReply> &replies, quint64 recordsRead) {
            if (generation != captureGeneration)
                return;
            decoded.push_back({replies, recordsRead});
            if (!handOverQueued) {
                handOverQueued = true;
                QMetaObject::invokeMethod(this, &ScanWorkers::HandOverReplies,
                                          Qt::QueuedConnection);
            }
        },
        Qt::QueuedConnection);
    Own(analyser);

    relay = new CaptureRelay(channel, ReplyDestinationsOf(*inputs), inputs->captureCounterShown);
    connect(relay, &CaptureRelay::repliesRejected, this, showRejected, Qt::QueuedConnection);
    connect(
        relay, &CaptureRelay::captureCounted, this,
        [this](quint64 count) { status.ShowRelayedCount(count); }, Qt::QueuedConnection);
    connect(
        relay, &CaptureRelay::captureDropped, this,
        [this, generation](quint64 count) {
            if (generation == captureGeneration)
                status.ShowCaptureDrops(count);
        },
        Qt::QueuedConnection);
    Own(relay);
}

void ScanWorkers::HandOverReplies()
{
    handOverQueued = false;
    if (decoded.empty())
        return;
    const quint64 generation = captureGeneration;
    QElapsedTimer turn;
    turn.start();
    do {
        QList<DecodedReply> replies = std::move(decoded.front().replies);
        quint64 recordsRead = decoded.front().recordsRead;
        decoded.pop_front();
        while (!decoded.empty() &&
               replies.size() + decoded.front().replies.size() <= RepliesPerCall) {
            replies.append(decoded.front().replies);
            recordsRead = decoded.front().recordsRead;
            decoded.pop_front();
        }
        // A copy: onReplies may end the capture, which lets go of it.
        if (const ReplyHandler handler = onReplies; handler && !replies.isEmpty())
            handler(replies);
        if (generation != captureGeneration)
            return;
        // A nested event loop in onReplies may have handed over later ones.
        handledRecords = std::max(handledRecords, recordsRead);
    } while (!decoded.empty() && turn.nsecsElapsed() < HandOverTurnNs);
    if (!decoded.empty()) {
        handOverQueued = true;
        QMetaObject::invokeMethod(this, &ScanWorkers::HandOverReplies, Qt::QueuedConnection);
    }
    Q_EMIT repliesHandled();
}

quint64 ScanWorkers::StartSweep(std::shared_ptr<const ScanInputs> inputs, SweepFinished onFinished)
{
    StopSweep();
    const quint64 id = ++lastSweepId;
    sender = new ProbeSender(std::move(inputs), channel, id);
    connect(
        sender, &ProbeSender::RestartCycleTimer, this,
        [this, onFinished](quint64 sweepId) {
            if (sweepId != lastSweepId || !sender || sender->SweepId() != sweepId)
                return;
            sender = nullptr;
            if (onFinished)
                onFinished(sweepId);
        },
        Qt::QueuedConnection);
    connect(
        sender, &ProbeSender::progressed, this,
        [this](quint64 sweepId, qint64 address, qint64 addresses, qint64 msLeft) {
            if (sweepId == lastSweepId)
                status.ShowSweepProgress(address, addresses, msLeft);
        },
        Qt::QueuedConnection);
    Own(sender);
    return id;
}

void ScanWorkers::StopSweep()
{
    if (sender)
        sender->RequestStop();
    sender = nullptr;
}

void ScanWorkers::StartConfirmations(std::shared_ptr<const ScanInputs> inputs)
{
    if (confirmations)
        confirmations->RequestStop();
    confirmations = new ConfirmationSender(std::move(inputs), channel);
    connect(
        confirmations, &ConfirmationSender::batchesSent, this,
        [this](quint64 mark) {
            const auto it = confirmationWaits.find(mark);
            if (it == confirmationWaits.end())
                return;
            const std::function<void()> then = std::move(it->second);
            confirmationWaits.erase(it);
            if (then)
                then();
        },
        Qt::QueuedConnection);
    Own(confirmations);
}

void ScanWorkers::AfterConfirmations(std::function<void()> then)
{
    if (!confirmations) {
        if (then)
            then();
        return;
    }
    const quint64 mark = ++lastConfirmationMark;
    confirmationWaits[mark] = std::move(then);
    confirmations->MarkSent(mark);
}

void ScanWorkers::ForgetConfirmationWaits()
{
    confirmationWaits.clear();
}

void ScanWorkers::Confirm(quint32 address, const MacBytes &mac, std::vector<MacBytes> groups)
{
    if (confirmations)
        confirmations->Confirm(address, mac, std::move(groups));
}

void ScanWorkers::StopCapture()
{
    if (confirmations)
        confirmations->Abandon();
    confirmations = nullptr;
    confirmationWaits.clear();
    if (relay)
        relay->RequestStop();
    if (analyser)
        analyser->RequestStop();
    relay = nullptr;
    analyser = nullptr;
    ++captureGeneration;
    decoded.clear();
    onReplies = nullptr;
    channel.reset();
}

CaptureTally ScanWorkers::Tally() const
{
    if (!channel)
        return {};
    CaptureTally tally{channel->relayedRecords.load(), handledRecords,
                       channel->droppedFrames.load(),  channel->rejectedReplies.load(),
                       channel->failedReceives.load(), channel->sendCalls.load(),
                       channel->probesSent.load()};
    // Nothing more comes from an analyser that ended: once what it handed
    // over is handled, what it left behind is not on its way.
    if (!analyser && decoded.empty())
        tally.handled = tally.relayed;
    return tally;
}

bool ScanWorkers::SweepRunning() const
{
    return sender && sender->isRunning();
}

bool ScanWorkers::CaptureRunning() const
{
    return (relay && relay->isRunning()) || (analyser && analyser->isRunning());
}

int ScanWorkers::LiveWorkers() const
{
    return int(std::count_if(workers.begin(), workers.end(),
                             [](const OwnedWorker &worker) { return !worker->isFinished(); }));
}

void ScanWorkers::Own(ScanThread *worker)
{
    workers.emplace_back(worker);
    // Released on the main thread once it has ended; its last signals were
    // queued before this one and have been handled by then.
    connect(
        worker, &ScanThread::finished, this, [this, worker] { Release(worker); },
        Qt::QueuedConnection);
    // The one place a worker waits for the main thread: a failure message
    // ("Mode Error !!!" and the like) holds the worker until it was seen,
    // so that it is not buried under the next ones. A failure that repeats
    // for every probe is shown once per scan.
    connect(
        worker, &ScanThread::message, this,
        [this](const QString &text) {
            if (!messagesShown.contains(text)) {
                messagesShown.insert(text);
                messages.ShowWorkerMessage(text);
            }
        },
        Qt::BlockingQueuedConnection);
    worker->start();
}

void ScanWorkers::Release(ScanThread *worker)
{
    if (worker == sender)
        sender = nullptr;
    if (worker == relay)
        relay = nullptr;
    const bool analyserEnded = worker == analyser;
    if (analyserEnded)
        analyser = nullptr;
    if (worker == confirmations)
        confirmations = nullptr;
    std::erase_if(workers, [worker](const OwnedWorker &owned) { return owned.get() == worker; });
    if (analyserEnded)
        Q_EMIT repliesHandled();
}

} // namespace keelwatch
