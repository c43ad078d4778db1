#include "scan/capturerelay.h"

#include "config/integertext.h"
#include "scan/capturebatch.h"

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace keelwatch {

CaptureRelay::CaptureRelay(std::shared_ptr<CaptureChannel> c, const QString &mac,
                           const std::atomic<bool> *counterShown, QObject *parent)
    : ScanThread(parent), channel(std::move(c)), ownMac(mac), counterShown(counterShown)
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
    // The first two bytes of the own MAC text, "00 11 22 ...".
    const QString mac = ownMac.trimmed();
    const auto byte0 = ParseHexDigits(QStringView(mac).mid(0, 2));
    const auto byte1 = ParseHexDigits(QStringView(mac).mid(3, 2));
    // Start refuses an own MAC that is not six hex bytes, so this is only
    // reached through a bad snapshot; nothing could be picked out then.
    if (!byte0 || !byte1)
        return;

    // The replies of one receive, handed over a message at a time.
    std::vector<CaptureRecord> replies;
    replies.reserve(RecordsPerMessage);
    quint64 count = 0;
    while (!stopRequested) {
        Packet *packet = channel->packet.get();
        if (!packet || !channel->adapter->PacketReceivePacket(*packet)) {
            Q_EMIT message(u"/ PacketReceivePacket failed "_s);
            return;
        }
        ReadDropCount();
        replies.clear();
        WalkCaptureBatch(packet->buffer, packet->bytesReceived, std::uint8_t(*byte0),
                         std::uint8_t(*byte1),
                         [&replies](const CaptureRecord &record) { replies.push_back(record); });
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
            Q_EMIT message(u"Pipe2 wait Error!!!"_s);
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
