#include "scan/scanworkers.h"

#include "scan/capturerelay.h"
#include "scan/probesender.h"
#include "scan/replyanalyser.h"

#include <QCoreApplication>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

constexpr int DriverBufferBytes = 520000;
constexpr int ReadTimeoutMs = 1000;
constexpr int CaptureStatusPanel = 6;
constexpr int CounterPanel = 7;
// Longest wait for one worker when this object goes: a relay in its read
// time-out, or a sender finishing its address.
constexpr int ShutdownWaitMs = 3000;

} // namespace

ScanWorkers::ScanWorkers(std::shared_ptr<PacketDriver> d, StatusPanels &p, WorkerMessages &m,
                         QObject *parent)
    : QObject(parent), driver(std::move(d)), panels(p), messages(m)
{
    qRegisterMetaType<QList<DecodedReply>>();
}

ScanWorkers::~ScanWorkers()
{
    // Workers waiting for a message to be seen are let go first: their
    // pending calls are dropped, which wakes them.
    for (const QPointer<ScanThread> &worker : std::as_const(live)) {
        if (worker) {
            disconnect(worker, nullptr, this, nullptr);
            worker->Abandon();
        }
    }
    QCoreApplication::removePostedEvents(this);
    for (const QPointer<ScanThread> &worker : std::as_const(live)) {
        if (worker)
            worker->Join(ShutdownWaitMs);
    }
}

bool ScanWorkers::OpenCaptureAdapter(const QString &adapterName, QString *error)
{
    panels.SetPanelText(0, u"RUN"_s);
    auto fresh = std::make_shared<CaptureChannel>();
    fresh->adapter = driver->PacketOpenAdapter(adapterName, error);
    if (!fresh->adapter)
        return false;
    const bool promiscuous = fresh->adapter->PacketSetHwFilter(PromiscuousFilter);
    panels.SetPanelText(CaptureStatusPanel, promiscuous ? u"Capture On"_s : u"Capture Error"_s);
    fresh->adapter->PacketSetBuff(DriverBufferBytes);
    fresh->adapter->PacketSetReadTimeout(ReadTimeoutMs);
    fresh->adapter->PacketSetBpf(CaptureFilterProgram);
    fresh->packet = driver->PacketAllocatePacket();
    if (fresh->packet) {
        fresh->buffer.resize(CaptureChannel::BufferSize);
        PacketInitPacket(*fresh->packet, fresh->buffer.data(), fresh->buffer.size());
        // A refused promiscuous mode stays on show: the capture then sees
        // only what is addressed to the card itself.
        if (promiscuous)
            panels.SetPanelText(CaptureStatusPanel, u"Capture On"_s);
    } else {
        panels.SetPanelText(CaptureStatusPanel, u"Packet Error"_s);
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

void ScanWorkers::StartCapture(std::shared_ptr<const ScanInputs> inputs, ReplyHandler onReplies)
{
    if (!channel || !channel->adapter || !channel->pipe)
        return;
    const quint64 generation = ++captureGeneration;

    analyser = new ReplyAnalyser(channel, inputs);
    Track(analyser);
    connect(
        analyser, &ReplyAnalyser::repliesDecoded, this,
        [this, generation, onReplies](const QList<DecodedReply> &replies) {
            if (generation == captureGeneration && onReplies)
                onReplies(replies);
        },
        Qt::QueuedConnection);
    analyser->start();

    relay = new CaptureRelay(channel, inputs->settings.ownMac, inputs->CaptureCounterShown);
    Track(relay);
    connect(
        relay, &CaptureRelay::captureCounted, this,
        [this](quint64 count) { panels.SetPanelText(CounterPanel, QString::number(count) + u' '); },
        Qt::QueuedConnection);
    relay->start();
}

quint64 ScanWorkers::StartSweep(std::shared_ptr<const ScanInputs> inputs, SweepFinished onFinished)
{
    StopSweep();
    if (!sendAdapters)
        sendAdapters = std::make_shared<SendAdapters>(driver);
    const quint64 id = ++lastSweepId;
    sender = new ProbeSender(std::move(inputs), sendAdapters, id);
    Track(sender);
    connect(
        sender, &ProbeSender::RestartCycleTimer, this,
        [this, onFinished](quint64 sweepId) {
            if (sweepId != lastSweepId || !sender || sender->SweepId() != sweepId)
                return;
            sender.clear();
            if (onFinished)
                onFinished(sweepId);
        },
        Qt::QueuedConnection);
    sender->start();
    return id;
}

void ScanWorkers::StopSweep()
{
    if (sender)
        sender->RequestStop();
    sender.clear();
}

void ScanWorkers::StopCapture()
{
    if (relay)
        relay->RequestStop();
    if (analyser)
        analyser->RequestStop();
    relay.clear();
    analyser.clear();
    ++captureGeneration;
    channel.reset();
    sendAdapters.reset();
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
    int count = 0;
    for (const QPointer<ScanThread> &worker : live)
        count += worker && !worker->isFinished();
    return count;
}

void ScanWorkers::Track(ScanThread *worker)
{
    live.removeAll(QPointer<ScanThread>());
    live.append(worker);
    // Released on the main thread once its thread has wholly ended.
    connect(worker, &ScanThread::finished, worker, [worker] {
        worker->Join();
        worker->deleteLater();
    });
    // The one place a worker waits for the main thread: a failure message
    // ("Mode Error !!!" and the like) holds the worker until it was seen,
    // so that it is not buried under the next ones.
    connect(
        worker, &ScanThread::message, this,
        [this](const QString &text) { messages.ShowWorkerMessage(text); },
        Qt::BlockingQueuedConnection);
}

} // namespace keelwatch
