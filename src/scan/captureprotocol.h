#pragma once

// The protocol between the program and keelwatch-capture, the small helper
// that alone holds the capture capabilities. Plain C++: the helper links no
// Qt.
//
// Transport: one AF_UNIX SOCK_SEQPACKET socket, descriptor 3 of the helper.
// Every message is one datagram: an 8-byte header, then the payload.
//
//   offset 0  u8   version (ProtocolVersion, 1)
//   offset 1  u8   type (MessageType)
//   offset 2  u16  zero
//   offset 4  u32  payload length = datagram length - 8
//
// Numbers are little endian; IPv4 addresses in network order. The program
// sends one request and reads one reply before the next; the helper answers
// every request with Ok, Error (payload: a UTF-8 reason), Batch or
// Statistics. A message of another version, an unknown type, a wrong length
// or a request out of order gets Error and ends the session.
//
// Requests, in the order a session uses them:
//   Open             the interface name (1 to 15 bytes, a valid Linux
//                    interface name of an existing interface); first request
//                    and only once. The helper opens it for capture, then
//                    drops every capability.
//   SetPromiscuous   empty: the card joins promiscuous mode.
//   SetReadTimeout   u32 milliseconds (1 to 60000) a Receive waits at most.
//   CaptureArpReplies  the capture filter program, 8 bytes per instruction
//                    (u16 code, u8 jt, u8 jf, u32 k); only the program of
//                    ArpReplyFilter is accepted. Until then nothing is
//                    captured.
//   BindSenders      6 bytes own MAC, 4 bytes own IP: the scan's sixteen
//                    source addresses are the own MAC with its last hex digit
//                    0 to F. Once per session.
//   Send             u16 copies (1 to 16), then one probe: an ARP request of
//                    42 bytes (Ethernet II) or 50 bytes (IEEE 802.3 with
//                    LLC/SNAP) whose Ethernet source and ARP sender hardware
//                    address are one source address, whose ARP sender IP is
//                    the own IP and whose target hardware address is zero.
//                    Needs BindSenders.
//   Receive          u32 capacity: the helper answers with a Batch of at most
//                    min(capacity, MaxBatchBytes) bytes of captured ARP
//                    replies, empty when the read time-out passed.
//   GetStatistics    empty: answered with Statistics, u64 frames the capture
//                    lost to a full buffer (the kernel's and the card's).
//
// A Batch holds capture records: a 20-byte header (u32 seconds, u32
// microseconds, u32 captured length, u32 frame length, u16 header length 20,
// u16 zero) and the captured bytes, each record starting at a multiple of 4.
//
// The helper ends when the socket reaches end of file or its parent process
// goes away.

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keelwatch::captureprotocol {

constexpr std::uint8_t ProtocolVersion = 1;
constexpr int HelperSocket = 3;
constexpr std::size_t HeaderBytes = 8;
// Well below the socket's default send buffer, so that a batch always fits
// into one datagram.
constexpr std::size_t MaxBatchBytes = 64 * 1024;
constexpr std::size_t MaxMessageBytes = HeaderBytes + MaxBatchBytes;
constexpr std::size_t MaxInterfaceName = 15;
constexpr std::uint32_t MaxReadTimeoutMs = 60000;
constexpr int MaxCopies = 16;
// The capture ring the helper opens every adapter with: the size the direct
// driver gives a capture adapter.
constexpr int RingBytes = 32 * 256 * 1024;

enum class MessageType : std::uint8_t {
    Open = 1,
    SetPromiscuous = 2,
    SetReadTimeout = 3,
    CaptureArpReplies = 4,
    BindSenders = 5,
    Send = 6,
    Receive = 7,
    GetStatistics = 8,
    Ok = 0x81,
    Error = 0x82,
    Batch = 0x83,
    Statistics = 0x84,
};

struct FilterInstruction
{
    std::uint16_t code;
    std::uint8_t jt;
    std::uint8_t jf;
    std::uint32_t k;
};

// Ethernet II ARP replies, cut to 96 bytes, and nothing else.
inline constexpr FilterInstruction ArpReplyFilter[6] = {
    {0x28, 0, 0, 12}, {0x15, 0, 3, 0x0806}, {0x28, 0, 0, 20},
    {0x15, 0, 1, 2},  {0x06, 0, 0, 96},     {0x06, 0, 0, 0},
};

struct Message
{
    MessageType type{};
    std::vector<std::uint8_t> payload;
};

// One datagram for a message.
std::vector<std::uint8_t> Encode(MessageType type, std::span<const std::uint8_t> payload = {});
// The message of a datagram, or nothing when its header is not one of this
// version or its length disagrees.
std::optional<Message> Decode(std::span<const std::uint8_t> datagram);

void PutU16(std::vector<std::uint8_t> &out, std::uint16_t value);
void PutU32(std::vector<std::uint8_t> &out, std::uint32_t value);
void PutU64(std::vector<std::uint8_t> &out, std::uint64_t value);
std::uint16_t GetU16(const std::uint8_t *at);
std::uint32_t GetU32(const std::uint8_t *at);
std::uint64_t GetU64(const std::uint8_t *at);

// The filter program as a CaptureArpReplies payload.
std::vector<std::uint8_t> EncodeFilter(std::span<const FilterInstruction> program);
bool IsArpReplyFilter(std::span<const std::uint8_t> payload);

// Why a name cannot be a Linux interface name, or empty when it can.
std::string InterfaceNameProblem(std::string_view name);

// The addresses a scan's probes come from.
struct ProbeSenders
{
    std::array<std::uint8_t, 6> ownMac{};
    std::uint32_t ownIp = 0; // host order
    bool operator==(const ProbeSenders &) const = default;
};
std::vector<std::uint8_t> EncodeSenders(const ProbeSenders &senders);
std::optional<ProbeSenders> DecodeSenders(std::span<const std::uint8_t> payload);

// Why a frame is not a probe of these senders, or empty when it is one.
std::string ProbeProblem(std::span<const std::uint8_t> frame, const ProbeSenders &senders);

} // namespace keelwatch::captureprotocol
