#include "scan/capturerelay.h"

#include "scan/probeframe.h"

#include <QCoreApplication>
#include <algorithm>
#include <chrono>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace keelwatch {

namespace {

// A failed receive is tried again after this rest, so that a card that is
// gone does not keep the relay spinning.
constexpr auto FailedReceiveRest = std::chrono::milliseconds(50);

} // namespace

ReplyDestinations ReplyDestinationsOf(const ScanInputs &inputs)
{
    std::vector<MacBytes> addresses(inputs.confirmationSources);
    for (const QString &text : inputs.probeSourceMacs) {
        if (const std::optional<MacBytes> mac = MacTextToBytes(text))
            addresses.push_back(*mac);
    }
    return ReplyDestinations(std::move(addresses));
}

CaptureRelay::CaptureRelay(std::shared_ptr<CaptureChannel> c, ReplyDestinations d,
                           const std::atomic<bool> *counterShown, QObject *parent)
    : ScanThread(parent), channel(std::move(c)), destinations(std::move(d)),
      counterShown(counterShown)
{
}

void CaptureRelay::Work()
{
    Relay();
    // Closing the write end ends the analyser's wait for a record.
    channel->pipe->CloseWriteEnd();
}

void CaptureRelay::Relay()
{
    CapturePipe &pipe = *channel->pipe;
    // The replies of one receive, handed over a message at a time.
    std::vector<CaptureRecord> replies;
    replies.reserve(RecordsPerMessage);
    quint64 count = 0;
    while (!stopRequested) {
        Packet *packet = channel->packet.get();
        if (!packet) {
            Q_EMIT message(QString::fromUtf8(
                QT_TRANSLATE_NOOP("MessageSink", "/ PacketReceivePacket failed ")));
            return;
        }
        if (!channel->adapter->PacketReceivePacket(*packet)) {
            // Tried again, and counted: a cycle whose capture failed judges
            // no silence, so a broken capture never reads as nodes gone.
            channel->failedReceives.fetch_add(1);
            Q_EMIT message(QString::fromUtf8(
                QT_TRANSLATE_NOOP("MessageSink", "/ PacketReceivePacket failed ")));
            std::this_thread::sleep_for(FailedReceiveRest);
            continue;
        }
        ReadDropCount();
        replies.clear();
        const std::size_t rejected = WalkCaptureBatch(
            packet->buffer, packet->bytesReceived, destinations,
            [&replies](const CaptureRecord &record) { replies.push_back(record); });
        if (rejected > 0)
            Q_EMIT repliesRejected(channel->rejectedReplies.fetch_add(rejected) + rejected);
        if (replies.empty())
            continue;
        if (counterShown && counterShown->load()) {
            count += replies.size();
            Q_EMIT captureCounted(count);
        }
        for (std::size_t first = 0; first < replies.size(); first += RecordsPerMessage) {
            const std::span<const CaptureRecord> part(
                replies.data() + first, std::min(RecordsPerMessage, replies.size() - first));
            // Waits for the analyser rather than losing a reply.
            const CapturePipe::WriteResult result = pipe.Write(part, &stopRequested);
            if (result == CapturePipe::WriteResult::Written) {
                channel->relayedRecords.fetch_add(part.size());
                continue;
            }
            pipe.CloseWriteEnd();
            if (result == CapturePipe::WriteResult::Stopped ||
                (result == CapturePipe::WriteResult::NotConnected && stopRequested))
                return;
            Q_EMIT message(
                QString::fromUtf8(QT_TRANSLATE_NOOP("MessageSink", "Pipe2 wait Error!!!")));
            stopRequested = true;
            return;
        }
    }
}

void CaptureRelay::ReadDropCount()
{
    // Read here because the adapter is this thread's alone. A cycle whose
    // frames were lost must not read a silence as a node gone.
    std::uint64_t dropped = 0;
    if (!channel->adapter->PacketGetStats(dropped) || dropped <= channel->droppedFrames.load())
        return;
    channel->droppedFrames.store(dropped);
    Q_EMIT captureDropped(dropped);
}

} // namespace keelwatch
