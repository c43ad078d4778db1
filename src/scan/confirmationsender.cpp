#include "scan/confirmationsender.h"

#include "scan/probeledger.h"

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
    // The probe sender reports a bad own IP; without it nothing is sent here
    // either.
    const std::optional<quint32> ownIp = SenderOwnIp(inputs->settings.ownIp, {});
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
        if (ownIp)
            SendProbes(request, *ownIp);
    }
}

void ConfirmationSender::SendProbes(const Request &request, quint32 ownIp)
{
    if (inputs->asked)
        inputs->asked->Note(request.address);
    const std::vector<MacBytes> &family = destinations[size_t(request.family)];
    const std::vector<MacBytes> &sources = inputs->confirmationSources;
    for (size_t j = 0; j < family.size() && j < sources.size(); ++j) {
        if (stopRequested)
            break;
        SendProbe(family[j], sources[j], ownIp, request.address);
        if (gap)
            gap();
        else
            std::this_thread::sleep_for(std::chrono::microseconds(ProbeGapUs));
    }
}

void ConfirmationSender::SendProbe(const MacBytes &destination, const MacBytes &source,
                                   quint32 ownIp, quint32 address)
{
    // Handles are kept by their block of sources, so this opens two per scan.
    PacketAdapter *adapter =
        adapters->Open(inputs->settings.adapter.name, SendersOfSource(source, ownIp));
    if (!adapter)
        return;
    const std::unique_ptr<Packet> packet = adapters->Driver().PacketAllocatePacket();
    if (packet && adapter->PacketSetHwFilter(PromiscuousFilter)) {
        // One copy of each probe: every answer counts once.
        adapter->PacketSetNumWrites(1);
        BuildProbeFrame(frame, destination, source, ownIp, address, inputs->settings.format);
        PacketInitPacket(*packet, frame.bytes.data(), std::size_t(frame.size));
        adapter->PacketSendPacket(*packet);
    }
    adapters->Close(adapter);
}

} // namespace keelwatch
