#include "scan/captureprotocol.h"

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

bool IsSource(const std::uint8_t *mac, const ProbeSenders &senders)
{
    return std::memcmp(mac, senders.ownMac.data(), 5) == 0 &&
           (mac[5] & 0xF0) == (senders.ownMac[5] & 0xF0);
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

std::vector<std::uint8_t> Encode(MessageType type, std::span<const std::uint8_t> payload)
{
    std::vector<std::uint8_t> out{ProtocolVersion, std::uint8_t(type), 0, 0};
    out.reserve(HeaderBytes + payload.size());
    PutU32(out, std::uint32_t(payload.size()));
    out.insert(out.end(), payload.begin(), payload.end());
    return out;
}

std::optional<Message> Decode(std::span<const std::uint8_t> datagram)
{
    if (datagram.size() < HeaderBytes || datagram[0] != ProtocolVersion || datagram[2] != 0 ||
        datagram[3] != 0 || GetU32(datagram.data() + 4) != datagram.size() - HeaderBytes)
        return std::nullopt;
    Message message;
    message.type = MessageType(datagram[1]);
    message.payload.assign(datagram.begin() + HeaderBytes, datagram.end());
    return message;
}

std::vector<std::uint8_t> EncodeFilter(std::span<const FilterInstruction> program)
{
    std::vector<std::uint8_t> out;
    for (const FilterInstruction &i : program) {
        PutU16(out, i.code);
        out.push_back(i.jt);
        out.push_back(i.jf);
        PutU32(out, i.k);
    }
    return out;
}

bool IsArpReplyFilter(std::span<const std::uint8_t> payload)
{
    const std::vector<std::uint8_t> expected = EncodeFilter(ArpReplyFilter);
    return payload.size() == expected.size() &&
           std::memcmp(payload.data(), expected.data(), expected.size()) == 0;
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

std::vector<std::uint8_t> EncodeSenders(const ProbeSenders &senders)
{
    std::vector<std::uint8_t> out(senders.ownMac.begin(), senders.ownMac.end());
    for (int shift : {24, 16, 8, 0})
        out.push_back(std::uint8_t(senders.ownIp >> shift));
    return out;
}

std::optional<ProbeSenders> DecodeSenders(std::span<const std::uint8_t> payload)
{
    if (payload.size() != 10)
        return std::nullopt;
    ProbeSenders senders;
    std::memcpy(senders.ownMac.data(), payload.data(), 6);
    // A group address cannot be a sender.
    if (senders.ownMac[0] & 1)
        return std::nullopt;
    for (std::size_t i = 6; i < 10; ++i)
        senders.ownIp = (senders.ownIp << 8) | payload[i];
    return senders;
}

std::string ProbeProblem(std::span<const std::uint8_t> frame, const ProbeSenders &senders)
{
    const std::uint8_t *p = frame.data();
    std::size_t at = 12;
    if (frame.size() == Ieee8023ProbeBytes) {
        if (std::memcmp(p + at, LlcSnapHeader, sizeof LlcSnapHeader) != 0)
            return "an IEEE 802.3 probe has the LLC/SNAP header";
        at += sizeof LlcSnapHeader;
    } else if (frame.size() != EthernetProbeBytes) {
        return "a probe has 42 or 50 bytes";
    }
    if (std::memcmp(p + at, EtherTypeArp, 2) != 0 ||
        std::memcmp(p + at + 2, ArpRequestHeader, sizeof ArpRequestHeader) != 0)
        return "a probe is an ARP request";
    const std::uint8_t *arp = p + at + 10;
    if (std::memcmp(p + 6, arp, 6) != 0 || !IsSource(arp, senders))
        return "a probe comes from one of the scan's source addresses";
    const std::uint32_t senderIp =
        (std::uint32_t(arp[6]) << 24) | (arp[7] << 16) | (arp[8] << 8) | arp[9];
    if (senderIp != senders.ownIp)
        return "a probe gives the own IP as sender";
    for (int i = 10; i < 16; ++i) {
        if (arp[i] != 0)
            return "a probe's target hardware address is zero";
    }
    return {};
}

} // namespace keelwatch::captureprotocol
