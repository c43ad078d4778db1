#pragma once

#include "config/adapterlist.h"
#include "scan/captureprotocol.h"

#include <QString>

#include <array>
#include <cstddef>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <span>
#include <vector>

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

// The addresses one scan's probes come from: the own MAC with its last hex
// digit 0 to F, and the own IP.
using ProbeSenders = captureprotocol::ProbeSenders;

// The senders of the scan whose probes use this source address.
inline ProbeSenders SendersOfSource(std::array<std::uint8_t, 6> source, std::uint32_t ownIp)
{
    source[5] &= 0xF0;
    return {source, ownIp};
}

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
    // The next sends put each frame on the wire this many times.
    virtual bool PacketSetNumWrites(int count) = 0;
    // Sends packet.length bytes of packet.buffer; returns once sent.
    virtual bool PacketSendPacket(const Packet &packet) = 0;
    // Fills packet.buffer with a batch and sets packet.bytesReceived (0 when
    // the read time-out passed without frames). False when the adapter
    // failed; ErrorText() then tells why.
    virtual bool PacketReceivePacket(Packet &packet) = 0;
    // Frames the capture lost since the adapter was opened because they
    // found its buffer full (the kernel's and the card's count). False when
    // the driver cannot tell.
    virtual bool PacketGetStats(std::uint64_t &droppedFrames) = 0;
    // The sends of this adapter come from these senders only. An adapter of
    // the capture helper refuses other frames, and other senders once bound;
    // one of this process sends what it is given.
    virtual bool BindSenders(const ProbeSenders &) { return true; }
    virtual QString ErrorText() const = 0;
};

// The packet driver: adapter discovery and opening adapters. Open and
// allocate may be called from any thread.
class PacketDriver : public AdapterSource
{
  public:
    // Nothing when the adapter cannot be opened; error then holds the
    // driver's reason (a permission problem, an unknown name).
    virtual std::unique_ptr<PacketAdapter> PacketOpenAdapter(const QString &name,
                                                             QString *error) = 0;
    // A packet object, or nothing when memory is short.
    virtual std::unique_ptr<Packet> PacketAllocatePacket();
};

// The send handles of one scan. Opening an adapter costs about 12 ms on
// Linux (closing a packet socket waits for an RCU grace period), which would
// cap a sweep at some 80 probes a second; so a handle handed back by Close
// is kept and handed out again by the next Open of that name and senders,
// and all of them are closed when the last owner of this object lets go of
// it. On the
// wire nothing changes. Thread-safe.
class SendAdapters
{
  public:
    explicit SendAdapters(std::shared_ptr<PacketDriver> driver);
    // A kept handle of that name and those senders or a newly opened one;
    // null when it cannot be opened. Give it back with Close.
    PacketAdapter *Open(const QString &name, const ProbeSenders &senders);
    void Close(PacketAdapter *adapter);
    // Adapters opened from the driver so far.
    int OpenedCount() const;
    PacketDriver &Driver() const { return *driver; }

  private:
    struct Handle
    {
        QString name;
        ProbeSenders senders;
        std::unique_ptr<PacketAdapter> adapter;
        bool inUse = false;
    };

    std::shared_ptr<PacketDriver> driver;
    mutable std::mutex mutex;
    std::vector<Handle> handles;
    int opened = 0;
};

} // namespace keelwatch
