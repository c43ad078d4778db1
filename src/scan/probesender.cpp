#include "scan/probesender.h"

#include <chrono>

using namespace Qt::StringLiterals;

namespace keelwatch {

ProbeSender::ProbeSender(std::shared_ptr<const ScanInputs> in, std::shared_ptr<SendAdapters> a,
                         quint64 id, QObject *parent)
    : ScanThread(parent), inputs(std::move(in)), adapters(std::move(a)), sweepId(id)
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
    const int nodeTimer = s.NodeTimerMs();
    packetNumber = s.PacketCount();
    for (int i = 0; i < TestCount; ++i)
        destinations[size_t(i)] = MacTextToBytes(s.TestDestination(FirstResultColumn + i));
    for (size_t k = 0; k < sources.size(); ++k)
        sources[k] = MacTextToBytes(inputs->probeSourceMacs[k]);

    if (inputs->rangeEnd >= inputs->rangeStart) {
        for (quint64 a = inputs->rangeStart; a <= inputs->rangeEnd; ++a) {
            if (stopRequested)
                return;
            const auto address = quint32(a);
            const int step = inputs->scanStep ? inputs->scanStep->load() : 3;
            if (s.listMode && step == 2) {
                // Finding nodes: one broadcast probe, whether Br is on or not.
                const auto &broadcast = destinations[size_t(BroadcastColumn - FirstResultColumn)];
                if (broadcast && sources[BroadcastColumn])
                    SendProbe(*broadcast, *sources[BroadcastColumn], address);
                Pause(nodeTimer);
            } else if (s.listMode) {
                // Only known nodes, once for each row that holds the address.
                const int rows =
                    inputs->nodeRowsWithIp ? inputs->nodeRowsWithIp(IpNumberToText(address)) : 0;
                for (int r = 0; r < rows; ++r) {
                    SendProbeSet(address);
                    Pause(nodeTimer);
                }
            } else if (step != 2) {
                SendProbeSet(address);
                Pause(nodeTimer);
            }
        }
    }
    Q_EMIT RestartCycleTimer(sweepId);
}

void ProbeSender::SendProbeSet(quint32 address)
{
    for (int i = 0; i < TestCount; ++i) {
        const int column = FirstResultColumn + i;
        if (!inputs->settings.TestEnabled(column))
            continue;
        const auto &destination = destinations[size_t(i)];
        const auto &source = sources[size_t(column)];
        if (destination && source)
            SendProbe(*destination, *source, address);
    }
}

void ProbeSender::SendProbe(const MacBytes &destination, const MacBytes &source, quint32 address)
{
    // The own IP is read once per sweep, so a bad one is reported once and
    // no probe without a sender address goes out.
    if (!ownIp) {
        ownIp = SenderOwnIp(inputs->settings.ownIp,
                            [this](const QString &text) { Q_EMIT message(text); });
    }
    if (!*ownIp)
        return;

    PacketAdapter *adapter = adapters->Open(inputs->settings.AdapterName());
    if (!adapter)
        return;
    if (!adapter->PacketSetHwFilter(PromiscuousFilter)) {
        Q_EMIT message(u"Mode Error !!!"_s);
        adapters->Close(adapter);
        return;
    }
    const std::unique_ptr<Packet> packet = adapters->Driver().PacketAllocatePacket();
    if (!packet) {
        adapters->Close(adapter);
        return;
    }
    BuildProbeFrame(frame, destination, source, **ownIp, address, inputs->settings.format);
    PacketInitPacket(*packet, frame.bytes.data(), std::size_t(frame.size));
    adapter->PacketSetNumWrites(packetNumber);
    adapter->PacketSendPacket(*packet);
    adapters->Close(adapter);
}

} // namespace keelwatch
