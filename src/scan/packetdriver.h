#pragma once

#include "config/adapterlist.h"
#include "scan/captureprotocol.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <optional>
#include <span>

namespace keelwatch {

// A packet object: a buffer that one send or receive works on.
struct Packet
{
    std::uint8_t *buffer = nullptr;
    std::size_t length = 0;        // bytes to send, or room to receive into
    std::size_t bytesReceived = 0; // after a receive: bytes of the batch
};

// Binds a packet object to a buffer.
inline void PacketInitPacket(Packet &packet, std::uint8_t *buffer, std::size_t length)
{
    packet.buffer = buffer;
    packet.length = length;
    packet.bytesReceived = 0;
}

// One instruction of the BSD packet filter; jumps count from the next one.
struct BpfInstruction
{
    std::uint16_t code;
    std::uint8_t jt;
    std::uint8_t jf;
    std::uint32_t k;
};

// Passes Ethernet II ARP replies, cut to 96 bytes, and nothing else.
inline constexpr BpfInstruction CaptureFilterProgram[6] = {
    {0x28, 0, 0, 12},     // load the EtherType
    {0x15, 0, 3, 0x0806}, // ARP, else reject
    {0x28, 0, 0, 20},     // load the ARP operation
    {0x15, 0, 1, 2},      // reply, else reject
    {0x06, 0, 0, 96},     // accept 96 bytes
    {0x06, 0, 0, 0},      // reject
};

// What one scan's probes come from: the sender IP and the blocks of source
// MACs; see captureprotocol.h.
using ProbeSenders = captureprotocol::ProbeSenders;
// Frames sent in one go, each a number of times, paced a gap apart.
using ProbeBatch = captureprotocol::ProbeBatch;
using MacBytes = std::array<std::uint8_t, 6>;

// Hardware filter value that puts a card into promiscuous mode.
constexpr std::uint32_t PromiscuousFilter = 0x20;

// A receive returns a batch of records. Each record is a header followed by
// the captured bytes; the header holds the captured length (32 bits) at
// offset 8 and the header length (16 bits) at offset 16, both little endian.
// The next record starts at the record's start plus header length plus
// captured length, brought up to a multiple of 4.
namespace CaptureRecordLayout {
constexpr std::size_t CapturedLengthAt = 8;
constexpr std::size_t FrameLengthAt = 12;
constexpr std::size_t HeaderLengthAt = 16;
constexpr std::size_t MinimumHeader = 18;
// The header length this program's drivers write.
constexpr std::size_t Header = 20;
constexpr std::size_t Align(std::size_t n)
{
    return (n + 3) & ~std::size_t(3);
}
} // namespace CaptureRecordLayout

// Appends one record to a batch; false (and nothing written) when it does
// not fit into capacity.
bool AppendCaptureRecord(std::uint8_t *batch, std::size_t capacity, std::size_t &used,
                         std::span<const std::uint8_t> frame, std::size_t frameLength,
                         std::uint32_t seconds, std::uint32_t microseconds);

// An open adapter. Destroying it closes it.
class PacketAdapter
{
  public:
    virtual ~PacketAdapter() = default;
    // True when the card accepted the mode.
    virtual bool PacketSetHwFilter(std::uint32_t filter) = 0;
    virtual bool PacketSetBuff(int bytes) = 0;
    // A receive returns after at most this long, with or without frames.
    virtual bool PacketSetReadTimeout(int milliseconds) = 0;
    // Until a program is set an adapter captures nothing: nobody reads an
    // adapter without one, and a send handle need not queue frames.
    virtual bool PacketSetBpf(std::span<const BpfInstruction> program) = 0;
    // Sends every frame of the batch its number of times, the batch's gap
    // apart; returns once the last is out. Any thread: the scan's senders
    // share the adapter with its capture.
    virtual bool PacketSendPackets(const ProbeBatch &batch) = 0;
    // Fills packet.buffer with a batch and sets packet.bytesReceived (0 when
    // the read time-out passed without frames). False when the adapter
    // failed; ErrorText() then tells why.
    virtual bool PacketReceivePacket(Packet &packet) = 0;
    // Frames the capture lost since the adapter was opened because they
    // found its buffer full (the kernel's and the card's count). False when
    // the driver cannot tell.
    virtual bool PacketGetStats(std::uint64_t &droppedFrames) = 0;
    // The card's own MAC, which the own-IP mode's repairs come from.
    virtual std::optional<MacBytes> CardMac() const = 0;
    virtual QString ErrorText() const = 0;
};

// The packet driver: adapter discovery and opening adapters. Open and
// allocate may be called from any thread.
class PacketDriver : public AdapterSource
{
  public:
    // The adapter of one scan: its capture, and its sends from senders
    // alone. Nothing when the adapter cannot be opened; error then holds the
    // driver's reason (a permission problem, an unknown name).
    virtual std::unique_ptr<PacketAdapter>
    PacketOpenAdapter(const QString &name, const ProbeSenders &senders, QString *error) = 0;
    // A packet object, or nothing when memory is short.
    virtual std::unique_ptr<Packet> PacketAllocatePacket();
};

} // namespace keelwatch
