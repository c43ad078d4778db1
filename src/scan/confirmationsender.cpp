#include "scan/confirmationsender.h"

#include "scan/probeledger.h"

#include <chrono>

using namespace Qt::StringLiterals;

namespace keelwatch {

ConfirmationSender::ConfirmationSender(std::shared_ptr<const ScanInputs> in,
                                       std::shared_ptr<CaptureChannel> c, QObject *parent)
    : ScanThread(parent), inputs(std::move(in)), channel(std::move(c))
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
    PacketAdapter *adapter = channel ? channel->adapter.get() : nullptr;
    if (!adapter || !adapter->PacketSetHwFilter(PromiscuousFilter))
        return;
    if (inputs->asked)
        inputs->asked->Note(request.address);
    const std::vector<MacBytes> &groups = request.groups;
    const std::vector<MacBytes> &sources = inputs->confirmationSources;
    const Settings &s = inputs->settings;
    const bool ownSender = s.probeSenderIp == ProbeSenderIp::Own;
    const quint32 senderIp = ProbeSenderAddress(s).value_or(0);
    // Never faster than the sweep: the adapter paces the batch a whole gap
    // apart.
    batch.Clear();
    batch.SetGap(std::uint32_t(std::chrono::nanoseconds(ProbeGap(s.sendRate)).count()));
    for (int k = 0; k < ConfirmationBatchProbes; ++k) {
        const int j = BatchProbeSentAt(k);
        if (size_t(j) >= sources.size() ||
            (j < ConfirmationProbeCount && size_t(j) >= groups.size()))
            continue;
        // One copy of each probe: every answer counts once.
        AddProbe(j < ConfirmationProbeCount ? groups[size_t(j)] : request.mac, sources[size_t(j)],
                 senderIp, request.address, s.format);
    }
    if (const std::optional<MacBytes> card = adapter->CardMac(); ownSender && card)
        AddProbe(request.mac, *card, ownIp, request.address, FrameFormat::Ethernet2);
    if (!batch.Empty() && !stopRequested && adapter->PacketSendPackets(batch))
        channel->CountSend(batch.Count());
}

void ConfirmationSender::AddProbe(const MacBytes &destination, const MacBytes &source,
                                  quint32 senderIp, quint32 address, FrameFormat format)
{
    BuildProbeFrame(frame, destination, source, senderIp, address, format);
    batch.Add({frame.bytes.data(), std::size_t(frame.size)});
}

} // namespace keelwatch
