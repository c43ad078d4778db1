#include "scan/captureprotocol.h"
#include "scan/packetdriver.h"
#include "scan/probeframe.h"

#include <gtest/gtest.h>

#include <cstring>

using namespace keelwatch;
using namespace keelwatch::captureprotocol;
using namespace Qt::StringLiterals;

namespace {

constexpr std::uint32_t OwnIp = 0x0A4D0001; // 10.77.0.1
constexpr std::uint32_t NodeIp = 0x0A4D000B;
const MacBytes OwnMac = {0x02, 0x00, 0x00, 0x77, 0x00, 0x50};
const MacBytes CardMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x01};
const MacBytes NodeMac = {0x02, 0x00, 0x00, 0x00, 0x00, 0x0B};
const MacBytes Sp1Unicast = {0x00, 0x00, 0x5E, 0x00, 0x53, 0x01};

SendRules Rules(std::uint32_t senderIp)
{
    SendRules rules;
    rules.senders.senderIp = senderIp;
    rules.senders.blocks = {OwnMac, {0x02, 0x00, 0x00, 0x78, 0x00, 0x30}};
    rules.senders.extraDestinations = {Sp1Unicast};
    rules.cardMac = CardMac;
    rules.answeredFor = [](std::uint32_t ip) -> std::optional<Mac> {
        if (ip == NodeIp)
            return NodeMac;
        return std::nullopt;
    };
    return rules;
}

std::vector<std::uint8_t> Probe(FrameFormat format, MacBytes source = {0x02, 0, 0, 0x77, 0, 0x53},
                                std::uint32_t senderIp = 0,
                                MacBytes destination = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFE})
{
    ProbeFrame frame;
    BuildProbeFrame(frame, destination, source, senderIp, NodeIp, format);
    return {frame.bytes.begin(), frame.bytes.begin() + frame.size};
}

struct FrameCase
{
    const char *name;
    std::vector<std::uint8_t> frame;
    std::uint32_t senderIp;
    std::optional<ErrorCode> refusal;
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
// of the two shapes from a source of the scan's blocks with the configured
// sender IP, to a group address, an SP address or the node that answered,
// and the own-IP mode's repairs from the card; each refusal with its code.
TEST_P(ProbeCheck, AcceptsOnlyProbesOfTheScansSenders)
{
    const auto problem = ProbeProblem(GetParam().frame, Rules(GetParam().senderIp));
    EXPECT_EQ(problem ? std::optional(problem->code) : std::nullopt, GetParam().refusal)
        << (problem ? problem->reason : std::string());
}

const auto Ethernet = FrameFormat::Ethernet2;
constexpr MacBytes Source3 = {0x02, 0, 0, 0x77, 0, 0x53};

INSTANTIATE_TEST_SUITE_P(
    CaptureProtocol, ProbeCheck,
    ::testing::
        Values(
            FrameCase{"AddressProbe", Probe(Ethernet), 0, std::nullopt},
            FrameCase{"Ieee8023Probe", Probe(FrameFormat::Ieee8023), 0, std::nullopt},
            FrameCase{"OwnIpProbe", Probe(Ethernet, Source3, OwnIp), OwnIp, std::nullopt},
            FrameCase{"SecondBlock", Probe(Ethernet, {0x02, 0, 0, 0x78, 0, 0x3F}), 0, std::nullopt},
            FrameCase{"OtherSourceBlock", Probe(Ethernet, {0x02, 0, 0, 0x77, 0, 0x63}), 0,
                      ErrorCode::SourceRefused},
            FrameCase{"OwnIpInAddressProbeMode", Probe(Ethernet, Source3, OwnIp), 0,
                      ErrorCode::SenderIpRefused},
            FrameCase{"OtherSenderIp", Probe(Ethernet, Source3, OwnIp + 1), OwnIp,
                      ErrorCode::SenderIpRefused},
            // The card's own MAC says the truth only with the own IP.
            FrameCase{"Repair",
                      Probe(Ethernet, CardMac, OwnIp, {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF}), OwnIp,
                      std::nullopt},
            FrameCase{"CardMacWithZeroSender", Probe(Ethernet, CardMac, 0), 0,
                      ErrorCode::SourceRefused},
            FrameCase{"ControlToTheNodeThatAnswered", Probe(Ethernet, Source3, 0, NodeMac), 0,
                      std::nullopt},
            FrameCase{"UnicastSpAddress", Probe(Ethernet, Source3, 0, Sp1Unicast), 0, std::nullopt},
            FrameCase{"UnicastToAnotherHost", Probe(Ethernet, Source3, 0, {0x02, 0, 0, 0, 0, 0x0C}),
                      0, ErrorCode::DestinationRefused},
            // An ARP reply poisons caches; only requests go out.
            FrameCase{"ArpReply", Changed(Probe(Ethernet), 21, 2), 0, ErrorCode::NotAProbe},
            FrameCase{"Ipv4", Changed(Probe(Ethernet), 13, 0x00), 0, ErrorCode::NotAProbe},
            FrameCase{"EthernetSourceNotSender", Changed(Probe(Ethernet), 11, 0x54), 0,
                      ErrorCode::SourceRefused},
            FrameCase{"TargetHardwareSet", Changed(Probe(Ethernet), 33, 1), 0,
                      ErrorCode::NotAProbe},
            FrameCase{"BrokenSnapHeader", Changed(Probe(FrameFormat::Ieee8023), 14, 0xAB), 0,
                      ErrorCode::NotAProbe},
            FrameCase{
                "Padded",
                [] {
                    auto frame = Probe(Ethernet);
                    frame.resize(60);
                    return frame;
                }(),
                0, ErrorCode::NotAProbe},
            FrameCase{"Empty", {}, 0, ErrorCode::NotAProbe}),
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

TEST(CaptureProtocol, MessagesStartsAndBatchesRoundTripAndRefuseWhatBreaksTheirRules)
{
    const std::vector<std::uint8_t> payload{1, 2, 3};
    std::vector<std::uint8_t> datagram = Encode(MessageType::Send, 77, payload);
    const auto decoded = Decode(datagram);
    ASSERT_TRUE(decoded);
    EXPECT_EQ(decoded->type, MessageType::Send);
    EXPECT_EQ(decoded->id, 77U);
    EXPECT_EQ(decoded->payload, payload);
    EXPECT_FALSE(Decode(std::span(datagram).first(HeaderBytes - 1)));
    EXPECT_FALSE(Decode(std::span(datagram).first(datagram.size() - 1)));
    std::vector<std::uint8_t> otherVersion = datagram;
    otherVersion[0] = ProtocolVersion + 1;
    EXPECT_FALSE(Decode(otherVersion));
    std::vector<std::uint8_t> reservedSet = datagram;
    reservedSet[3] = 1;
    EXPECT_FALSE(Decode(reservedSet));

    const StartRequest start{"wire0", Rules(OwnIp).senders};
    std::string problem;
    const auto back = DecodeStart(EncodeStart(start), &problem);
    ASSERT_TRUE(back) << problem;
    EXPECT_EQ(back->interfaceName, "wire0");
    EXPECT_EQ(back->senders, start.senders);
    const auto refused = [&problem](StartRequest bad) {
        return !DecodeStart(EncodeStart(bad), &problem) && !problem.empty();
    };
    StartRequest groupBlock = start;
    groupBlock.senders.blocks.push_back({0x01, 0, 0x5E, 0, 0, 0x10});
    EXPECT_TRUE(refused(groupBlock));
    StartRequest noBlock = start;
    noBlock.senders.blocks.clear();
    EXPECT_TRUE(refused(noBlock));
    StartRequest multicastSender = start;
    multicastSender.senders.senderIp = 0xE0000001;
    EXPECT_TRUE(refused(multicastSender));
    EXPECT_TRUE(refused({"../eth0", start.senders}));
    std::vector<std::uint8_t> trailing = EncodeStart(start);
    trailing.push_back(0);
    EXPECT_FALSE(DecodeStart(trailing, &problem));

    ProbeBatch batch;
    batch.SetGap(500'000);
    const auto frame = Probe(Ethernet);
    ASSERT_TRUE(batch.Add(frame, 3));
    ASSERT_TRUE(batch.Add(frame));
    EXPECT_FALSE(batch.Add(frame, MaxCopies + 1));
    std::uint32_t gap = 0;
    const auto entries = DecodeProbeBatch(batch.Payload(), &gap);
    ASSERT_TRUE(entries);
    EXPECT_EQ(gap, 500'000U);
    ASSERT_EQ(entries->size(), 2U);
    EXPECT_EQ((*entries)[0].copies, 3);
    EXPECT_TRUE(std::equal(frame.begin(), frame.end(), (*entries)[1].frame.begin(),
                           (*entries)[1].frame.end()));
    std::vector<std::uint8_t> cut(batch.Payload().begin(), batch.Payload().end() - 1);
    EXPECT_FALSE(DecodeProbeBatch(cut, &gap));
    batch.Clear();
    EXPECT_EQ(batch.GapNs(), 500'000U);
    EXPECT_FALSE(DecodeProbeBatch(batch.Payload(), &gap));
    while (batch.Add(frame)) {
    }
    EXPECT_EQ(batch.Count(), MaxProbesPerSend);
}

// Only the answers to the scan's own sources teach the helper which MAC
// answers for an IP.
TEST(CaptureProtocol, RepliesToTheBlocksTellTheirSender)
{
    std::vector<std::uint8_t> reply = Probe(Ethernet, NodeMac, NodeIp, {0x02, 0, 0, 0x77, 0, 0x53});
    reply[21] = 2;
    const auto sender = ReplyToBlocks(reply, Rules(0).senders.blocks);
    ASSERT_TRUE(sender);
    EXPECT_EQ(sender->ip, NodeIp);
    EXPECT_EQ(sender->mac, NodeMac);
    EXPECT_FALSE(ReplyToBlocks(Changed(reply, 5, 0x63), Rules(0).senders.blocks));
    EXPECT_FALSE(ReplyToBlocks(Changed(reply, 21, 1), Rules(0).senders.blocks));
    EXPECT_FALSE(ReplyToBlocks(Changed(reply, 22, 0x01), Rules(0).senders.blocks));
}

} // namespace
