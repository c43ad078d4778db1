#include "scan/confirmationsender.h"

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace keelwatch {

ConfirmationSender::ConfirmationSender(std::shared_ptr<const ScanInputs> in,
                                       std::shared_ptr<SendAdapters> a, ConfirmationDestinations d,
                                       QObject *parent)
    : ScanThread(parent), inputs(std::move(in)), adapters(std::move(a)), destinations(std::move(d))
{
}

void ConfirmationSender::Confirm(quint32 address, ConfirmationFamily family)
{
    {
        std::lock_guard lock(queueMutex);
        requests.push_back({address, family});
    }
    queued.notify_one();
}

void ConfirmationSender::Abandon()
{
    stopRequested = true;
    {
        std::lock_guard lock(queueMutex);
        abandoned = true;
    }
    queued.notify_all();
}

void ConfirmationSender::SetProbeGap(std::function<void()> g)
{
    gap = std::move(g);
}

void ConfirmationSender::Work()
{
    // The probe sender reports a bad own IP or source address; without them
    // nothing is sent here either.
    const std::optional<quint32> ownIp = SenderOwnIp(inputs->settings.ownIp, {});
    const std::optional<MacBytes> source =
        MacTextToBytes(inputs->probeSourceMacs[ConfirmationSourceIndex]);
    // A plain stop is checked every so often, as the other workers do.
    constexpr auto StopCheck = std::chrono::milliseconds(250);
    while (!stopRequested) {
        Request request;
        {
            std::unique_lock lock(queueMutex);
            if (!queued.wait_for(lock, StopCheck,
                                 [this] { return abandoned || !requests.empty(); }))
                continue;
            if (abandoned)
                return;
            request = requests.front();
            requests.pop_front();
        }
        if (ownIp && source)
            SendProbes(request, *ownIp, *source);
    }
}

void ConfirmationSender::SendProbes(const Request &request, quint32 ownIp, const MacBytes &source)
{
    PacketAdapter *adapter =
        adapters->Open(inputs->settings.adapter.name, SendersOfSource(source, ownIp));
    if (!adapter)
        return;
    const std::unique_ptr<Packet> packet = adapters->Driver().PacketAllocatePacket();
    if (!packet || !adapter->PacketSetHwFilter(PromiscuousFilter)) {
        adapters->Close(adapter);
        return;
    }
    // One copy of each probe: every answer counts once.
    adapter->PacketSetNumWrites(1);
    for (const MacBytes &destination : destinations[size_t(request.family)]) {
        if (stopRequested)
            break;
        BuildProbeFrame(frame, destination, source, ownIp, request.address,
                        inputs->settings.format);
        PacketInitPacket(*packet, frame.bytes.data(), std::size_t(frame.size));
        adapter->PacketSendPacket(*packet);
        if (gap)
            gap();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(ProbeGapUs));
    }
    adapters->Close(adapter);
}

} // namespace keelwatch
