#include "scan/captureprotocol.h"

#include <net/if.h>
#include <net/if_arp.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace keelwatch::captureprotocol {

namespace {

constexpr std::size_t EthernetProbeBytes = 42;
constexpr std::size_t Ieee8023ProbeBytes = 50;
constexpr std::uint8_t EtherTypeArp[2] = {0x08, 0x06};
// IEEE 802.3 length 46, LLC AA AA 03, SNAP organisation 00 00 00.
constexpr std::uint8_t LlcSnapHeader[8] = {0x00, 0x2E, 0xAA, 0xAA, 0x03, 0x00, 0x00, 0x00};
// Ethernet, IPv4, 6 and 4 address bytes, request.
constexpr std::uint8_t ArpRequestHeader[8] = {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x01};
constexpr std::uint8_t ArpReplyHeader[8] = {0x00, 0x01, 0x08, 0x00, 0x06, 0x04, 0x00, 0x02};
constexpr std::size_t MacBytes = 6;

bool InBlock(const std::uint8_t *mac, const Mac &block)
{
    return std::memcmp(mac, block.data(), 5) == 0 && (mac[5] & 0xF0) == (block[5] & 0xF0);
}

bool InBlocks(const std::uint8_t *mac, const std::vector<Mac> &blocks)
{
    return std::any_of(blocks.begin(), blocks.end(),
                       [mac](const Mac &block) { return InBlock(mac, block); });
}

bool IsGroup(const std::uint8_t *mac)
{
    return (mac[0] & 1) != 0;
}

std::uint32_t BigEndian32(const std::uint8_t *at)
{
    return (std::uint32_t(at[0]) << 24) | (std::uint32_t(at[1]) << 16) |
           (std::uint32_t(at[2]) << 8) | at[3];
}

void PutBigEndian32(std::vector<std::uint8_t> &out, std::uint32_t value)
{
    for (int shift : {24, 16, 8, 0})
        out.push_back(std::uint8_t(value >> shift));
}

void PutMacs(std::vector<std::uint8_t> &out, const std::vector<Mac> &macs)
{
    out.push_back(std::uint8_t(macs.size()));
    for (const Mac &mac : macs)
        out.insert(out.end(), mac.begin(), mac.end());
}

// Reads a counted list of MACs at at, moving it on; false when it runs out.
bool GetMacs(std::span<const std::uint8_t> payload, std::size_t &at, std::size_t most,
             std::vector<Mac> &macs)
{
    if (at >= payload.size())
        return false;
    const std::size_t count = payload[at++];
    if (count > most || payload.size() - at < count * MacBytes)
        return false;
    for (std::size_t i = 0; i < count; ++i, at += MacBytes) {
        Mac mac;
        std::memcpy(mac.data(), payload.data() + at, MacBytes);
        macs.push_back(mac);
    }
    return true;
}

} // namespace

void PutU16(std::vector<std::uint8_t> &out, std::uint16_t value)
{
    out.push_back(std::uint8_t(value));
    out.push_back(std::uint8_t(value >> 8));
}

void PutU32(std::vector<std::uint8_t> &out, std::uint32_t value)
{
    PutU16(out, std::uint16_t(value));
    PutU16(out, std::uint16_t(value >> 16));
}

void PutU64(std::vector<std::uint8_t> &out, std::uint64_t value)
{
    PutU32(out, std::uint32_t(value));
    PutU32(out, std::uint32_t(value >> 32));
}

std::uint16_t GetU16(const std::uint8_t *at)
{
    return std::uint16_t(at[0] | (at[1] << 8));
}

std::uint32_t GetU32(const std::uint8_t *at)
{
    return GetU16(at) | (std::uint32_t(GetU16(at + 2)) << 16);
}

std::uint64_t GetU64(const std::uint8_t *at)
{
    return GetU32(at) | (std::uint64_t(GetU32(at + 4)) << 32);
}

std::vector<std::uint8_t> Encode(MessageType type, std::uint32_t id,
                                 std::span<const std::uint8_t> payload)
{
    std::vector<std::uint8_t> out(HeaderBytes + payload.size());
    out[0] = ProtocolVersion;
    out[1] = std::uint8_t(type);
    for (int i = 0; i < 4; ++i) {
        out[std::size_t(4 + i)] = std::uint8_t(id >> (8 * i));
        out[std::size_t(8 + i)] = std::uint8_t(payload.size() >> (8 * i));
    }
    if (!payload.empty())
        std::memcpy(out.data() + HeaderBytes, payload.data(), payload.size());
    return out;
}

std::optional<Message> Decode(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < HeaderBytes || datagram.size() > MaxMessageBytes ||
        datagram[0] != ProtocolVersion || datagram[2] != 0 || datagram[3] != 0 ||
        GetU32(datagram.data() + 8) != datagram.size() - HeaderBytes)
        return std::nullopt;
    Message message;
    message.type = MessageType(datagram[1]);
    message.id = GetU32(datagram.data() + 4);
    message.payload.assign(datagram.begin() + HeaderBytes, datagram.end());
    return message;
}

std::vector<std::uint8_t> EncodeError(ErrorCode code, std::string_view reason)
{
    std::vector<std::uint8_t> out;
    out.reserve(2 + reason.size());
    PutU16(out, std::uint16_t(code));
    out.insert(out.end(), reason.begin(), reason.end());
    return out;
}

std::optional<std::pair<ErrorCode, std::string>> DecodeError(std::span<const std::uint8_t> payload)
{
    if (payload.size() < 2)
        return std::nullopt;
    return std::pair{ErrorCode(GetU16(payload.data())),
                     std::string(payload.begin() + 2, payload.end())};
}

std::string InterfaceNameProblem(std::string_view name)
{
    // The kernel's own rule for device names.
    if (name.empty() || name.size() > MaxInterfaceName)
        return "an interface name has 1 to 15 characters";
    if (name == "." || name == "..")
        return "not an interface name";
    for (const char c : name) {
        if (c == '/' || c == ':' || c <= ' ' || c == 0x7F)
            return "an interface name holds no '/', ':', blank or control character";
    }
    return {};
}

std::vector<std::uint8_t> EncodeStart(const StartRequest &start)
{
    std::vector<std::uint8_t> out;
    out.reserve(1 + start.interfaceName.size() + 4 + 2 +
                6 * (start.senders.blocks.size() + start.senders.extraDestinations.size()));
    out.push_back(std::uint8_t(start.interfaceName.size()));
    out.insert(out.end(), start.interfaceName.begin(), start.interfaceName.end());
    PutBigEndian32(out, start.senders.senderIp);
    PutMacs(out, start.senders.blocks);
    PutMacs(out, start.senders.extraDestinations);
    return out;
}

std::optional<StartRequest> DecodeStart(std::span<const std::uint8_t> payload, std::string *problem)
{
    const auto refuse = [problem](const char *reason) {
        *problem = reason;
        return std::nullopt;
    };
    StartRequest start;
    std::size_t at = 0;
    const std::size_t nameLength = payload.empty() ? 0 : payload[0];
    if (payload.size() < 1 + nameLength + 4)
        return refuse("a Start holds the interface name and the sender IP");
    start.interfaceName.assign(payload.begin() + 1, payload.begin() + 1 + long(nameLength));
    if (const std::string name = InterfaceNameProblem(start.interfaceName); !name.empty()) {
        *problem = name;
        return std::nullopt;
    }
    at = 1 + nameLength;
    start.senders.senderIp = BigEndian32(payload.data() + at);
    at += 4;
    if (!GetMacs(payload, at, MaxSourceBlocks, start.senders.blocks) ||
        start.senders.blocks.empty())
        return refuse("a Start holds 1 to 32 source blocks");
    if (!GetMacs(payload, at, MaxExtraDestinations, start.senders.extraDestinations))
        return refuse("a Start holds at most 2 extra destinations");
    if (at != payload.size())
        return refuse("a Start ends after its extra destinations");
    for (const Mac &block : start.senders.blocks) {
        if (IsGroup(block.data()) ||
            std::all_of(block.begin(), block.end() - 1, [](std::uint8_t b) { return b == 0; }))
            return refuse("a source block is unicast and not zero");
    }
    const std::uint32_t ip = start.senders.senderIp;
    if (ip != 0 && ((ip >> 24) == 0 || (ip >> 24) == 127 || (ip >> 28) >= 0xE))
        return refuse("a sender IP is 0.0.0.0 or a unicast address");
    return start;
}

std::vector<std::uint8_t> EncodeStarted(const Started &started)
{
    std::vector<std::uint8_t> out(started.cardMac.begin(), started.cardMac.end());
    out.push_back(started.promiscuous ? 1 : 0);
    return out;
}

std::optional<Started> DecodeStarted(std::span<const std::uint8_t> payload)
{
    if (payload.size() != MacBytes + 1 || payload[MacBytes] > 1)
        return std::nullopt;
    Started started;
    std::memcpy(started.cardMac.data(), payload.data(), MacBytes);
    started.promiscuous = payload[MacBytes] == 1;
    return started;
}

std::vector<std::uint8_t> EncodeHealth(const Health &health)
{
    std::vector<std::uint8_t> out;
    PutU64(out, health.droppedFrames);
    PutU64(out, health.failedReads);
    out.push_back(health.broken ? 1 : 0);
    return out;
}

std::optional<Health> DecodeHealth(std::span<const std::uint8_t> payload)
{
    if (payload.size() != 17 || payload[16] > 1)
        return std::nullopt;
    return Health{GetU64(payload.data()), GetU64(payload.data() + 8), payload[16] == 1};
}

void ProbeBatch::Clear()
{
    const std::uint32_t gap = payload.size() >= 4 ? GapNs() : 0;
    payload.clear();
    payload.reserve(4 + 64 * 16);
    PutU32(payload, gap);
    count = 0;
}

void ProbeBatch::SetGap(std::uint32_t nanoseconds)
{
    const std::uint32_t gap = std::min(nanoseconds, MaxGapNs);
    std::vector<std::uint8_t> bytes;
    PutU32(bytes, gap);
    std::copy(bytes.begin(), bytes.end(), payload.begin());
}

bool ProbeBatch::Add(std::span<const std::uint8_t> frame, int copies)
{
    if (Full() || frame.size() > 0xFF || copies < 1 || copies > MaxCopies ||
        payload.size() + 2 + frame.size() > MaxBatchBytes)
        return false;
    payload.push_back(std::uint8_t(copies));
    payload.push_back(std::uint8_t(frame.size()));
    payload.insert(payload.end(), frame.begin(), frame.end());
    ++count;
    return true;
}

std::optional<std::vector<BatchEntry>> DecodeProbeBatch(std::span<const std::uint8_t> payload,
                                                        std::uint32_t *gapNs)
{
    if (payload.size() < 4)
        return std::nullopt;
    *gapNs = GetU32(payload.data());
    if (*gapNs > MaxGapNs)
        return std::nullopt;
    std::vector<BatchEntry> entries;
    std::size_t at = 4;
    while (at < payload.size()) {
        if (payload.size() - at < 2 || entries.size() == std::size_t(MaxProbesPerSend))
            return std::nullopt;
        const int copies = payload[at];
        const std::size_t length = payload[at + 1];
        at += 2;
        if (copies < 1 || copies > MaxCopies || payload.size() - at < length)
            return std::nullopt;
        entries.push_back({payload.subspan(at, length), copies});
        at += length;
    }
    if (entries.empty())
        return std::nullopt;
    return entries;
}

int SendPaced(const std::vector<BatchEntry> &entries, std::uint32_t gapNs, int fd,
              const std::function<bool(std::chrono::steady_clock::time_point)> &waitUntil)
{
    using Clock = std::chrono::steady_clock;
    constexpr auto Coarse = std::chrono::milliseconds(1);
    const auto start = Clock::now();
    const std::chrono::nanoseconds gap(gapNs);
    for (std::size_t i = 0; i < entries.size(); ++i) {
        const auto due = start + gap * i;
        if (due - Clock::now() > Coarse && !waitUntil(due))
            return -1;
        const BatchEntry &entry = entries[i];
        for (int copy = 0; copy < entry.copies; ++copy) {
            ssize_t sent;
            do {
                sent = send(fd, entry.frame.data(), entry.frame.size(), 0);
            } while (sent < 0 && errno == EINTR);
            if (sent < 0)
                return errno;
        }
    }
    return 0;
}

std::optional<Mac> CardMacOf(const std::string &interfaceName)
{
    ifreq request{};
    if (interfaceName.empty() || interfaceName.size() >= IFNAMSIZ)
        return std::nullopt;
    std::memcpy(request.ifr_name, interfaceName.data(), interfaceName.size());
    const int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return std::nullopt;
    const bool known = ioctl(fd, SIOCGIFHWADDR, &request) == 0;
    close(fd);
    if (!known || request.ifr_hwaddr.sa_family != ARPHRD_ETHER)
        return std::nullopt;
    Mac mac;
    std::memcpy(mac.data(), request.ifr_hwaddr.sa_data, mac.size());
    return mac;
}

std::optional<Refusal> ProbeProblem(std::span<const std::uint8_t> frame, const SendRules &rules)
{
    const std::uint8_t *p = frame.data();
    std::size_t at = 12;
    if (frame.size() == Ieee8023ProbeBytes) {
        if (std::memcmp(p + at, LlcSnapHeader, sizeof LlcSnapHeader) != 0)
            return Refusal{ErrorCode::NotAProbe, "an IEEE 802.3 probe has the LLC/SNAP header"};
        at += sizeof LlcSnapHeader;
    } else if (frame.size() != EthernetProbeBytes) {
        return Refusal{ErrorCode::NotAProbe, "a probe has 42 or 50 bytes"};
    }
    if (std::memcmp(p + at, EtherTypeArp, 2) != 0 ||
        std::memcmp(p + at + 2, ArpRequestHeader, sizeof ArpRequestHeader) != 0)
        return Refusal{ErrorCode::NotAProbe, "a probe is an ARP request"};
    const std::uint8_t *arp = p + at + 10;
    for (int i = 10; i < 16; ++i) {
        if (arp[i] != 0)
            return Refusal{ErrorCode::NotAProbe, "a probe's target hardware address is zero"};
    }
    const std::uint32_t senderIp = BigEndian32(arp + 6);
    if (senderIp != rules.senders.senderIp)
        return Refusal{ErrorCode::SenderIpRefused, "a probe gives the configured sender IP"};
    // A repair of the own-IP mode says what is true: the card's MAC has the
    // own IP. Every other frame comes from a source of the blocks.
    const bool repair = senderIp != 0 && std::memcmp(arp, rules.cardMac.data(), MacBytes) == 0;
    if (std::memcmp(p + 6, arp, MacBytes) != 0 || (!repair && !InBlocks(arp, rules.senders.blocks)))
        return Refusal{ErrorCode::SourceRefused,
                       "a probe comes from one of the scan's source addresses"};
    if (IsGroup(p))
        return std::nullopt;
    const auto isDestination = [p](const Mac &mac) {
        return std::memcmp(p, mac.data(), MacBytes) == 0;
    };
    if (std::any_of(rules.senders.extraDestinations.begin(), rules.senders.extraDestinations.end(),
                    isDestination))
        return std::nullopt;
    const std::optional<Mac> node =
        rules.answeredFor ? rules.answeredFor(BigEndian32(arp + 16)) : std::nullopt;
    if (!node || !isDestination(*node))
        return Refusal{ErrorCode::DestinationRefused,
                       "a unicast probe goes to the MAC that answered for its target IP"};
    return std::nullopt;
}

std::optional<ReplySender> ReplyToBlocks(std::span<const std::uint8_t> frame,
                                         const std::vector<Mac> &blocks)
{
    constexpr std::size_t ArpAt = 14;
    if (frame.size() < ArpAt + 28 || std::memcmp(frame.data() + 12, EtherTypeArp, 2) != 0 ||
        std::memcmp(frame.data() + ArpAt, ArpReplyHeader, sizeof ArpReplyHeader) != 0 ||
        !InBlocks(frame.data(), blocks))
        return std::nullopt;
    const std::uint8_t *arp = frame.data() + ArpAt + 8;
    ReplySender sender;
    std::memcpy(sender.mac.data(), arp, MacBytes);
    sender.ip = BigEndian32(arp + 6);
    if (IsGroup(sender.mac.data()))
        return std::nullopt;
    return sender;
}

} // namespace keelwatch::captureprotocol
