#include "scan/capturebatch.h"
#include "scan/packetdriver.h"

#include <gtest/gtest.h>

#include <QtEndian>

#include <vector>

using namespace keelwatch;

namespace {

using Bytes = std::vector<std::uint8_t>;

// The reply of 192.168.0.7 (MAC 00 0C 29 AA BB CC) to the B47 probe, sent
// to source address 3 of own MAC 00 11 22 33 44 50 and own IP 192.168.0.1.
const Bytes ReplyToB47 = {
    0x00, 0x11, 0x22, 0x33, 0x44, 0x53, // destination: source address 3
    0x00, 0x0C, 0x29, 0xAA, 0xBB, 0xCC, // source: the host
    0x08, 0x06,                         // EtherType ARP
    0x00, 0x01, 0x08, 0x00, 0x06, 0x04, // Ethernet, IPv4, sizes 6 and 4
    0x00, 0x02,                         // reply
    0x00, 0x0C, 0x29, 0xAA, 0xBB, 0xCC, // sender MAC
    0xC0, 0xA8, 0x00, 0x07,             // sender IP 192.168.0.7
    0x00, 0x11, 0x22, 0x33, 0x44, 0x53, // target MAC: source address 3
    0xC0, 0xA8, 0x00, 0x01,             // target IP: own IP
};

const CaptureRecord RecordOfReplyToB47 = {
    0x00, 0x0C, 0x29, 0xAA, 0xBB, 0xCC, // sender MAC
    0xC0, 0xA8, 0x00, 0x07,             // sender IP
    0x00, 0x11, 0x22, 0x33, 0x44, 0x53, // target MAC
    0xC0, 0xA8, 0x00, 0x01,             // target IP
};

// A record as a driver writes it: header with the captured length at 8 and
// the header length at 16, then the frame, then padding to a multiple of 4.
void AppendRecord(Bytes &batch, const Bytes &frame, std::uint16_t headerLength = 18)
{
    batch.resize((batch.size() + 3) & ~std::size_t(3));
    const std::size_t start = batch.size();
    batch.resize(start + headerLength, 0);
    qToLittleEndian(std::uint32_t(frame.size()), batch.data() + start + 8);
    qToLittleEndian(headerLength, batch.data() + start + 16);
    batch.insert(batch.end(), frame.begin(), frame.end());
}

// The sixteen source addresses of own MAC 00 11 22 33 44 50.
const ReplyDestinations &Ours()
{
    static const ReplyDestinations ours = [] {
        std::vector<std::array<std::uint8_t, 6>> sources;
        for (std::uint8_t k = 0; k < 16; ++k)
            sources.push_back({0x00, 0x11, 0x22, 0x33, 0x44, std::uint8_t(0x50 + k)});
        return ReplyDestinations(sources);
    }();
    return ours;
}

std::vector<CaptureRecord> Walk(const Bytes &batch, std::size_t size)
{
    std::vector<CaptureRecord> out;
    WalkCaptureBatch(batch.data(), size, Ours(), [&](const CaptureRecord &r) { out.push_back(r); });
    return out;
}

std::vector<CaptureRecord> Walk(const Bytes &batch)
{
    return Walk(batch, batch.size());
}

Bytes WithByte(Bytes frame, std::size_t at, std::uint8_t value)
{
    frame[at] = value;
    return frame;
}

TEST(CaptureBatch, ReplyToOwnSourceAddressGivesItsRecord)
{
    Bytes batch;
    AppendRecord(batch, ReplyToB47);
    EXPECT_EQ(Walk(batch), std::vector<CaptureRecord>({RecordOfReplyToB47}));
}

TEST(CaptureBatch, SixtyBytesAreWalkedFiftyNineAreNot)
{
    Bytes batch;
    AppendRecord(batch, ReplyToB47); // 18 + 42 bytes
    ASSERT_EQ(batch.size(), 60u);
    EXPECT_EQ(Walk(batch, 60).size(), 1u);
    EXPECT_TRUE(Walk(batch, 59).empty());
}

TEST(CaptureBatch, NextRecordStartsOnAMultipleOfFour)
{
    Bytes longer = ReplyToB47;
    longer.push_back(0xEE); // 43 bytes: the next record starts at 64, not 61
    Bytes second = ReplyToB47;
    second[31] = 0x08; // from 192.168.0.8
    Bytes batch;
    AppendRecord(batch, longer);
    AppendRecord(batch, second);
    ASSERT_EQ(batch.size(), 64u + 60u);

    const auto records = Walk(batch);
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[1][9], 0x08);
}

TEST(CaptureBatch, ForeignAndNonReplyFramesAreSkippedAndLaterOnesStillSeen)
{
    Bytes batch;
    AppendRecord(batch, WithByte(ReplyToB47, 1, 0x12));  // another card's address
    AppendRecord(batch, WithByte(ReplyToB47, 21, 0x01)); // an ARP request
    AppendRecord(batch, WithByte(ReplyToB47, 13, 0x00)); // not ARP
    AppendRecord(batch, ReplyToB47, 20);
    EXPECT_EQ(Walk(batch), std::vector<CaptureRecord>({RecordOfReplyToB47}));
}

TEST(CaptureBatch, RecordsRunningPastTheBatchEndTheWalk)
{
    Bytes batch;
    AppendRecord(batch, ReplyToB47);
    AppendRecord(batch, ReplyToB47);
    // The second record claims more bytes than the batch holds.
    qToLittleEndian(std::uint32_t(4000), batch.data() + 60 + 8);
    EXPECT_EQ(Walk(batch).size(), 1u);

    // A header length of 0 would walk on the spot forever.
    Bytes stuck;
    AppendRecord(stuck, ReplyToB47);
    qToLittleEndian(std::uint16_t(0), stuck.data() + 16);
    qToLittleEndian(std::uint32_t(0), stuck.data() + 8);
    EXPECT_TRUE(Walk(stuck).empty());
}

TEST(CaptureBatch, FrameTooShortForTheAddressesIsSkipped)
{
    Bytes shortReply(ReplyToB47.begin(), ReplyToB47.begin() + 41);
    Bytes batch;
    AppendRecord(batch, shortReply);
    AppendRecord(batch, ReplyToB47);
    EXPECT_EQ(Walk(batch).size(), 1u);
}

TEST(CaptureBatch, DriversWriteRecordsTheWalkReads)
{
    std::uint8_t buffer[150] = {};
    std::size_t used = 0;
    ASSERT_TRUE(AppendCaptureRecord(buffer, sizeof buffer, used, ReplyToB47, 42, 1, 2));
    EXPECT_EQ(used, CaptureRecordLayout::Header + 42);
    ASSERT_TRUE(AppendCaptureRecord(buffer, sizeof buffer, used, ReplyToB47, 42, 1, 2));
    EXPECT_EQ(used, 64u + CaptureRecordLayout::Header + 42);
    // A third one would not fit: nothing is written.
    EXPECT_FALSE(AppendCaptureRecord(buffer, sizeof buffer, used, ReplyToB47, 42, 1, 2));
    EXPECT_EQ(used, 126u);

    std::vector<CaptureRecord> records;
    WalkCaptureBatch(buffer, used, Ours(), [&](const CaptureRecord &r) { records.push_back(r); });
    EXPECT_EQ(records, std::vector<CaptureRecord>(2, RecordOfReplyToB47));
}

// Every field of the reply is checked: a frame that claims to be for us but
// is no well-formed Ethernet II ARP reply to exactly one of our addresses is
// rejected and counted; one for somebody else is only skipped.
struct ForgedFrame
{
    const char *name;
    std::size_t at;
    std::uint8_t value;
    ReplyFrame expected;
};

class ForgedFrames : public testing::TestWithParam<ForgedFrame>
{
};

TEST_P(ForgedFrames, AreRejectedOrSkippedAndTheHonestReplyAfterThemStillCounts)
{
    const ForgedFrame &c = GetParam();
    const Bytes forged = WithByte(ReplyToB47, c.at, c.value);
    EXPECT_EQ(JudgeReplyFrame(forged.data(), forged.size(), Ours()), c.expected);

    Bytes batch;
    AppendRecord(batch, forged);
    AppendRecord(batch, ReplyToB47);
    std::vector<CaptureRecord> records;
    const std::size_t rejected = WalkCaptureBatch(
        batch.data(), batch.size(), Ours(), [&](const CaptureRecord &r) { records.push_back(r); });
    EXPECT_EQ(records, std::vector<CaptureRecord>(c.expected == ReplyFrame::Accepted ? 2 : 1,
                                                  RecordOfReplyToB47));
    EXPECT_EQ(rejected, c.expected == ReplyFrame::Rejected ? 1u : 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Fields, ForgedFrames,
    testing::Values(ForgedFrame{"Honest", 0, 0x00, ReplyFrame::Accepted},
                    ForgedFrame{"EtherTypeHigh", 12, 0x18, ReplyFrame::Rejected},
                    ForgedFrame{"HardwareTokenRing", 15, 0x06, ReplyFrame::Rejected},
                    ForgedFrame{"ProtocolIpv6", 16, 0x86, ReplyFrame::Rejected},
                    ForgedFrame{"HardwareLength8", 18, 0x08, ReplyFrame::Rejected},
                    ForgedFrame{"ProtocolLength16", 19, 0x10, ReplyFrame::Rejected},
                    ForgedFrame{"Request", 21, 0x01, ReplyFrame::Rejected},
                    ForgedFrame{"OperationHigh", 20, 0x01, ReplyFrame::Rejected},
                    // The Ethernet destination and the target MAC disagree.
                    ForgedFrame{"EthernetToAnotherOfOurs", 5, 0x54, ReplyFrame::Rejected},
                    ForgedFrame{"EthernetToSomebodyElse", 5, 0x63, ReplyFrame::Rejected},
                    ForgedFrame{"TargetSomebodyElse", 37, 0x63, ReplyFrame::Rejected},
                    // Only the first two bytes were once compared.
                    ForgedFrame{"SameFirstTwoBytesOnly", 2, 0xFF, ReplyFrame::Rejected}),
    [](const auto &info) { return std::string(info.param.name); });

TEST(CaptureBatch, FramesForSomebodyElseAreNotCounted)
{
    Bytes other = ReplyToB47;
    for (std::size_t at : {std::size_t(2), std::size_t(34)})
        other[at] = 0xFF; // 00 11 FF 33 44 53 in both places
    EXPECT_EQ(JudgeReplyFrame(other.data(), other.size(), Ours()), ReplyFrame::Foreign);
    // A short frame to us is rejected, a short one to others skipped.
    EXPECT_EQ(JudgeReplyFrame(ReplyToB47.data(), 41, Ours()), ReplyFrame::Rejected);
    EXPECT_EQ(JudgeReplyFrame(other.data(), 41, Ours()), ReplyFrame::Foreign);
}

} // namespace
