#pragma once

// The protocol between the program and keelwatch-capture, the small helper
// that alone holds the capture capabilities, and the rules both sides share
// for the frames a scan may send. Plain C++: the helper links no Qt.
// docs/capture-helper.md describes the messages and the rules; a change to
// either changes ProtocolVersion and that file.

#include <array>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace keelwatch::captureprotocol {

constexpr std::uint8_t ProtocolVersion = 2;
constexpr int RequestSocket = 3;
constexpr int CaptureSocket = 4;
constexpr std::size_t HeaderBytes = 12;
// Well below the socket's default send buffer, so that a batch always fits
// into one datagram.
constexpr std::size_t MaxBatchBytes = 64 * 1024;
constexpr std::size_t MaxMessageBytes = HeaderBytes + MaxBatchBytes;
constexpr std::size_t MaxInterfaceName = 15;
constexpr int MaxCopies = 16;
constexpr int MaxProbesPerSend = 1024;
// The test block and one per sixteen confirmation sources.
constexpr int MaxSourceBlocks = 32;
constexpr int MaxExtraDestinations = 2;
// The longest pause between two frames of a Send: 1 s.
constexpr std::uint32_t MaxGapNs = 1'000'000'000;
// The capture ring the helper opens an interface with: the size the direct
// driver gives a capture adapter.
constexpr int RingBytes = 32 * 256 * 1024;

using Mac = std::array<std::uint8_t, 6>;

struct FilterInstruction
{
    std::uint16_t code;
    std::uint8_t jt;
    std::uint8_t jf;
    std::uint32_t k;
};

// The helper's capture filter: Ethernet II ARP replies, cut to 96 bytes,
// and nothing else.
inline constexpr FilterInstruction ArpReplyFilter[6] = {
    {0x28, 0, 0, 12}, {0x15, 0, 3, 0x0806}, {0x28, 0, 0, 20},
    {0x15, 0, 1, 2},  {0x06, 0, 0, 96},     {0x06, 0, 0, 0},
};

enum class MessageType : std::uint8_t {
    Start = 1,
    Send = 2,
    Started = 0x81,
    Ok = 0x82,
    Error = 0x83,
    Batch = 0x84,
    Health = 0x85,
};

enum class ErrorCode : std::uint16_t {
    NotAMessage = 1,         // a datagram of another version or length
    UnknownRequest = 2,      // a type the helper does not serve
    OutOfOrder = 3,          // Send before Start, or a second Start
    BadStart = 4,            // a Start whose configuration breaks a rule
    InterfaceRefused = 5,    // the kernel would not open the interface
    BadBatch = 6,            // a Send whose entries do not parse
    NotAProbe = 7,           // a frame that is not an ARP request as probes are
    SourceRefused = 8,       // a sender MAC outside the configured blocks
    SenderIpRefused = 9,     // a sender IP other than the configured one
    DestinationRefused = 10, // a unicast destination that is no scanned node
    SendFailed = 11,         // the kernel refused a frame
};

struct Message
{
    MessageType type{};
    std::uint32_t id = 0;
    std::vector<std::uint8_t> payload;
};

// One datagram for a message.
std::vector<std::uint8_t> Encode(MessageType type, std::uint32_t id,
                                 std::span<const std::uint8_t> payload = {});
// The message of a datagram, or nothing when its header is not one of this
// version or its length disagrees.
std::optional<Message> Decode(std::span<const std::uint8_t> datagram);

void PutU16(std::vector<std::uint8_t> &out, std::uint16_t value);
void PutU32(std::vector<std::uint8_t> &out, std::uint32_t value);
void PutU64(std::vector<std::uint8_t> &out, std::uint64_t value);
std::uint16_t GetU16(const std::uint8_t *at);
std::uint32_t GetU32(const std::uint8_t *at);
std::uint64_t GetU64(const std::uint8_t *at);

std::vector<std::uint8_t> EncodeError(ErrorCode code, std::string_view reason);
// The code and reason of an Error's payload.
std::optional<std::pair<ErrorCode, std::string>> DecodeError(std::span<const std::uint8_t> payload);

// Why a name cannot be a Linux interface name, or empty when it can.
std::string InterfaceNameProblem(std::string_view name);

// What a scan sends from, fixed for its whole run.
struct ProbeSenders
{
    // The ARP sender IP of every probe, host order: 0 for address probes,
    // which leave the probed hosts' neighbour caches alone, or an own IP.
    std::uint32_t senderIp = 0;
    // Blocks of sixteen source MACs: a MAC's last hex digit is free.
    std::vector<Mac> blocks;
    // Test destinations that are unicast (SP1, SP2 as the user set them).
    std::vector<Mac> extraDestinations;
    bool operator==(const ProbeSenders &) const = default;
};

struct StartRequest
{
    std::string interfaceName;
    ProbeSenders senders;
};
std::vector<std::uint8_t> EncodeStart(const StartRequest &start);
// The request, or why the payload is none.
std::optional<StartRequest> DecodeStart(std::span<const std::uint8_t> payload,
                                        std::string *problem);

// What the helper opened: the card's own MAC and whether it took
// promiscuous mode.
struct Started
{
    Mac cardMac{};
    bool promiscuous = false;
};
std::vector<std::uint8_t> EncodeStarted(const Started &started);
std::optional<Started> DecodeStarted(std::span<const std::uint8_t> payload);

struct Health
{
    std::uint64_t droppedFrames = 0;
    std::uint64_t failedReads = 0;
    bool broken = false;
    bool operator==(const Health &) const = default;
};
std::vector<std::uint8_t> EncodeHealth(const Health &health);
std::optional<Health> DecodeHealth(std::span<const std::uint8_t> payload);

// Frames to send in one go, each a number of times, paced gapNs apart. The
// payload of a Send as it is built.
class ProbeBatch
{
  public:
    ProbeBatch() { Clear(); }
    void Clear();
    void SetGap(std::uint32_t nanoseconds);
    // False (nothing added) when the batch is full or the frame is longer
    // than an entry holds.
    bool Add(std::span<const std::uint8_t> frame, int copies = 1);
    int Count() const { return count; }
    bool Empty() const { return count == 0; }
    bool Full() const { return count == MaxProbesPerSend; }
    std::uint32_t GapNs() const { return GetU32(payload.data()); }
    std::span<const std::uint8_t> Payload() const { return payload; }

  private:
    std::vector<std::uint8_t> payload;
    int count = 0;
};

struct BatchEntry
{
    std::span<const std::uint8_t> frame;
    int copies = 1;
};
// The entries of a Send's payload, or nothing when it does not parse.
std::optional<std::vector<BatchEntry>> DecodeProbeBatch(std::span<const std::uint8_t> payload,
                                                        std::uint32_t *gapNs);

// Sends every entry's copies on the packet socket fd, entry i due i × gapNs
// after the call. Frames due within a millisecond go at once, so the average
// rate holds; for one further ahead waitUntil(due) is called, which may
// serve other work meanwhile and returns false to give up. 0 when every
// frame went, the errno of the send that failed, or -1 when waitUntil gave
// up.
int SendPaced(const std::vector<BatchEntry> &entries, std::uint32_t gapNs, int fd,
              const std::function<bool(std::chrono::steady_clock::time_point due)> &waitUntil);

// The MAC of an Ethernet interface of this network namespace.
std::optional<Mac> CardMacOf(const std::string &interfaceName);

// The rules a frame must meet to leave through a scan's helper.
struct SendRules
{
    ProbeSenders senders;
    // The card's own MAC: frames from it are the repairs of the own-IP mode,
    // ARP requests as the kernel itself sends them.
    Mac cardMac{};
    // The MAC that answered for an IP in this session, if any: the one
    // unicast destination a probe for that IP may have (controls).
    std::function<std::optional<Mac>(std::uint32_t ip)> answeredFor;
};

// Why a frame may not be sent, with its code, or nothing when it may.
struct Refusal
{
    ErrorCode code;
    std::string reason;
};
std::optional<Refusal> ProbeProblem(std::span<const std::uint8_t> frame, const SendRules &rules);

// The sender fields of an ARP reply frame (Ethernet II): sender IP (host
// order) and MAC, when it is one sent to a MAC of the blocks.
struct ReplySender
{
    std::uint32_t ip = 0;
    Mac mac{};
};
std::optional<ReplySender> ReplyToBlocks(std::span<const std::uint8_t> frame,
                                         const std::vector<Mac> &blocks);

} // namespace keelwatch::captureprotocol
