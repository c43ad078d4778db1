#include "scan/capturebatch.h"

#include "scan/packetdriver.h"

#include <QtEndian>

#include <algorithm>
#include <cstring>

namespace keelwatch {

namespace {

// Frame offsets of an Ethernet II ARP reply.
constexpr std::size_t EtherTypeAt = 12;
constexpr std::size_t ArpHeaderAt = 14;  // hardware, protocol, lengths, operation
constexpr std::size_t ArpAddresses = 22; // sender MAC and IP, target MAC and IP
constexpr std::size_t TargetMacAt = ArpAddresses + 10;
constexpr std::size_t ArpReplyEnd = ArpAddresses + CaptureRecordSize;
constexpr std::uint8_t ReplyHeader[8] = {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x02};

} // namespace

ReplyDestinations::ReplyDestinations(std::vector<std::array<std::uint8_t, 6>> addresses)
    : sorted(std::move(addresses))
{
    std::sort(sorted.begin(), sorted.end());
}

bool ReplyDestinations::Contains(const std::uint8_t *mac) const
{
    std::array<std::uint8_t, 6> key;
    std::memcpy(key.data(), mac, key.size());
    return std::binary_search(sorted.begin(), sorted.end(), key);
}

ReplyFrame JudgeReplyFrame(const std::uint8_t *frame, std::size_t captured,
                           const ReplyDestinations &ours)
{
    const bool toUs = captured >= 6 && ours.Contains(frame);
    const bool targetsUs = captured >= TargetMacAt + 6 && ours.Contains(frame + TargetMacAt);
    if (!toUs && !targetsUs)
        return ReplyFrame::Foreign;
    if (!toUs || !targetsUs || captured < ArpReplyEnd ||
        qFromBigEndian<std::uint16_t>(frame + EtherTypeAt) != 0x0806 ||
        std::memcmp(frame + ArpHeaderAt, ReplyHeader, sizeof ReplyHeader) != 0 ||
        std::memcmp(frame, frame + TargetMacAt, 6) != 0)
        return ReplyFrame::Rejected;
    return ReplyFrame::Accepted;
}

std::size_t WalkCaptureBatch(const std::uint8_t *batch, std::size_t size,
                             const ReplyDestinations &ours,
                             const std::function<void(const CaptureRecord &)> &relay)
{
    namespace L = CaptureRecordLayout;
    std::size_t rejected = 0;
    if (size < SmallestWalkedBatch)
        return rejected;
    std::size_t offset = 0;
    while (offset + 1 < size) {
        if (size - offset < L::MinimumHeader)
            return rejected;
        const std::uint8_t *record = batch + offset;
        const std::size_t captured = qFromLittleEndian<std::uint32_t>(record + L::CapturedLengthAt);
        const std::size_t header = qFromLittleEndian<std::uint16_t>(record + L::HeaderLengthAt);
        if (header < L::MinimumHeader || header > size - offset ||
            captured > size - offset - header)
            return rejected;
        const std::uint8_t *frame = record + header;
        switch (JudgeReplyFrame(frame, captured, ours)) {
        case ReplyFrame::Foreign:
            break;
        case ReplyFrame::Rejected:
            ++rejected;
            break;
        case ReplyFrame::Accepted: {
            CaptureRecord out;
            std::memcpy(out.data(), frame + ArpAddresses, out.size());
            relay(out);
            break;
        }
        }
        offset = L::Align(offset + header + captured);
    }
    return rejected;
}

} // namespace keelwatch
