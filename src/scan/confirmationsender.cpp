#include "scan/confirmationsender.h"

#include "scan/probeledger.h"

#include <chrono>
#include <thread>

using namespace Qt::StringLiterals;

namespace keelwatch {

ConfirmationSender::ConfirmationSender(std::shared_ptr<const ScanInputs> in,
                                       std::shared_ptr<SendAdapters> a, QObject *parent)
    : ScanThread(parent), inputs(std::move(in)), adapters(std::move(a))
{
}

void ConfirmationSender::Confirm(quint32 address, const MacBytes &mac, std::vector<MacBytes> groups)
{
    {
        std::lock_guard lock(queueMutex);
        requests.push_back({address, mac, std::move(groups)});
    }
    queued.notify_one();
}

void ConfirmationSender::MarkSent(quint64 mark)
{
    {
        std::lock_guard lock(queueMutex);
        requests.push_back({0, {}, {}, mark});
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

std::chrono::microseconds ConfirmationSender::ProbeGap(int sendRate)
{
    if (sendRate <= 0)
        return std::chrono::microseconds(ProbeGapUs);
    return std::chrono::microseconds((1000000 + sendRate - 1) / sendRate);
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
            request = std::move(requests.front());
            requests.pop_front();
        }
        if (request.mark != 0)
            Q_EMIT batchesSent(request.mark);
        else if (ownIp)
            SendProbes(request, *ownIp);
    }
}

void ConfirmationSender::SendProbes(const Request &request, quint32 ownIp)
{
    if (inputs->asked)
        inputs->asked->Note(request.address);
    const std::vector<MacBytes> &groups = request.groups;
    const std::vector<MacBytes> &sources = inputs->confirmationSources;
    // Never faster than the sweep: each probe waits a whole gap after the
    // last, however late that one went out.
    const std::chrono::microseconds pause = ProbeGap(inputs->settings.sendRate);
    auto next = std::chrono::steady_clock::now();
    for (int k = 0; k < ConfirmationBatchProbes; ++k) {
        if (stopRequested)
            break;
        const int j = BatchProbeSentAt(k);
        if (size_t(j) >= sources.size() ||
            (j < ConfirmationProbeCount && size_t(j) >= groups.size()))
            continue;
        if (!gap)
            std::this_thread::sleep_until(next);
        SendProbe(j < ConfirmationProbeCount ? groups[size_t(j)] : request.mac, sources[size_t(j)],
                  ownIp, request.address);
        if (gap)
            gap();
        else
            next = std::chrono::steady_clock::now() + pause;
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
