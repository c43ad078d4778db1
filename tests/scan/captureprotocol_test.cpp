#include "scan/captureprotocol.h"
#include "scan/packetdriver.h"
#include "scan/probeframe.h"

#include "support/memorydriver.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace keelwatch;
using namespace keelwatch::captureprotocol;
using namespace Qt::StringLiterals;

namespace {

constexpr std::uint32_t OwnIp = 0x0A4D0001; // 10.77.0.1
const MacBytes OwnMac = {0x02, 0x00, 0x00, 0x77, 0x00, 0x50};
const ProbeSenders Senders{OwnMac, OwnIp};

std::vector<std::uint8_t> Probe(FrameFormat format, MacBytes source = {0x02, 0, 0, 0x77, 0, 0x53},
                                std::uint32_t ownIp = OwnIp)
{
    ProbeFrame frame;
    BuildProbeFrame(frame, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE}, source, ownIp, 0x0A4D000B, format);
    return {frame.bytes.begin(), frame.bytes.begin() + frame.size};
}

struct FrameCase
{
    const char *name;
    std::vector<std::uint8_t> frame;
    bool accepted;
};

std::vector<std::uint8_t> Changed(std::vector<std::uint8_t> frame, std::size_t at,
                                  std::uint8_t value)
{
    frame[at] = value;
    return frame;
}

class ProbeCheck : public ::testing::TestWithParam<FrameCase>
{
};

// The helper sends only what the scan's probes are: an ARP request of one
// of the two shapes from one of the sixteen source addresses with the own IP.
TEST_P(ProbeCheck, AcceptsOnlyProbesOfTheScansSenders)
{
    EXPECT_EQ(ProbeProblem(GetParam().frame, Senders).empty(), GetParam().accepted)
        << ProbeProblem(GetParam().frame, Senders);
}

INSTANTIATE_TEST_SUITE_P(
    CaptureProtocol, ProbeCheck,
    ::testing::Values(
        FrameCase{"EthernetProbe", Probe(FrameFormat::Ethernet2), true},
        FrameCase{"Ieee8023Probe", Probe(FrameFormat::Ieee8023), true},
        FrameCase{"SourceIndex15", Probe(FrameFormat::Ethernet2, {0x02, 0, 0, 0x77, 0, 0x5F}),
                  true},
        FrameCase{"OtherSourceBlock", Probe(FrameFormat::Ethernet2, {0x02, 0, 0, 0x77, 0, 0x63}),
                  false},
        FrameCase{"OtherOwnIp",
                  Probe(FrameFormat::Ethernet2, {0x02, 0, 0, 0x77, 0, 0x53}, OwnIp + 1), false},
        // An ARP reply poisons caches; only requests go out.
        FrameCase{"ArpReply", Changed(Probe(FrameFormat::Ethernet2), 21, 2), false},
        FrameCase{"Ipv4", Changed(Probe(FrameFormat::Ethernet2), 13, 0x00), false},
        FrameCase{"EthernetSourceNotSender", Changed(Probe(FrameFormat::Ethernet2), 11, 0x54),
                  false},
        FrameCase{"TargetHardwareSet", Changed(Probe(FrameFormat::Ethernet2), 33, 1), false},
        FrameCase{"BrokenSnapHeader", Changed(Probe(FrameFormat::Ieee8023), 14, 0xAB), false},
        FrameCase{"Padded",
                  [] {
                      auto frame = Probe(FrameFormat::Ethernet2);
                      frame.resize(60);
                      return frame;
                  }(),
                  false},
        FrameCase{"Empty", {}, false}),
    [](const auto &info) { return std::string(info.param.name); });

struct NameCase
{
    const char *name;
    const char *interface;
    bool valid;
};

class InterfaceName : public ::testing::TestWithParam<NameCase>
{
};

TEST_P(InterfaceName, FollowsTheKernelsRule)
{
    EXPECT_EQ(InterfaceNameProblem(GetParam().interface).empty(), GetParam().valid);
}

INSTANTIATE_TEST_SUITE_P(
    CaptureProtocol, InterfaceName,
    ::testing::Values(NameCase{"Plain", "wire0", true},
                      NameCase{"Fifteen", "abcdefghijklmno", true},
                      NameCase{"Sixteen", "abcdefghijklmnop", false}, NameCase{"Empty", "", false},
                      NameCase{"Dot", ".", false}, NameCase{"Path", "../eth0", false},
                      NameCase{"Alias", "eth0:1", false}, NameCase{"Blank", "eth 0", false},
                      NameCase{"Newline", "eth0\n", false}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CaptureProtocol, MessagesOfAnotherVersionOrLengthAreRefused)
{
    const std::vector<std::uint8_t> payload{1, 2, 3};
    std::vector<std::uint8_t> datagram = Encode(MessageType::Send, payload);
    const auto decoded = Decode(datagram);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->type, MessageType::Send);
    EXPECT_EQ(decoded->payload, payload);

    EXPECT_FALSE(Decode(std::span(datagram).first(HeaderBytes - 1)));
    EXPECT_FALSE(Decode(std::span(datagram).first(datagram.size() - 1)));
    std::vector<std::uint8_t> otherVersion = datagram;
    otherVersion[0] = ProtocolVersion + 1;
    EXPECT_FALSE(Decode(otherVersion));
    std::vector<std::uint8_t> reservedSet = datagram;
    reservedSet[3] = 1;
    EXPECT_FALSE(Decode(reservedSet));
}

TEST(CaptureProtocol, OnlyTheArpReplyFilterAndUnicastSendersPass)
{
    std::vector<BpfInstruction> program(std::begin(CaptureFilterProgram),
                                        std::end(CaptureFilterProgram));
    std::vector<FilterInstruction> instructions;
    for (const BpfInstruction &i : program)
        instructions.push_back({i.code, i.jt, i.jf, i.k});
    EXPECT_TRUE(IsArpReplyFilter(EncodeFilter(instructions)));
    // Accepting every frame whole would make the helper a sniffer.
    instructions[4].k = 0xFFFF;
    EXPECT_FALSE(IsArpReplyFilter(EncodeFilter(instructions)));

    EXPECT_EQ(DecodeSenders(EncodeSenders(Senders)), Senders);
    EXPECT_FALSE(DecodeSenders(EncodeSenders({{0x01, 0, 0x5E, 0, 0, 0x10}, OwnIp})));
    EXPECT_EQ(SendersOfSource({0x02, 0, 0, 0x77, 0, 0x5B}, OwnIp), Senders);
}

// A send handle is bound to one set of senders: others get a fresh one, and
// the idle handles of each set are kept, since a scan's sweep and its
// confirmation probes send from different sets turn about.
TEST(SendAdapters, KeepHandlesPerSenders)
{
    auto driver = std::make_shared<MemoryDriver>();
    SendAdapters adapters(driver);
    PacketAdapter *first = adapters.Open(u"lab0"_s, Senders);
    ASSERT_NE(first, nullptr);
    adapters.Close(first);
    EXPECT_EQ(adapters.Open(u"lab0"_s, Senders), first);
    adapters.Close(first);
    const ProbeSenders otherIp{OwnMac, OwnIp + 1};
    PacketAdapter *second = adapters.Open(u"lab0"_s, otherIp);
    ASSERT_NE(second, nullptr);
    EXPECT_EQ(adapters.OpenedCount(), 2);
    // Both in use at once: two handles of the same senders.
    PacketAdapter *third = adapters.Open(u"lab0"_s, otherIp);
    EXPECT_NE(third, second);
    EXPECT_EQ(adapters.OpenedCount(), 3);
    adapters.Close(second);
    EXPECT_EQ(adapters.Open(u"lab0"_s, Senders), first);
    EXPECT_EQ(adapters.OpenedCount(), 3);
}

} // namespace
