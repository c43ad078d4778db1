#include "scan/capturebatch.h"

#include "scan/packetdriver.h"

#include <QtEndian>

#include <cstring>

namespace keelwatch {

namespace {

// Frame offsets of an Ethernet II ARP reply.
constexpr std::size_t EtherTypeLow = 13; // 0x06 of 0x0806
constexpr std::size_t OperationLow = 21; // 0x02 of reply
constexpr std::size_t ArpAddresses = 22; // sender MAC and IP, target MAC and IP
constexpr std::size_t ArpReplyEnd = ArpAddresses + CaptureRecordSize;

} // namespace

void WalkCaptureBatch(const std::uint8_t *batch, std::size_t size, std::uint8_t ownMac0,
                      std::uint8_t ownMac1, const std::function<void(const CaptureRecord &)> &relay)
{
    namespace L = CaptureRecordLayout;
    if (size < SmallestWalkedBatch)
        return;
    std::size_t offset = 0;
    while (offset + 1 < size) {
        if (size - offset < L::MinimumHeader)
            return;
        const std::uint8_t *record = batch + offset;
        const std::size_t captured = qFromLittleEndian<std::uint32_t>(record + L::CapturedLengthAt);
        const std::size_t header = qFromLittleEndian<std::uint16_t>(record + L::HeaderLengthAt);
        if (header < L::MinimumHeader || header > size - offset ||
            captured > size - offset - header)
            return;
        const std::uint8_t *frame = record + header;
        if (captured >= ArpReplyEnd && frame[0] == ownMac0 && frame[1] == ownMac1 &&
            frame[EtherTypeLow] == 0x06 && frame[OperationLow] == 0x02) {
            CaptureRecord out;
            std::memcpy(out.data(), frame + ArpAddresses, out.size());
            relay(out);
        }
        offset = L::Align(offset + header + captured);
    }
}

} // namespace keelwatch
